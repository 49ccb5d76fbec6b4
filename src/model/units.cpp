#include "model/units.hpp"

#include <array>
#include <cmath>
#include <cstdlib>
#include <string>
#include <vector>

#include "common/report.hpp"
#include "common/text.hpp"

namespace {

struct UnitEntry {
    std::string_view name;
    double factor;
    Dimension dimension;
};

// Look-ups scan from the last entry backwards, so the order is part of the
// meaning. No factor is 0: the look-up uses 0 for "not found".
const std::vector<UnitEntry>& unitTable() {
    static const std::vector<UnitEntry> table = {
        {"c", 299792458, kDimVelocity},                // speed of light, m/s
        {"eV", 1.602176462e-19, kDimEnergy},           // electron-volt in joules
        {"m", 1, kDimLength},                          // metre
        {"kg", 1, kDimMass},                           // kilogram
        {"s", 1, kDimTime},                            // second
        {"V", 1, kDimVoltage},                         // volt
        {"C", 1, kDimCharge},                          // coulomb
        {"T", 1, kDimField},                           // tesla
        {"Hz", 1, kDimFrequency},                      // hertz
        {"g", 0.001, kDimMass},                        // gram, in kilograms
        {"Gauss", 0.0001, kDimField},                  // gauss, in tesla
        {"m_e", 9.10938188e-31, kDimMass},             // electron mass, kg
        {"m_p", 1.67262158e-27, kDimMass},             // proton mass, kg
        {"in", 0.0254, kDimLength},                    // inch
        {"ft", 0.3048, kDimLength},                    // foot
        {"\xB0", 0.017453292519943295, kDimNone},      // degree sign (Windows-1252)
        {"rad", 1, kDimNone},                          // radian
        {"%", 0.01, kDimNone},                         // per cent
        {"\x89", 0.001, kDimNone},                     // per-mille sign (Windows-1252)
        {"\xC2\xB0", 0.017453292519943295, kDimNone},  // degree sign of a file saved as UTF-8
        {"\xE2\x80\xB0", 0.001, kDimNone},             // per-mille sign of a file saved as UTF-8
    };
    return table;
}

std::string unitWarningContext;
bool unitWarningsShown = true;

// Position i stands for 10^(i-18); the dots only hold places.
constexpr std::string_view kPrefixes = "a..f..p..n..u..mcd.Dhk..M..G..T..P..E";
static_assert(kPrefixes.size() == 37 && kPrefixes[18] == '.' && kPrefixes[21] == 'k');

// Bytes that may belong to a unit glued to a number. A space, a quote, a
// comma, a sign, a point, a digit, '#' or ']' ends the unit.
const std::array<bool, 256>& unitCharacters() {
    static const std::array<bool, 256> table = [] {
        std::array<bool, 256> t{};
        t.fill(true);
        for (unsigned char c : std::string_view("\0 \"#',-.]", 9)) t[c] = false;
        for (char c = '0'; c <= '9'; c++) t[static_cast<unsigned char>(c)] = false;
        return t;
    }();
    return table;
}

double prefixFactor(size_t position) {
    return static_cast<double>(std::pow(10.0L, static_cast<long double>(position) - 18));
}

// Length of the decimal number at the start of `text` (leading white space,
// sign, digits with an optional point, exponent), or 0 when there is none.
size_t numberLength(std::string_view text) {
    auto digit = [&](size_t i) { return i < text.size() && text[i] >= '0' && text[i] <= '9'; };
    size_t i = 0;
    while (i < text.size() && isBlank(text[i])) i++;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) i++;
    size_t digits = 0;
    for (; digit(i); i++) digits++;
    if (i < text.size() && text[i] == '.') {
        i++;
        for (; digit(i); i++) digits++;
    }
    if (digits == 0) return 0;
    if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
        size_t j = i + 1;
        if (j < text.size() && (text[j] == '+' || text[j] == '-')) j++;
        if (digit(j)) {
            while (digit(j)) j++;
            i = j;
        }
    }
    return i;
}

}  // namespace

namespace {

// The row a unit name stands for, -1 when none: matched ignoring case, and
// by case only where two rows differ by case alone (c and C).
int unitRow(std::string_view name) {
    const std::vector<UnitEntry>& table = unitTable();
    int matches = 0;
    int found = -1;
    for (size_t i = table.size(); i-- > 0 && matches < 2;) {
        if (equalNoCase(table[i].name, name)) {
            matches++;
            found = static_cast<int>(i);
        }
    }
    if (matches < 2) return found;
    for (size_t i = table.size(); i-- > 0;) {
        if (table[i].name == name) return static_cast<int>(i);
    }
    return -1;
}

}  // namespace

double unitlookup(std::string_view name) {
    int row = unitRow(name);
    return row < 0 ? 0 : unitTable()[static_cast<size_t>(row)].factor;
}

double unitprefix(char ch) {
    if (ch == '.') return 0;
    int matches = 0;
    size_t found = 0;
    for (size_t i = kPrefixes.size(); i-- > 0 && matches < 2;) {
        if (lowerAscii(kPrefixes[i]) == lowerAscii(ch)) {
            matches++;
            found = i;
        }
    }
    if (matches == 0) return 0;
    if (matches == 1) return prefixFactor(found);
    size_t exact = kPrefixes.rfind(ch);
    return exact == std::string_view::npos ? 0 : prefixFactor(exact);
}

double unit(std::string_view name) {
    size_t slash = name.find('/');
    if (slash != std::string_view::npos) {
        return unit(name.substr(0, slash)) / unit(name.substr(slash + 1));
    }
    double factor = unitlookup(name);
    if (factor != 0) return factor;
    if (name.empty()) {
        report("[WARNING] Called unit(\"\") with empty string, returning zero!");
        return 0;
    }
    factor = unitlookup(name.substr(1));
    if (factor != 0) return unitprefix(name[0]) * factor;
    if (!unitWarningsShown) return 1;
    if (unitWarningContext.empty()) {
        reportf("[WARNING] Unknown unit '%s', assuming unity", std::string(name).c_str());
    } else {
        reportf("[WARNING] Unknown unit '%s', assuming unity at %s", std::string(name).c_str(),
                unitWarningContext.c_str());
    }
    return 1;
}

namespace {

bool unitKnown(std::string_view name) {
    size_t slash = name.find('/');
    if (slash != std::string_view::npos) {
        return unitKnown(name.substr(0, slash)) && unitKnown(name.substr(slash + 1));
    }
    if (name.empty()) return false;
    if (unitlookup(name) != 0) return true;
    return unitlookup(name.substr(1)) != 0 && unitprefix(name[0]) != 0;
}

}  // namespace

void setUnitWarningContext(std::string context) {
    unitWarningContext = std::move(context);
}

void setUnitWarningsShown(bool shown) {
    unitWarningsShown = shown;
}

std::optional<Dimension> unitDimension(std::string_view name) {
    size_t slash = name.find('/');
    if (slash != std::string_view::npos) {
        std::optional<Dimension> a = unitDimension(name.substr(0, slash));
        std::optional<Dimension> b = unitDimension(name.substr(slash + 1));
        if (!a || !b) return std::nullopt;
        return Dimension{static_cast<int8_t>(a->metre - b->metre),
                         static_cast<int8_t>(a->kilogram - b->kilogram),
                         static_cast<int8_t>(a->second - b->second),
                         static_cast<int8_t>(a->ampere - b->ampere)};
    }
    if (name.empty()) return std::nullopt;
    const std::vector<UnitEntry>& table = unitTable();
    int row = unitRow(name);
    if (row < 0 && unitprefix(name[0]) != 0) row = unitRow(name.substr(1));
    if (row < 0) return std::nullopt;
    return table[static_cast<size_t>(row)].dimension;
}

std::string dimensionName(Dimension d) {
    struct Named {
        Dimension dimension;
        const char* name;
    };
    static constexpr Named kNames[] = {
        {kDimNone, "a plain number"},
        {kDimLength, "a length"},
        {kDimMass, "a mass"},
        {kDimTime, "a time"},
        {kDimVelocity, "a velocity"},
        {kDimEnergy, "an energy"},
        {kDimVoltage, "a voltage"},
        {kDimCharge, "a charge"},
        {kDimField, "a magnetic field"},
        {kDimFrequency, "a frequency"},
    };
    for (const Named& n : kNames) {
        if (n.dimension == d) return n.name;
    }
    return format("a quantity in m^%d kg^%d s^%d A^%d", d.metre, d.kilogram, d.second, d.ampere);
}

DisplayUnit displayUnit(Dimension d) {
    struct Row {
        Dimension dimension;
        DisplayUnit unit;
    };
    static constexpr Row kRows[] = {
        {kDimLength, {"m", 1}},                  // beamline lengths and radii
        {kDimTime, {"ns", 1e-9}},                // bunch times and t_max
        {kDimEnergy, {"MeV", 1.602176462e-13}},  // kinetic energies
        {kDimField, {"T", 1}},                   // solenoid and dipole fields
        {kDimFrequency, {"MHz", 1e6}},           // RF frequencies
        {kDimVoltage, {"MV", 1e6}},              // RF voltages
        {kDimVelocity, {"m/s", 1}},              // velocities
        {kDimMass, {"kg", 1}},                   // masses
    };
    for (const Row& row : kRows) {
        if (row.dimension == d) return row.unit;
    }
    return {"", 1};
}

std::optional<double> unitvalueStrict(std::string_view text) {
    size_t length = numberLength(text);
    if (length == 0) return std::nullopt;
    std::string_view rest = text.substr(length);
    if (!rest.empty() && !unitKnown(rest)) return std::nullopt;
    size_t end = 0;
    double value = unitvalue(text, &end);
    if (end != text.size()) return std::nullopt;
    return value;
}

std::string_view unitText(std::string_view text) {
    size_t length = numberLength(text);
    const std::array<bool, 256>& isUnit = unitCharacters();
    size_t stop = length;
    while (stop < text.size() && isUnit[static_cast<unsigned char>(text[stop])]) stop++;
    return text.substr(length, stop - length);
}

double unitvalue(std::string_view text, size_t* end, std::optional<std::string_view> defaultunit) {
    size_t length = numberLength(text);
    double x = 0;
    if (length > 0) x = std::strtod(std::string(text.substr(0, length)).c_str(), nullptr);

    const std::array<bool, 256>& isUnit = unitCharacters();
    size_t stop = length;
    while (stop < text.size() && isUnit[static_cast<unsigned char>(text[stop])]) stop++;
    std::string_view run = text.substr(length, stop - length);

    if (!run.empty()) {
        x *= unit(run);
    } else if (defaultunit) {
        x *= unit(*defaultunit);
    }
    if (end) *end = stop;
    return x;
}
