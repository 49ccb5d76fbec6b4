#include "model/cell_grid.hpp"

void subMapChildInserted(CellSubMap& grid, int32_t index) {
    for (int32_t& e : grid.entries) {
        if (e >= index) e++;
    }
}

void subMapChildRemoved(CellSubMap& grid, int32_t index) {
    size_t kept = 0;
    for (size_t k = 0; k + 1 < grid.first.size(); k++) {
        uint32_t begin = grid.first[k], end = grid.first[k + 1];
        grid.first[k] = static_cast<uint32_t>(kept);
        for (uint32_t e = begin; e < end; e++) {
            int32_t i = grid.entries[e];
            if (i != index) grid.entries[kept++] = i > index ? i - 1 : i;
        }
    }
    if (!grid.first.empty()) grid.first.back() = static_cast<uint32_t>(kept);
    grid.entries.resize(kept);
}
