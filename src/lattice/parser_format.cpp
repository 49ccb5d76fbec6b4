#include <cctype>

#include "common/text.hpp"
#include "lattice/parser.hpp"

namespace {

size_t skipSpace(std::string_view text, size_t pos) {
    while (pos < text.size() && isBlank(text[pos])) pos++;
    return pos;
}

}  // namespace

bool isWordChar(char c) {
    return std::isalnum(static_cast<unsigned char>(c)) || c == '-' || c == '_';
}

ParseFormat parseformat(std::string_view text) {
    ParseFormat format;
    size_t pos = skipSpace(text, 0);
    while (pos < text.size()) {
        size_t start = pos;
        while (pos < text.size() && isWordChar(text[pos])) pos++;
        if (pos == start) pos++;  // any other single character is a name by itself
        format.names.emplace_back(text.substr(start, pos - start));
        pos = skipSpace(text, pos);
        if (pos < text.size() && (text[pos] == '(' || text[pos] == '/')) {
            pos = skipSpace(text, pos + 1);
            size_t begin = pos;
            while (pos < text.size() && !isBlank(text[pos]) && text[pos] != ')') pos++;
            format.defaults.emplace_back(std::string(text.substr(begin, pos - begin)));
            pos = skipSpace(text, pos);
            if (pos < text.size() && text[pos] == ')') pos++;
        } else {
            format.defaults.emplace_back(std::nullopt);
        }
        pos = skipSpace(text, pos);
    }
    return format;
}

std::string formatToText(const ParseFormat& format) {
    std::string out;
    for (int i = 0; i < format.count(); i++) {
        if (i > 0) out += ' ';
        out += format.names[static_cast<size_t>(i)];
        if (format.defaults[static_cast<size_t>(i)]) {
            out += "(" + *format.defaults[static_cast<size_t>(i)] + ")";
        }
    }
    return out;
}

ParseFormat guessedFormat(std::string_view name) {
    std::string upper(name);
    for (char& c : upper) c = upperAscii(c);
    auto has = [&](const char* part) { return upper.find(part) != std::string::npos; };
    const char* layout = "Unknown Length Field Angle Boundary Fringe";
    if (!upper.empty() && (upper[0] == 'O' || upper[0] == 'D')) {
        layout = "Drift Length";
    } else if (has("QF") || has("QD")) {
        layout = "Quadrupole Length Field Angle Boundary Fringe";
    } else if (has("HBF") || has("HBD") || has("VBF") || has("VBD")) {
        layout = has("R") ? "RectangularBend Length Field Angle Boundary Fringe"
                          : "SectorBend Length Field Angle Boundary Fringe";
    } else if (has("SEXT") || has("SKSE")) {
        layout = "Sextupole Length Field Angle Boundary Fringe";
    } else if (has("OCT") || has("SOCT") || has("SKO")) {
        layout = "Octupole Length Field Angle Boundary Fringe";
    } else if (has("MP") || has("SMP")) {
        layout = "Multipole Length Field Angle Boundary Fringe";
    } else if (has("FIT")) {
        layout = "FitPoint";
    } else if (has("SOL")) {
        layout = "Solenoid Radius Field Length";
    }
    return parseformat(layout);
}

std::string parameterName(const ParseFormat& format, std::string_view element,
                          std::string_view attribute) {
    std::string base(element);
    if (equalNoCase(attribute, "Value")) return base;
    bool known = false;
    size_t longest = 0;
    for (int i = 1; i < format.count(); i++) {
        const std::string& name = format.names[static_cast<size_t>(i)];
        if (name == attribute) known = true;
        longest = std::max(longest, name.size());
    }
    if (!known) return base + std::string(attribute);
    // The shortest leading part that no other attribute name begins with, so
    // that S1's Radius, Field and Length become S1R, S1F and S1L.
    for (size_t len = 1; len < attribute.size() && len < longest; len++) {
        std::string_view lead = attribute.substr(0, len);
        bool shared = false;
        for (int i = 1; i < format.count() && !shared; i++) {
            const std::string& other = format.names[static_cast<size_t>(i)];
            if (other != attribute && other.compare(0, len, lead) == 0) shared = true;
        }
        if (!shared) return base + std::string(lead);
    }
    return base + std::string(attribute);
}
