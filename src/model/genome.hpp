// The genome: the ordered name/level pairs that fix a lattice's free
// parameters. Names starting with "#" are metadata ("#runs", "#queued",
// "#gen") whose levels are plain counts and never clamped.
#pragma once

#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

struct Genome {
    std::vector<std::string> names;  // lower-cased
    std::vector<int32_t> levels;
    int32_t digits = 3;

    int32_t count() const { return static_cast<int32_t>(names.size()); }
};

inline bool isMetaName(std::string_view name) {
    return !name.empty() && name[0] == '#';
}

// 10^digits for digits 0..9.
int64_t genomeLevelCount(int32_t digits);

void genomeInit(Genome& genome);
void genomeFree(Genome& genome);
int genomeAdd(Genome& genome, std::string_view name, int32_t level);
int genomeSet(Genome& genome, std::string_view name, int32_t level);
void genomeRemove(Genome& genome, std::string_view name);
int32_t genomeGet(const Genome& genome, std::string_view name);
int genomeHas(const Genome& genome, std::string_view name);

// The level a genome gets for a parameter it lacks, the first time the
// parameter is read. Replaceable (tests pin it); by default a uniform draw.
using MissingLevelRule = std::function<int32_t(std::string_view name, const Genome& genome)>;
void setMissingLevelRule(MissingLevelRule rule);
void resetMissingLevelRule();

double genomeReal(Genome& genome, std::string_view name, double lo, double hi);
void genomeSortByName(Genome& genome);
// The order of genomeSortByName: ASCII letters compared as lower case, then
// byte values, a shorter name before a longer one that it begins.
bool genomeNameLess(std::string_view a, std::string_view b);
void genomeDropMeta(Genome& genome);
int genomeEqual(const Genome& a, const Genome& b);

std::string genomeToText(const Genome& genome);
Genome genomeFromText(std::string_view text, bool includeMeta);
// The entries genomeFromText would add, in text order, without building a
// genome: names as written (not lower-cased), parameter levels clamped. The
// scan stops when `entry` returns false. Lets a search over many stored
// genomes avoid an allocation per record.
void genomeScanText(std::string_view text, bool includeMeta,
                    const std::function<bool(std::string_view name, int32_t level)>& entry);

// Auto-save form: count, digits, then each name zero-terminated and its level,
// little-endian 32-bit integers.
bool genomeWriteBinary(const Genome& genome, std::FILE* file);
bool genomeReadBinary(Genome& genome, std::FILE* file);
