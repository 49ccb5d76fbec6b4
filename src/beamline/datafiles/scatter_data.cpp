#include "beamline/datafiles/scatter_data.hpp"

#include <map>
#include <memory>

#include "common/report.hpp"
#include "common/text.hpp"
#include "platform/files.hpp"

namespace {

// Loaded tables, and the texts that failed (so that a missing table is
// reported once, not once per run). Only the main thread builds runs.
std::map<std::string, std::unique_ptr<ScatterData>>& loadedTables() {
    static std::map<std::string, std::unique_ptr<ScatterData>> tables;
    return tables;
}

}  // namespace

const ScatterData* scatterDataFor(const std::string& text, bool verbose) {
    auto& tables = loadedTables();
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
