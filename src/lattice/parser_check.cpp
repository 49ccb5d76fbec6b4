// The strict check's eye on the interpreter: each function looks at one kind
// of statement while it is being interpreted and notes what the tolerant
// reading would silently assume.
#include <algorithm>
#include <cctype>

#include "common/text.hpp"
#include "lattice/parser.hpp"
#include "model/units.hpp"

namespace {

// Spellings a lattice author means when a unit is mistyped.
const std::vector<std::string>& commonUnits() {
    static const std::vector<std::string> units = {
        "m",   "cm",  "mm",  "um",  "km", "in",  "ft",   "T",  "mT", "Gauss", "kGauss",
        "eV",  "keV", "MeV", "GeV", "s",  "ms",  "us",   "ns", "ps", "Hz",    "kHz",
        "MHz", "GHz", "V",   "kV",  "MV", "rad", "mrad", "%",  "kg", "g",     "m/s"};
    return units;
}

}  // namespace

bool isBareName(std::string_view text) {
    // A leading minus reverses a line rather than naming one.
    return !text.empty() && text[0] != '-' && std::all_of(text.begin(), text.end(), isWordChar);
}

namespace {

// The rule for attribute k of an element under format f: what the component
// reads, failing that what the format's default unit says.
std::optional<AttributeRule> ruleOf(const LatticeParser& p, const ParseFormat& f, int k,
                                    std::string_view element) {
    const ElementKnowledge* knowledge = p.check->knowledge;
    const std::string& type = f.names[0];
    const std::string& attribute = f.names[static_cast<size_t>(k)];
    if (knowledge) {
        if (equalNoCase(type, "Parameter") && equalNoCase(attribute, "Value")) {
            if (std::optional<Dimension> d = knowledge->parameter(element)) {
                return AttributeRule{*d, false};
            }
        } else if (std::optional<AttributeRule> rule = knowledge->attribute(type, attribute)) {
            return rule;
        }
    }
    const auto& unitName = f.defaults[static_cast<size_t>(k)];
    if (unitName) {
        if (std::optional<Dimension> d = unitDimension(*unitName)) return AttributeRule{*d, false};
    }
    return std::nullopt;
}

std::vector<std::string> madeNames(const LatticeParser& p) {
    std::vector<std::string> names;
    for (const CellPtr& cell : p.cells) {
        if (isBareName(cell->name)) names.push_back(cell->name);
    }
    return names;
}

}  // namespace

void checkFormat(LatticeParser& p, const ParseFormat& f) {
    const ElementKnowledge* knowledge = p.check->knowledge;
    if (f.count() == 0 || equalNoCase(f.names[0], "Parameter")) return;
    const std::string& type = f.names[0];
    bool component = knowledge && knowledge->isComponent(type);
    if (knowledge && !component) {
        parserFinding(p, type,
                      "'" + type + "' is no component type; its elements only take up length" +
                          didYouMean(type, knowledge->typeNames()));
    }
    for (int k = 1; k < f.count(); k++) {
        const std::string& attribute = f.names[static_cast<size_t>(k)];
        const auto& unitName = f.defaults[static_cast<size_t>(k)];
        std::optional<AttributeRule> rule;
        if (component) {
            rule = knowledge->attribute(type, attribute);
            if (!rule) {
                parserFinding(p, type,
                              "'" + attribute + "' is not an attribute of " + type +
                                  didYouMean(attribute, knowledge->attributeNames(type)));
            }
        }
        if (!unitName) continue;
        std::optional<Dimension> given = unitDimension(*unitName);
        if (!given) {
            parserFinding(p, type,
                          "unknown unit '" + *unitName + "' for " + attribute +
                              didYouMean(*unitName, commonUnits()));
        } else if (rule && !rule->text && *given != rule->dimension) {
            parserFinding(p, type,
                          attribute + "(" + *unitName + ") gives " + dimensionName(*given) +
                              ", but " + attribute + " is " + dimensionName(rule->dimension));
        }
    }
}

void checkNumber(LatticeParser& p, const ParseFormat& f, int k, std::string_view element,
                 std::string_view text) {
    std::string_view run = unitText(text);
    if (run.empty()) return;  // the default unit, checked with its format
    const std::string& attribute = f.names[static_cast<size_t>(k)];
    // A parameter statement x=5 holds its value in the attribute Value.
    std::string what = equalNoCase(f.names[0], "Parameter") ? std::string(element) : attribute;
    std::optional<Dimension> given = unitDimension(run);
    if (!given) {
        parserFinding(p, element,
                      "unknown unit '" + std::string(run) + "' in the value of " + what +
                          didYouMean(run, commonUnits()));
        return;
    }
    std::optional<AttributeRule> rule = ruleOf(p, f, k, element);
    if (rule && !rule->text && *given != rule->dimension) {
        size_t end =
            std::min(text.size(), static_cast<size_t>(run.data() - text.data()) + run.size());
        parserFinding(p, element,
                      std::string(text.substr(0, end)) + " is " + dimensionName(*given) + ", but " +
                          what + " is " + dimensionName(rule->dimension));
    }
}

void checkText(LatticeParser& p, const ParseFormat& f, int k, std::string_view element,
               std::string_view value, bool quoted) {
    if (quoted) return;
    std::optional<AttributeRule> rule = ruleOf(p, f, k, element);
    if (!rule || rule->text) return;
    const std::string& attribute = f.names[static_cast<size_t>(k)];
    parserFinding(p, element,
                  attribute + " is " + dimensionName(rule->dimension) + ", but '" +
                      std::string(value) +
                      "' is read as a text (a parameter's value is written #NAME#)");
}

void checkRange(LatticeParser& p, std::string_view element, std::string_view attribute, double lo,
                double hi, bool closed) {
    std::string what = "the range of " + std::string(attribute);
    if (!closed) {
        parserFinding(p, element, what + " has no closing ']' or no maximum");
    } else if (!(lo < hi)) {
        parserFinding(
            p, element,
            what + format(" is empty: [%g %g] leaves the optimiser nothing to choose", lo, hi));
    }
}

void checkUndefinedName(LatticeParser& p, std::string_view text) {
    if (p.lineDepth == 0 || !isBareName(text) || madeFind(p.cells, text)) return;
    parserFinding(p, text, "used in a line but never defined" + didYouMean(text, madeNames(p)));
}

void checkStatementEnd(LatticeParser& p, std::string_view statement) {
    // In a list, only ';' ends the statement: a line without it swallows the
    // next definition, which the tolerant reading turns into odd elements.
    if (statement.find(':') == std::string_view::npos) return;
    size_t first = 0;
    while (first < statement.size() && static_cast<unsigned char>(statement[first]) <= 32) first++;
    int line = p.statementLine;
    for (size_t i = first; i < statement.size(); i++) {
        if (statement[i] != '\n') continue;
        size_t w = i + 1;
        while (w < statement.size() && isBlank(statement[w])) w++;
        size_t end = w;
        while (end < statement.size() && isWordChar(statement[end])) end++;
        if (end > w && end < statement.size() && statement[end] == ':') {
            std::string next(statement.substr(w, end - w));
            p.check->findings.push_back({line, "",
                                         "no ';' at the end of the line, so '" + next +
                                             ":' on the next line is read as part of it"});
            return;
        }
        line++;
    }
}

void checkMachine(LatticeParser& p) {
    const CellPtr& machine = p.machine;
    if (!machine || machine->kind != Machine || p.lastBareNew.empty() ||
        !equalNoCase(machine->name, p.lastBareNew)) {
        return;
    }
    parserFinding(p, machine->name,
                  "the last statement names no line made earlier; the beamline would be one "
                  "empty element" +
                      didYouMean(machine->name, madeNames(p)));
}
