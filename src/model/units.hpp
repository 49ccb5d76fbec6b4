// Physical quantities as lattice files write them: a number glued to a unit
// (1.5T, 20cm, 200MeV, 90 and the degree sign), turned into SI values. Lattice
// text is Windows-1252, so the degree sign is the byte 0xB0 and per mille 0x89.
#pragma once

#include <cstddef>
#include <optional>
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

// The whole text as one number with an optional unit (5ns, 2T, 10cm, 1e-8),
// in SI units; none, without a message, when there is no number, something
// follows it that is no unit, or the unit is unknown. For values typed on a
// command line, where a silent "assuming unity" would run the wrong design.
std::optional<double> unitvalueStrict(std::string_view text);
