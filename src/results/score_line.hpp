// Reading the fields of a score line, the one number format of score lines,
// and the small numeric rules (rounding, trimmed mean) applied to scores
// before they are written or compared.
//
// A score line: score [" (" work " " unit ")"] [" [" version "]"]
// [" <" lattice ">"] [" {" checksum "}"] [" " trailing text].
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "store/digest.hpp"

// How numbers are written in score lines; an empty unit means none.
struct ResultFormat {
    int32_t genomeDigits = 3;
    int32_t scoreDecimals = 6;
    int32_t extraDecimals = 1;
    std::string extraUnit = "Mpts";
};

// The program's own format; the work figure is in millions of particle
// timesteps.
inline const ResultFormat kProgramFormat{3, 6, 1, "Mpts"};

// 0.1 raised to d by binary exponentiation, so that the rounding of stored
// numbers is the same bit for bit wherever it is computed.
double tenthPower(int d);
// floor(x / 0.1^d + 0.5) * 0.1^d.
double roundTo(double x, int d);

ResultFormat readFormat(std::string_view genomeLine, std::string_view scoreLine);
// The leading list of scores ("1.5,2.25,..."); empty when there is none.
std::vector<double> readScoreList(std::string_view scoreLine);
// Mean of the scores without the lowest and highest fifth, rounded to the
// format's score decimals.
double trimmedMean(std::vector<double> scores, const ResultFormat& format);
double readExtra(std::string_view scoreLine);
float readVersion(std::string_view scoreLine);
std::optional<std::string> readLattice(std::string_view scoreLine);
// No lattice field: false. A "<" without its ">": true only for no name.
bool latticeMatches(std::string_view scoreLine, const std::optional<std::string>& name);
Digest readChecksum(std::string_view scoreLine);

// Checksum text: two upper-case hexadecimal digits per byte, last byte first.
std::string checksumToHex(const Digest& checksum);
// The reverse; the last complete pair of digits is byte 0. Lower-case letters
// in the second digit of a pair do not decode to their value, so a checksum
// written in lower case never matches.
Digest checksumFromHex(std::string_view hex);
