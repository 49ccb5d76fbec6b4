#include "beamline/datafiles/sourcefile_format.hpp"

#include "beamline/datafiles/datafile_fields.hpp"
#include "common/text.hpp"
#include "platform/files.hpp"

namespace {

bool readNumbers(const std::vector<std::string_view>& fields, double* values) {
    for (size_t i = 0; i < fields.size(); i++) {
        if (!readNumberField(fields[i], values[i])) return false;
    }
    return true;
}

}  // namespace

bool parseRodSource(std::string_view text, RodSourceFile& out, std::string& error) {
    out = RodSourceFile();
    std::string_view line;
    if (!nextDataLine(text, line)) return true;  // an empty file holds no particles
    RodSourceFile file;
    file.form =
        !line.empty() && line[0] == 'k' ? RodSourceForm::NineColumns : RodSourceForm::EightColumns;
    const bool nine = file.form == RodSourceForm::NineColumns;
    const size_t columns = nine ? 9 : 8;
    for (int lineNumber = 2; nextDataLine(text, line); lineNumber++) {
        if (isBlankDataLine(line)) continue;
        std::vector<std::string_view> fields = commaSeparatedFields(line);
        double v[9] = {};
        if (fields.size() != columns || !readNumbers(fields, v)) {
            error = format("line %d is not %zu comma-separated numbers", lineNumber, columns);
            return false;
        }
        if (v[0] < 0 || v[1] < 0) {
            error = format("line %d has a negative energy or weight", lineNumber);
            return false;
        }
        RodSourceLine p;
        p.kineticMeV = v[0];
        p.weight = v[1];
        if (nine) {
            p.position = {v[2], v[3], v[4]};
            p.direction = {v[5], v[6], v[7]};
            p.time = v[8];
        } else {
            p.direction = {v[2], v[3], v[4]};
            p.position = {0.01 * v[5], 0.01 * v[6], 0.01 * v[7]};
        }
        file.lines.push_back(p);
    }
    out = std::move(file);
    return true;
}

bool readRodSource(const std::string& path, RodSourceFile& out, std::string& error) {
    out = RodSourceFile();
    std::string text;
    if (!readDataFile(path, kMaxSourceFileBytes, text, error)) return false;
    if (parseRodSource(text, out, error)) return true;
    error = format("'%s': %s", path.c_str(), error.c_str());
    return false;
}

void parseMarsSource(std::string_view text, MarsSourceFile& out) {
    out = MarsSourceFile();
    std::string_view line;
    bool first = true;
    int32_t index = 0;
    while (nextDataLine(text, line)) {
        bool blank = isBlankDataLine(line);
        if (!blank) out.countedLines++;
        if (first) {
            first = false;
            continue;
        }
        if (blank) continue;
        std::vector<std::string_view> fields = blankSeparatedFields(line);
        MarsSourceLine p;
        p.index = index++;
        double v[9] = {};
        if (fields.size() != 11 || !readIntField(fields[0], p.sequence) ||
            !readIntField(fields[1], p.marsId) ||
            !readNumbers(std::vector<std::string_view>(fields.begin() + 2, fields.end()), v) ||
            v[0] < 0 || v[1] < 0) {
            out.skippedLines++;
            continue;
        }
        p.kineticGeV = v[0];
        p.weight = v[1];
        p.position = {0.01 * v[2], 0.01 * v[3], 0.01 * v[4]};
        p.direction = {v[5], v[6], v[7]};
        p.time = v[8];
        out.lines.push_back(p);
    }
}

bool readMarsSource(const std::string& path, MarsSourceFile& out, std::string& error) {
    out = MarsSourceFile();
    std::string text;
    if (!readDataFile(path, kMaxSourceFileBytes, text, error)) return false;
    parseMarsSource(text, out);
    return true;
}
