// Little-endian fields on C streams, for the program's own binary files
// (the auto-save). Every read reports whether the whole field was there, so a
// file cut short is noticed at the field where it ends.
#pragma once

#include <cstdint>
#include <cstdio>

bool writeU8(std::FILE* file, uint8_t v);
bool writeU32(std::FILE* file, uint32_t v);
bool writeI32(std::FILE* file, int32_t v);
bool writeI64(std::FILE* file, int64_t v);
bool writeF64(std::FILE* file, double v);

bool readU8(std::FILE* file, uint8_t& v);
bool readU32(std::FILE* file, uint32_t& v);
bool readI32(std::FILE* file, int32_t& v);
bool readI64(std::FILE* file, int64_t& v);
bool readF64(std::FILE* file, double& v);
