// Physical quantities as lattice files write them: a number glued to a unit
// (1.5T, 20cm, 200MeV, 90 and the degree sign), turned into SI values. Lattice
// text is Windows-1252, so the degree sign is the byte 0xB0 and per mille 0x89.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// Factor to SI of a unit text: table names, prefixed names (kGauss) and
// quotients (m/s). An unknown unit warns and counts as 1; the empty unit
// warns and counts as 0.
double unit(std::string_view name);

// Factor of a table name; case matters only where two names differ by case
// alone (c and C). 0 when the name is not in the table.
double unitlookup(std::string_view name);

// Factor of an SI prefix letter (k, M, u ...); 0 for a byte that is no prefix.
double unitprefix(char ch);

// Reads a number and the unit glued to it from the start of `text`; returns
// the value in SI units and stores in `end` the offset just past the unit.
// Without a unit, `defaultunit` applies when given.
double unitvalue(std::string_view text, size_t* end = nullptr,
                 std::optional<std::string_view> defaultunit = std::nullopt);

// The unit glued to the number at the start of `text`, as unitvalue reads
// it; empty when there is none.
std::string_view unitText(std::string_view text);

// The whole text as one number with an optional unit (5ns, 2T, 10cm, 1e-8),
// in SI units; none, without a message, when there is no number, something
// follows it that is no unit, or the unit is unknown. For values typed on a
// command line, where a silent "assuming unity" would run the wrong design.
std::optional<double> unitvalueStrict(std::string_view text);

// The physical dimension of a unit, as exponents of metre, kilogram, second
// and ampere. Angles and ratios (rad, the degree sign, %) are plain numbers.
struct Dimension {
    int8_t metre = 0, kilogram = 0, second = 0, ampere = 0;
    bool operator==(const Dimension&) const = default;
};
inline constexpr Dimension kDimNone{0, 0, 0, 0};
inline constexpr Dimension kDimLength{1, 0, 0, 0};
inline constexpr Dimension kDimMass{0, 1, 0, 0};
inline constexpr Dimension kDimTime{0, 0, 1, 0};
inline constexpr Dimension kDimVelocity{1, 0, -1, 0};
inline constexpr Dimension kDimEnergy{2, 1, -2, 0};
inline constexpr Dimension kDimVoltage{2, 1, -3, -1};
inline constexpr Dimension kDimCharge{0, 0, 1, 1};
inline constexpr Dimension kDimField{0, 1, -2, -1};
inline constexpr Dimension kDimFrequency{0, 0, -1, 0};

// The dimension of a unit text as unit() reads it (prefixes, quotients);
// none, without a message, when the unit is unknown or empty.
std::optional<Dimension> unitDimension(std::string_view name);
// "a length", "a magnetic field", ... for messages to lattice authors.
std::string dimensionName(Dimension dimension);

// The unit a person reads a quantity of this dimension in (MeV for energies,
// ns for times, m for lengths, T for fields, MHz, MV); empty with factor 1
// for plain numbers and dimensions without a usual unit.
struct DisplayUnit {
    const char* text;
    double factor;  // SI value of one display unit
};
DisplayUnit displayUnit(Dimension dimension);

// Where the value being read comes from ("lattices/a.txt:12, element S1"):
// unit() names it in its warnings, so that a lattice author finds the
// mistake. Empty when the caller has nothing to say.
void setUnitWarningContext(std::string context);
// A strict lattice check reports unknown units itself; it silences unit().
void setUnitWarningsShown(bool shown);
