// The per-record checksum: a keyless digest binding a record's genome, score,
// work figure and version to the contents of its lattice file and data files.
// Records of older versions keep the scheme they were written with.
#pragma once

#include <string>

#include "model/genome.hpp"
#include "store/digest.hpp"

inline constexpr size_t kChecksumBytes = 12;    // versions 4.4 and later
inline constexpr size_t kOldChecksumBytes = 4;  // older versions

Digest recordChecksum(const std::string& genomeLine, const std::string& scoreLine);

// The genome and number parts of a checksum.
Digest genomeDigest(const Genome& genome, size_t n);
Digest numberDigest(double x, int decimals, size_t n, int64_t multiplier);
