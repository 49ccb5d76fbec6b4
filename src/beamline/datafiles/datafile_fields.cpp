#include "beamline/datafiles/datafile_fields.hpp"

#include <charconv>
#include <cmath>

#include "common/text.hpp"
#include "platform/files.hpp"

namespace {

bool isFieldBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f';
}

std::string_view trimField(std::string_view field) {
    while (!field.empty() && isFieldBlank(field.front())) field.remove_prefix(1);
    while (!field.empty() && isFieldBlank(field.back())) field.remove_suffix(1);
    return field;
}

// from_chars takes no leading plus sign, while the files may carry one.
std::string_view dropPlus(std::string_view field) {
    if (field.size() > 1 && field[0] == '+' && field[1] != '-' && field[1] != '+') {
        field.remove_prefix(1);
    }
    return field;
}

}  // namespace

bool nextDataLine(std::string_view& text, std::string_view& line) {
    if (text.empty()) return false;
    size_t end = 0;
    while (end < text.size() && text[end] != '\n' && text[end] != '\r') end++;
    line = text.substr(0, end);
    if (end < text.size()) {
        bool crlf = text[end] == '\r' && end + 1 < text.size() && text[end + 1] == '\n';
        end += crlf ? 2 : 1;
    }
    text.remove_prefix(end);
    return true;
}

bool isBlankDataLine(std::string_view line) {
    for (char c : line) {
        if (!isFieldBlank(c)) return false;
    }
    return true;
}

bool readNumberField(std::string_view field, double& value) {
    field = dropPlus(trimField(field));
    if (field.empty()) return false;
    // Only plain decimal notation: from_chars would also take "inf", "nan"
    // and hexadecimal forms.
    for (char c : field) {
        bool ok =
            (c >= '0' && c <= '9') || c == '.' || c == '-' || c == '+' || c == 'e' || c == 'E';
        if (!ok) return false;
    }
    double parsed = 0;
    auto [end, ec] = std::from_chars(field.data(), field.data() + field.size(), parsed,
                                     std::chars_format::general);
    if (ec != std::errc() || end != field.data() + field.size() || !std::isfinite(parsed)) {
        return false;
    }
    value = parsed;
    return true;
}

bool readIntField(std::string_view field, int32_t& value) {
    field = dropPlus(trimField(field));
    if (field.empty()) return false;
    int32_t parsed = 0;
    auto [end, ec] = std::from_chars(field.data(), field.data() + field.size(), parsed);
    if (ec != std::errc() || end != field.data() + field.size()) return false;
    value = parsed;
    return true;
}

std::vector<std::string_view> blankSeparatedFields(std::string_view line) {
    std::vector<std::string_view> fields;
    size_t i = 0;
    while (i < line.size()) {
        while (i < line.size() && isFieldBlank(line[i])) i++;
        size_t start = i;
        while (i < line.size() && !isFieldBlank(line[i])) i++;
        if (i > start) fields.push_back(line.substr(start, i - start));
    }
    return fields;
}

std::vector<std::string_view> commaSeparatedFields(std::string_view line) {
    std::vector<std::string_view> fields;
    size_t start = 0;
    for (;;) {
        size_t comma = line.find(',', start);
        if (comma == std::string_view::npos) {
            fields.push_back(line.substr(start));
            return fields;
        }
        fields.push_back(line.substr(start, comma - start));
        start = comma + 1;
    }
}

bool readNumberLine(std::string_view line, size_t count, double* values) {
    std::vector<std::string_view> fields = blankSeparatedFields(line);
    if (fields.size() != count) return false;
    for (size_t k = 0; k < count; k++) {
        if (!readNumberField(fields[k], values[k])) return false;
    }
    return true;
}

bool readDataFile(const std::string& path, int64_t limit, std::string& text, std::string& error) {
    switch (readWholeFile(path, text, limit)) {
        case ReadStatus::Ok:
            return true;
        case ReadStatus::TooLarge:
            error = format("'%s' is larger than %lld bytes", path.c_str(),
                           static_cast<long long>(limit));
            return false;
        default:
            error = format("'%s' cannot be read", path.c_str());
            return false;
    }
}

bool readNumberTable(std::string_view& text, int& lineNumber, size_t columns, size_t maxRows,
                     const std::function<bool(const double* values, std::string& error)>& row,
                     size_t& rows, std::string& error) {
    static const char* const kCounts[] = {"no", "one", "two", "three", "four", "five", "six"};
    rows = 0;
    std::vector<double> values(columns);
    std::string_view line;
    while (nextDataLine(text, line)) {
        lineNumber++;
        if (isBlankDataLine(line)) continue;
        if (rows == maxRows) {
            error = format("line %d: more than %zu data lines", lineNumber, maxRows);
            return false;
        }
        if (!readNumberLine(line, columns, values.data())) {
            error = columns < std::size(kCounts)
                        ? format("line %d is not %s numbers", lineNumber, kCounts[columns])
                        : format("line %d is not %zu numbers", lineNumber, columns);
            return false;
        }
        std::string refused;
        if (!row(values.data(), refused)) {
            error = format("line %d: %s", lineNumber, refused.c_str());
            return false;
        }
        rows++;
    }
    return true;
}
