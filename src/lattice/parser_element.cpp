// One element statement: "NAME value value ...", values taken in the order of
// the current format's attributes.
#include <algorithm>
#include <cctype>

#include "common/text.hpp"
#include "lattice/parser.hpp"
#include "model/units.hpp"

namespace {

constexpr double kHalfPi = 1.5707963267948966;

std::optional<std::string_view> defaultUnit(const ParseFormat& format, int k) {
    const auto& d = format.defaults[static_cast<size_t>(k)];
    if (!d) return std::nullopt;
    return std::string_view(*d);
}

// After every value the code that follows can use it: a parameter by its own
// name, an attribute as ELEMENT.Attribute.
void publish(LatticeParser& parser, std::string_view element, std::string_view attribute,
             double value) {
    std::string name(element);
    if (!equalNoCase(attribute, "Value")) name += "." + std::string(attribute);
    Vesk_setvariable(*parser.environment, name, Value_number(value), 0);
}

void reportElement(LatticeParser& parser, const Cell& cell) {
    if (!parser.reportFile) return;
    std::string line = "Element " + cell.name + " is of type " + cell.typeName + ": ";
    for (size_t i = cell.attributes.size(); i-- > 0;) {
        const CellAttribute& a = cell.attributes[i];
        if (a.kind == AttributeNumber) {
            line += format("%s=%lg ", a.name.c_str(), a.number);
        } else if (a.kind == AttributeText) {
            line += a.name + "=\"" + a.text + "\" ";
        }
    }
    parserReport(parser, line + "\n");
}

}  // namespace

void addTypeFormat(LatticeParser& parser, const ParseFormat& format) {
    parser.typeFormats.push_back(format);
    const std::string& prefix = *format.defaults[0];
    parser.formatByPrefix[prefix] = parser.typeFormats.size() - 1;
    parser.longestPrefix = std::max(parser.longestPrefix, prefix.size());
}

CellPtr parseElement(LatticeParser& parser, std::string_view text, size_t wordLength) {
    std::string_view word = text.substr(0, wordLength);
    CellPtr cell = cellCreate(Machine, word);

    // The last declared format whose prefix the name starts with: one look-up
    // per leading part of the name rather than a walk over every format.
    const ParseFormat* typed = nullptr;
    size_t latest = 0;
    for (size_t len = 0; len <= std::min(word.size(), parser.longestPrefix); len++) {
        auto found = parser.formatByPrefix.find(word.substr(0, len));
        if (found == parser.formatByPrefix.end()) continue;
        if (!typed || found->second > latest) {
            latest = found->second;
            typed = &parser.typeFormats[latest];
        }
    }
    if (typed) parser.format = *typed;
    bool guessed = parser.format.count() == 0;
    if (guessed) parser.format = guessedFormat(word);
    const ParseFormat& f = parser.format;
    cell->typeName = f.names[0];

    size_t pos = wordLength;
    for (int k = 1; k < f.count() && pos < text.size(); k++) {
        while (pos < text.size() && isBlank(text[pos])) pos++;
        if (pos >= text.size()) break;
        const std::string& attribute = f.names[static_cast<size_t>(k)];
        char c = text[pos];
        double published = 0;
        if (c == '[') {
            // A range: the genome chooses the value within it.
            size_t used = 0;
            pos++;
            if (pos >= text.size()) break;
            double lo = unitvalue(text.substr(pos), &used, defaultUnit(f, k));
            pos += used;
            if (pos >= text.size()) break;
            pos++;
            double hi =
                unitvalue(text.substr(std::min(pos, text.size())), &used, defaultUnit(f, k));
            pos = std::min(pos + used + 1, text.size());
            std::string name = parameterName(f, word, attribute);
            published = genomeReal(*parser.genome, name, lo, hi);
            cellSetNumber(*cell, attribute, published);
        } else if (c == '\'' || c == '"') {
            size_t close = text.find(c, pos + 1);
            size_t end = close == std::string_view::npos ? text.size() : close;
            cellSetText(*cell, attribute, text.substr(pos + 1, end - pos - 1));
            pos = close == std::string_view::npos ? text.size() : close + 1;
        } else if (std::isalpha(static_cast<unsigned char>(c))) {
            size_t end = pos;
            while (end < text.size() && !isBlank(text[end])) end++;
            cellSetText(*cell, attribute, text.substr(pos, end - pos));
            pos = end;
        } else {
            size_t used = 0;
            published = unitvalue(text.substr(pos), &used, defaultUnit(f, k));
            cellSetNumber(*cell, attribute, published);
            pos += used;
        }
        publish(parser, word, attribute, published);
    }

    if (guessed) {
        std::string upper(word);
        for (char& ch : upper) ch = upperAscii(ch);
        auto has = [&](const char* part) { return upper.find(part) != std::string::npos; };
        if (has("QD") || has("HBD") || has("VBD")) cellNegate(*cell, "Field");
        if (has("VBF") || has("VBD")) cellSetNumber(*cell, "Twist", kHalfPi);
        parser.format = ParseFormat{};
    }
    reportElement(parser, *cell);
    return cell;
}
