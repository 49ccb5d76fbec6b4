// The built-in bitmap font: five by seven pixels per character, so the
// window needs no font files and looks the same everywhere.
#pragma once

#include <cstdint>

inline constexpr int kGlyphColumns = 5;
inline constexpr int kGlyphRows = 7;

// Row `row` (0 at the top) of the glyph for c; bit 4 is the leftmost pixel.
uint8_t glyphRow(char c, int row);
// Letters whose glyph hangs below the line: they are drawn two rows lower.
bool hasDescender(char c);
