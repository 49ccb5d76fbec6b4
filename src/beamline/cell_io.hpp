// The binary form of a cell tree, part of the auto-save file. Texts are
// NUL-terminated, numbers little-endian; attributes and children are written
// from the last to the first.
#pragma once

#include <cstdint>
#include <cstdio>

#include "model/cell.hpp"

// Limits on what a saved tree may claim, so that a damaged file is refused
// instead of exhausting the stack or memory.
inline constexpr size_t kMaxCellText = 1 << 16;
inline constexpr int32_t kMaxCellAttributes = 1 << 16;
inline constexpr int32_t kMaxCellChildren = 1 << 20;
inline constexpr int kMaxCellDepth = 64;

// Writes the tree; false when the file refused a write.
bool saveCell(const Cell& cell, std::FILE* file);

// Reads a tree written by saveCell. Attributes come back in file order (so a
// save and a load reverse each attribute list) and children in their saved
// order. Elements re-bind their type functions; composites rebuild their
// proximity grid with `gridResolution`. None when the data ends early or is
// not a cell tree.
CellPtr loadCell(std::FILE* file, int32_t gridResolution);
