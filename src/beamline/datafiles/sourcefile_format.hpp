// The particle lists that the two file-reading sources turn into the initial
// beam: the rod source's comma-separated list of pions from the target rod,
// in its nine-column or eight-column form, and the MARS list with particle
// identifiers. This is the reading only; copies, time spread, rotation and
// placement are the sources' business.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "model/vec3.hpp"

// Larger particle lists are refused before they are read.
inline constexpr int64_t kMaxSourceFileBytes = int64_t(512) << 20;

// A header whose first character is "k" announces nine columns with metre
// positions and a time; anything else, eight columns with centimetres.
enum class RodSourceForm { NineColumns, EightColumns };

struct RodSourceLine {
    double kineticMeV = 0;
    double weight = 0;
    Vec3 position;  // metres, rod frame: z along the rod from its upstream end
    Vec3 direction;
    double time = 0;  // seconds; 0 in the eight-column form, which has none
};

struct RodSourceFile {
    RodSourceForm form = RodSourceForm::EightColumns;
    // The data lines in file order: lines[i] gives particle i of every copy.
    // Blank lines are not data lines.
    std::vector<RodSourceLine> lines;
};

struct MarsSourceLine {
    int32_t index = 0;  // position among the non-blank lines after the first
    int32_t sequence = 0;
    int32_t marsId = 0;
    double kineticGeV = 0;
    double weight = 0;
    Vec3 position;  // metres (the file has centimetres), source cell frame
    Vec3 direction;
    double time = 0;  // seconds
};

struct MarsSourceFile {
    // Non-blank lines of the whole file, the first included: the number the
    // source divides by the particle divisor to know how many lines to read.
    int32_t countedLines = 0;
    // Lines after the first that do not hold exactly eleven fields of the
    // right kinds, or hold a negative energy or weight; they give no
    // particle but keep their index.
    int32_t skippedLines = 0;
    std::vector<MarsSourceLine> lines;
};

// Every data line of a rod source file must hold exactly its form's numbers,
// with a kinetic energy and a weight that are not negative; otherwise the
// whole file is refused and `error` names the line.
bool parseRodSource(std::string_view text, RodSourceFile& out, std::string& error);
bool readRodSource(const std::string& path, RodSourceFile& out, std::string& error);

// The first line of a MARS file is a header and is never read as data. A
// malformed line is skipped, never the whole file.
void parseMarsSource(std::string_view text, MarsSourceFile& out);
bool readMarsSource(const std::string& path, MarsSourceFile& out, std::string& error);
