// The cells an interpretation has made, intermediates included, with an index
// by name. The list keeps the order the interpreter has always kept (a removed
// cell's place goes to the last one), which the parameters cell and the parse
// report show; the index finds the last cell of a name, ignoring case, without
// walking the list, so interpreting a lattice stays linear in its size.
#pragma once

#include <cstdint>
#include <set>
#include <string>
#include <string_view>
#include <unordered_map>

#include "common/list.hpp"
#include "model/cell.hpp"

// Hashing and comparing names ignoring case, so that a look-up by a piece of
// the statement text needs no lower-case copy.
struct NoCaseHash {
    using is_transparent = void;
    size_t operator()(std::string_view name) const;
};
struct NoCaseEqual {
    using is_transparent = void;
    bool operator()(std::string_view a, std::string_view b) const;
};

struct MadeCells {
    List<CellPtr> list;
    uint64_t created = 0;  // cells ever appended, replaced ones included
    // Name (any case) -> positions in list of the cells of that name.
    std::unordered_map<std::string, std::set<uint32_t>, NoCaseHash, NoCaseEqual> positions;

    uint32_t count() const { return list.count(); }
    const CellPtr& operator[](size_t i) const { return list[i]; }
    auto begin() const { return list.begin(); }
    auto end() const { return list.end(); }
};

void madeInit(MadeCells& made);
void madeAppend(MadeCells& made, CellPtr cell);
// Position of the last cell whose name equals `name` ignoring case, or -1.
int64_t madeFindIndex(const MadeCells& made, std::string_view name);
CellPtr madeFind(const MadeCells& made, std::string_view name);
// Removes the cell at `index`; the last cell takes its place.
void madeRemoveAt(MadeCells& made, uint32_t index);
// Gives a cell a new name; a cell that is not in the list is only renamed.
void madeRename(MadeCells& made, Cell& cell, std::string_view name);
