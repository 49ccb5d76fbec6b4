#include "lattice/made_cells.hpp"

#include "common/text.hpp"

namespace {

void forget(MadeCells& made, std::string_view name, uint32_t index) {
    auto found = made.positions.find(name);
    if (found == made.positions.end()) return;
    found->second.erase(index);
    if (found->second.empty()) made.positions.erase(found);
}

}  // namespace

size_t NoCaseHash::operator()(std::string_view name) const {
    // FNV-1a over the lower-case bytes.
    uint64_t h = 14695981039346656037u;
    for (char c : name) {
        h ^= static_cast<unsigned char>(lowerAscii(c));
        h *= 1099511628211u;
    }
    return static_cast<size_t>(h);
}

bool NoCaseEqual::operator()(std::string_view a, std::string_view b) const {
    return equalNoCase(a, b);
}

void madeInit(MadeCells& made) {
    listInit(made.list);
    made.positions.clear();
    made.created = 0;
}

void madeAppend(MadeCells& made, CellPtr cell) {
    made.created++;
    std::string name = cell->name;
    uint32_t index = listAppend(made.list, std::move(cell));
    made.positions[std::move(name)].insert(index);
}

int64_t madeFindIndex(const MadeCells& made, std::string_view name) {
    auto found = made.positions.find(name);
    if (found == made.positions.end() || found->second.empty()) return -1;
    return *found->second.rbegin();
}

CellPtr madeFind(const MadeCells& made, std::string_view name) {
    int64_t i = madeFindIndex(made, name);
    return i < 0 ? nullptr : made.list[static_cast<size_t>(i)];
}

void madeRemoveAt(MadeCells& made, uint32_t index) {
    if (index >= made.count()) return;
    uint32_t last = made.count() - 1;
    forget(made, made.list[index]->name, index);
    if (index != last) {
        const std::string& moved = made.list[last]->name;
        forget(made, moved, last);
        made.positions[moved].insert(index);
    }
    listRemoveAt(made.list, index);
}

void madeRename(MadeCells& made, Cell& cell, std::string_view name) {
    auto found = made.positions.find(std::string_view(cell.name));
    int64_t index = -1;
    if (found != made.positions.end()) {
        for (uint32_t i : found->second) {
            if (made.list[i].get() == &cell) index = i;
        }
    }
    if (index >= 0) forget(made, cell.name, static_cast<uint32_t>(index));
    cell.name = name;
    if (index >= 0) made.positions[cell.name].insert(static_cast<uint32_t>(index));
}
