// The header of a binary results file: the lattice and parameter names, the
// record layout, and the packing of genome levels into bits.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "results/record.hpp"

inline constexpr char kBinaryMagic[] = "PB01";
inline constexpr int32_t kMaxGenomeLength = 1000000;
inline constexpr int32_t kMaxFieldCount = 1000000;
inline constexpr int32_t kMaxBits = 25;

// Parameter names of one lattice, kept in one block: a hostile header cannot
// make each short name cost many times its size in memory.
struct NameTable {
    std::string pool;              // names, each followed by a zero byte
    std::vector<uint32_t> starts;  // offset of each name in pool

    size_t size() const { return starts.size(); }
    std::string_view operator[](size_t i) const { return pool.c_str() + starts[i]; }
    void add(std::string_view name);
};

struct BinaryField {
    int32_t size = 0;
    std::string name;
    int64_t offset = 0;  // from the start of the record
};

struct ResultBinaryHeader {
    int32_t count = -1;  // -1: not a valid header
    int32_t genomeLength = 0;
    int32_t bits = 0;
    std::vector<std::string> latticeNames;  // ascending, ignoring case
    std::vector<NameTable> parameterNames;  // per lattice, ascending
    std::vector<BinaryField> fields;

    int64_t genomeBytes() const { return (int64_t{genomeLength} * bits + 7) / 8; }
    int64_t pitch() const;  // bytes per record
};

// Reads the header after the magic (the file is positioned on the magic). A
// null file is a programming error and fatal.
ResultBinaryHeader readBinaryHeader(std::FILE* file);
ResultBinaryHeader buildBinaryHeader(const ResultsList& results);

// Names that can appear in a genome line: letters, digits and "#".
bool isGenomeName(std::string_view name);

// The header as written: magic, counts, lattice and parameter names, fields.
void writeBinaryHeader(const ResultBinaryHeader& header, std::string& out);

// Slot j of a genome area holds its level in `bits` bits from bit j * bits,
// least significant bit first.
void packLevel(uint8_t* area, size_t areaBytes, int64_t slot, int32_t bits, uint32_t level);
uint32_t unpackLevel(const uint8_t* area, size_t areaBytes, int64_t slot, int32_t bits);
