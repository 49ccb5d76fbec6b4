// The component type table: one row per kind of beamline component, naming
// its run-time data size and its type functions. A cell's type text selects
// its row. Rows stay in this order: type matching searches from the last row
// to the first, so a later row wins over an earlier one.
#pragma once

#include <cstdint>
#include <string_view>

#include "beamline/cell.hpp"

struct CellType {
    const char* name;
    int32_t runDataSize;  // bytes of run-time data; -1 when the kind has none
    FieldFn fieldFn;
    InterceptFn interceptFn;
    MaterialFn materialFn;
    DrawFn drawFn;
    BoundsFn boundsFn;
    InitFn initFn;
};

inline constexpr int kCellTypeCount = 9;

// The rows, in table order. The component files supply the functions of
// their kinds to the table in cell_types.cpp.
extern const CellType* const cellTypes;

// The row of a type text: the last row whose name equals it (ignoring case),
// failing that the last row whose name occurs in it; none when neither.
const CellType* cellTypeFind(std::string_view typeText);
// Only the substring rule, as used while placing cells.
const CellType* cellTypeFindSubstring(std::string_view typeText);

// The row's run-time data size for a Machine cell, else -1.
int32_t runDataSize(const Cell& cell);

// Binds fieldFn, interceptFn and materialFn of one cell from its row (all
// none when it has no row), and drawFn only when withDraw is set.
void bindCellTypeFunctions(Cell& cell, bool withDraw);
// The same for every Machine cell of a tree.
void bindTypeFunctions(Cell& tree, bool withDraw);
