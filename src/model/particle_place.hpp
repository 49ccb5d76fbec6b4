// Where a particle travels, in four bytes: the root composite it moves
// through and the nearby components it last found there. Particles of one
// region find the same components, so the distinct (line, list) pairs of a
// run are few while its particles may be millions: each pair is kept once in
// a process-wide table and a particle holds its number.
//
// A number never changes meaning while its line lives: a list, once made,
// is never altered, so tracking threads read entries without a lock. Making
// a pair takes a mutex, which only happens when a particle's list changes.
// A line's pairs go when the line's cell is destroyed.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

struct Cell;

using PlaceId = uint32_t;
// No line and no list: a particle that was never placed.
inline constexpr PlaceId kNoPlace = 0;

// The pair of `line` without a list (a particle not yet placed among the
// components, or one that no longer needs them).
PlaceId placeOf(Cell* line);
// The pair of `line` and exactly these components. Safe from any thread.
PlaceId placeOf(Cell* line, const std::vector<Cell*>& cells);

// The pair's line and list (none when it has no list). Safe from any thread
// for a number it holds.
Cell* placeLine(PlaceId place);
const std::vector<Cell*>* placeList(PlaceId place);

// Forgets every pair of `line`; their numbers may be given out again. The
// cell's destructor calls it, once no particle of the line is tracked.
void placeForgetLine(const Cell* line);
// The pairs held now, kNoPlace not counted.
size_t placeCount();
