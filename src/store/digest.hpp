// Digest arithmetic behind the record checksum and the file digests. A digest of n bytes is a
// little-endian number modulo 256^n; every operation works on unsigned 32-bit
// integers so that results are identical on every platform and compiler.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

using Digest = std::vector<uint8_t>;

Digest digestZero(size_t n);
// Adds a to the number; a carry out of the top byte is lost. For a close to
// 2^32 the running carry wraps, which old checksums depend on.
void digestAdd32(Digest& d, uint32_t a);
// Multiplies the number by m.
void digestMulSmall(Digest& d, uint32_t m);
// The longer digest (the first when equal) with the shorter XORed into it.
Digest digestXor(const Digest& d1, const Digest& d2);
// Scrambles a digest through the mixing table.
void digestMix(Digest& d);

// Entry (row, column) of the mixing table, a permutation of all 16-bit values.
uint16_t digestMixEntry(uint8_t row, uint8_t column);

// Feeds file content into a file digest: bytes 33 to 127 only, each step
// multiplying by 13 and adding the byte. Blanks, control characters and bytes
// of 128 and above are skipped so that line ends and encodings do not matter.
void digestFeedContent(Digest& d, std::string_view bytes);
