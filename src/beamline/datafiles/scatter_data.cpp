#include "beamline/datafiles/scatter_data.hpp"

#include <memory>

#include "beamline/datafiles/loaded_files.hpp"
#include "common/report.hpp"
#include "common/text.hpp"
#include "platform/files.hpp"

const ScatterData* scatterDataFor(LoadedDataFiles& files, const std::string& text, bool verbose) {
    auto& tables = files.scatterTables;
    auto found = tables.find(text);
    if (found != tables.end()) return found->second.get();
    std::unique_ptr<ScatterData>& slot = tables[text];
    std::string path = "datafiles/" + text;
    if (!isSafeRelativePath(path) || !isScatterPattern(text)) {
        report("[WARNING] Refused scattering table name '" + text + "'");
        return nullptr;
    }
    auto data = std::make_unique<ScatterData>();
    data->pattern = text;
    std::string error;
    if (!loadScatterTable(path, data->table, error)) {
        report("[WARNING] " + error);
        return nullptr;
    }
    if (verbose) {
        size_t records = 0;
        for (const ScatterRow& row : data->table.rows) records += row.records.size();
        report(format("Loaded %s: %d records", text.c_str(), static_cast<int>(records)));
        for (int code = 1; code < kScatterProcessCount; code++) {
            report(format("%s: %d", scatterProcessName(code), data->table.processRecords[code]));
        }
    }
    slot = std::move(data);
    return slot.get();
}
