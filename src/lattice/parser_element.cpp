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

// The first time a free parameter is met, its range and the unit its author
// wrote (on the minimum, else the format's default) are kept, so that values
// can be shown as the author thinks of them.
void noteParameter(LatticeParser& parser, const std::string& name, double lo, double hi,
                   std::string_view loText, std::optional<std::string_view> defaultunit) {
    std::string lower = name;
    for (char& ch : lower) ch = lowerAscii(ch);
    for (const LatticeParameter& known : parser.parameters) {
        if (known.name == lower) return;
    }
    LatticeParameter parameter{lower, lo, hi, "", 1};
    std::string_view written = unitText(loText);
    if (written.empty() && defaultunit) written = *defaultunit;
    // Only units with a known factor: an unknown one was counted as 1.
    if (!written.empty() && unitDimension(written)) {
        parameter.unit = written;
        parameter.factor = unitvalue("1" + std::string(written));
    }
    parser.parameters.push_back(parameter);
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
    if (parser.check) parser.check->elementLines[std::string(word)] = parser.statementLine;
    // A unit the client does not know is assumed to be 1; the warning says
    // where, so that the author can find it.
    setUnitWarningContext(
        parser.sourcePath.empty() ? "" : parserLocation(parser) + ", element " + std::string(word));

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
            if (pos >= text.size()) {
                if (parser.check) checkRange(parser, word, attribute, 0, 0, false);
                break;
            }
            std::string_view loText = text.substr(pos);
            double lo = unitvalue(loText, &used, defaultUnit(f, k));
            pos += used;
            if (pos >= text.size()) {
                if (parser.check) checkRange(parser, word, attribute, lo, lo, false);
                break;
            }
            pos++;
            std::string_view hiText = text.substr(std::min(pos, text.size()));
            double hi = unitvalue(hiText, &used, defaultUnit(f, k));
            bool closed = pos + used < text.size() && text[pos + used] == ']';
            pos = std::min(pos + used + 1, text.size());
            std::string name = parameterName(f, word, attribute);
            if (parser.check) {
                checkNumber(parser, f, k, word, loText);
                checkNumber(parser, f, k, word, hiText);
                checkRange(parser, word, attribute, lo, hi, closed);
            }
            noteParameter(parser, name, lo, hi, loText, defaultUnit(f, k));
            published = genomeReal(*parser.genome, name, lo, hi);
            cellSetNumber(*cell, attribute, published);
        } else if (c == '\'' || c == '"') {
            size_t close = text.find(c, pos + 1);
            size_t end = close == std::string_view::npos ? text.size() : close;
            if (parser.check)
                checkText(parser, f, k, word, text.substr(pos + 1, end - pos - 1), true);
            cellSetText(*cell, attribute, text.substr(pos + 1, end - pos - 1));
            pos = close == std::string_view::npos ? text.size() : close + 1;
        } else if (std::isalpha(static_cast<unsigned char>(c))) {
            size_t end = pos;
            while (end < text.size() && !isBlank(text[end])) end++;
            if (parser.check) checkText(parser, f, k, word, text.substr(pos, end - pos), false);
            cellSetText(*cell, attribute, text.substr(pos, end - pos));
            pos = end;
        } else {
            size_t used = 0;
            if (parser.check) checkNumber(parser, f, k, word, text.substr(pos));
            published = unitvalue(text.substr(pos), &used, defaultUnit(f, k));
            cellSetNumber(*cell, attribute, published);
            pos += used;
        }
        publish(parser, word, attribute, published);
    }

    setUnitWarningContext("");
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
