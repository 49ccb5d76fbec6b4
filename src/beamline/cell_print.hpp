// Text printouts of a cell tree: a readable listing (a separator character
// after each attribute) and, with the separator NUL, the lattice-file form in
// which each element is preceded by its own format declaration.
#pragma once

#include <string>

#include "model/cell.hpp"

// The printout of a cell and, for a composite, of all its children. With
// withCoords each element also shows where it starts and ends.
std::string Cell_print(const Cell& cell, bool withCoords, char separator);

// Appends the whole tree, with coordinates and a blank as separator, to
// "tech/log.txt" (the folder and file are created when missing). False when
// the file could not be written.
bool Cell_printlog(const Cell& cell);
// The same as the ' '-separated form, with numbers in the units people read
// (MeV, ns, m, T, MHz, MV) and their unit written after them; numbers of no
// known dimension as they are.
std::string Cell_printInUnits(const Cell& cell, bool withCoords);
