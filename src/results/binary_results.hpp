// Binary results files (".bin", magic "PB01"): the records of a text results
// file in column form. Parameter names are stored once per lattice in the
// header and every level is packed into a few bits. All numbers are
// little-endian; strings are zero-terminated.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "results/binary_header.hpp"

enum class BinaryLoadStatus { Ok, Missing, NotBinary, BadHeader };

// Records read before a damaged or truncated part are kept.
ResultsList loadBinaryResults(const std::string& path, const ResultFormat& format,
                              BinaryLoadStatus* status = nullptr);
// Writes nothing and reports nothing when the file cannot be written.
bool saveBinaryResults(const ResultsList& results, const std::string& path);

// A ".bin" path (any case) is read as binary, anything else as text.
bool isBinaryResultsPath(std::string_view path);
ResultsList loadResultsAny(const std::string& path, const ResultFormat& format);
