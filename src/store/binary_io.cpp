#include "store/binary_io.hpp"

#include <cstring>

namespace {

template <int N>
bool writeLittle(std::FILE* file, uint64_t v) {
    unsigned char b[N];
    for (int i = 0; i < N; i++) b[i] = static_cast<unsigned char>(v >> (8 * i));
    return std::fwrite(b, 1, N, file) == N;
}

template <int N>
bool readLittle(std::FILE* file, uint64_t& v) {
    unsigned char b[N];
    if (std::fread(b, 1, N, file) != N) return false;
    v = 0;
    for (int i = 0; i < N; i++) v |= uint64_t{b[i]} << (8 * i);
    return true;
}

}  // namespace

bool writeU8(std::FILE* file, uint8_t v) {
    return writeLittle<1>(file, v);
}
bool writeU32(std::FILE* file, uint32_t v) {
    return writeLittle<4>(file, v);
}
bool writeI32(std::FILE* file, int32_t v) {
    return writeLittle<4>(file, static_cast<uint32_t>(v));
}
bool writeI64(std::FILE* file, int64_t v) {
    return writeLittle<8>(file, static_cast<uint64_t>(v));
}
bool writeF64(std::FILE* file, double v) {
    uint64_t bits;
    std::memcpy(&bits, &v, 8);
    return writeLittle<8>(file, bits);
}

bool readU8(std::FILE* file, uint8_t& v) {
    uint64_t w;
    if (!readLittle<1>(file, w)) return false;
    v = static_cast<uint8_t>(w);
    return true;
}
bool readU32(std::FILE* file, uint32_t& v) {
    uint64_t w;
    if (!readLittle<4>(file, w)) return false;
    v = static_cast<uint32_t>(w);
    return true;
}
bool readI32(std::FILE* file, int32_t& v) {
    uint32_t w;
    if (!readU32(file, w)) return false;
    v = static_cast<int32_t>(w);
    return true;
}
bool readI64(std::FILE* file, int64_t& v) {
    uint64_t w;
    if (!readLittle<8>(file, w)) return false;
    v = static_cast<int64_t>(w);
    return true;
}
bool readF64(std::FILE* file, double& v) {
    uint64_t w;
    if (!readLittle<8>(file, w)) return false;
    std::memcpy(&v, &w, 8);
    return true;
}
