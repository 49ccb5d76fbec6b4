#include "beamline/datafiles/scatter_format.hpp"

#include <bit>
#include <cmath>

#include "beamline/datafiles/datafile_fields.hpp"
#include "common/text.hpp"
#include "platform/files.hpp"

namespace {

float littleEndianFloat(const unsigned char* p) {
    uint32_t bits =
        uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
    return std::bit_cast<float>(bits);
}

}  // namespace

const char* scatterProcessName(int code) {
    static const char* const names[kScatterProcessCount] = {
        "None",           // 0
        "Nuclear",        // 1
        "Hard electron",  // 2
        "Soft electron",  // 3
        "Resonance",      // 4
        "Discrete",       // 5
        "Cherenkov",      // 6
    };
    return code >= 0 && code < kScatterProcessCount ? names[code] : names[0];
}

bool parseScatterRecords(std::string_view bytes, std::vector<ScatterRecord>& out,
                         std::string& error) {
    out.clear();
    if (bytes.size() % kScatterRecordBytes != 0) {
        error = format("%zu bytes is not a whole number of %zu-byte records", bytes.size(),
                       kScatterRecordBytes);
        return false;
    }
    if (bytes.empty()) {
        error = "no records";
        return false;
    }
    std::vector<ScatterRecord> records(bytes.size() / kScatterRecordBytes);
    double total = 0;
    for (size_t i = 0; i < records.size(); i++) {
        const auto* p =
            reinterpret_cast<const unsigned char*>(bytes.data()) + i * kScatterRecordBytes;
        ScatterRecord& r = records[i];
        r.rate = littleEndianFloat(p);
        r.loss = littleEndianFloat(p + 4);
        r.kick = littleEndianFloat(p + 8);
        r.process = static_cast<int8_t>(p[12]);
        if (!std::isfinite(r.rate) || r.rate < 0 || !std::isfinite(r.loss) ||
            !std::isfinite(r.kick)) {
            error = format("record %zu holds a negative or non-finite value", i);
            return false;
        }
        total += r.rate;
    }
    if (!(total > 0) || !std::isfinite(total)) {
        error = "the total event rate is not positive";
        return false;
    }
    out = std::move(records);
    return true;
}

bool parseScatterCoefficients(std::string_view text, size_t rows,
                              std::vector<ScatterCoefficients>& out, std::string& error) {
    out.clear();
    std::vector<ScatterCoefficients> lines;
    int lineNumber = 0;
    size_t read = 0;
    auto row = [&](const double* v, std::string& refused) {
        double previous = lines.empty() ? 0 : lines.back().momentum;
        if (!(v[0] > previous)) {
            refused = "momenta must be positive and ascending";
            return false;
        }
        if (v[2] < 0 || v[3] < 0) {
            refused = "a variance is negative";
            return false;
        }
        lines.push_back({v[0], v[1], v[2], v[3]});
        return true;
    };
    if (!readNumberTable(text, lineNumber, 4, rows, row, read, error)) return false;
    if (lines.size() != rows) {
        error = format("%zu lines for %zu row files", lines.size(), rows);
        return false;
    }
    out = std::move(lines);
    return true;
}

bool isScatterPattern(std::string_view pattern) {
    size_t at = pattern.find("%d");
    return at != std::string_view::npos && pattern.find('%', at + 2) == std::string_view::npos &&
           pattern.find('%') == at;
}

std::string scatterFileName(std::string_view pattern, int k) {
    size_t at = pattern.find("%d");
    if (at == std::string_view::npos) return std::string(pattern);
    return std::string(pattern.substr(0, at)) + std::to_string(k) +
           std::string(pattern.substr(at + 2));
}

bool loadScatterTable(const std::string& pattern, ScatterTable& out, std::string& error) {
    out = ScatterTable();
    if (!isScatterPattern(pattern)) {
        error = format("'%s' must hold \"%%d\" once and no other \"%%\"", pattern.c_str());
        return false;
    }
    ScatterTable table;
    std::string bytes;
    for (int k = 1;; k++) {
        std::string path = findFileNoCase(scatterFileName(pattern, k));
        if (!fileExists(path)) break;
        if (k > kMaxScatterRows) {
            error = format("'%s' has more than %d rows", pattern.c_str(), kMaxScatterRows);
            return false;
        }
        ScatterRow row;
        if (!readDataFile(path, kMaxScatterRowBytes, bytes, error)) return false;
        if (!parseScatterRecords(bytes, row.records, error)) {
            error = format("'%s': %s", path.c_str(), error.c_str());
            return false;
        }
        double sum = 0;
        row.cumulative.reserve(row.records.size());
        for (const ScatterRecord& r : row.records) {
            sum += r.rate;
            row.cumulative.push_back(sum);
            row.eventLoss += double(r.rate) * r.loss;
            if (r.process >= 0 && r.process < kScatterProcessCount) {
                table.processRecords[r.process]++;
            }
        }
        table.rows.push_back(std::move(row));
    }
    if (table.rows.empty()) {
        error = format("no row file '%s'", scatterFileName(pattern, 1).c_str());
        return false;
    }
    std::string path = findFileNoCase(scatterFileName(pattern, 0));
    std::string text;
    std::vector<ScatterCoefficients> coefficients;
    if (!readDataFile(path, kMaxScatterCoefficientBytes, text, error)) return false;
    if (!parseScatterCoefficients(text, table.rows.size(), coefficients, error)) {
        error = format("'%s': %s", path.c_str(), error.c_str());
        return false;
    }
    for (size_t k = 0; k < table.rows.size(); k++) {
        ScatterRow& row = table.rows[k];
        row.coefficients = coefficients[k];
        row.totalLoss = row.coefficients.meanLoss + row.eventLoss;
    }
    out = std::move(table);
    return true;
}
