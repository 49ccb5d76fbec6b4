// The index of made cells against the plain list search it replaced: random
// appends, removals, renames and look-ups must find the same cells.
#include "lattice/made_cells.hpp"

#include <gtest/gtest.h>

#include <random>

#include "common/text.hpp"

namespace {

// The search the interpreter used to do: from the last cell backwards.
int64_t searchFromEnd(const MadeCells& made, std::string_view name) {
    for (uint32_t i = made.count(); i-- > 0;) {
        if (equalNoCase(made[i]->name, name)) return i;
    }
    return -1;
}

}  // namespace

TEST(MadeCells, IndexFindsWhatTheListSearchFinds) {
    const char* names[] = {"D1", "d1", "S1", "s1", "LINE", "line", "", "D1,S1", "~D1"};
    std::mt19937 rng(7);
    auto pick = [&](size_t n) { return static_cast<size_t>(rng() % n); };
    MadeCells made;
    madeInit(made);
    for (int step = 0; step < 20000; step++) {
        switch (pick(5)) {
            case 0:
            case 1:
                madeAppend(made, cellCreate(Machine, names[pick(std::size(names))]));
                break;
            case 2:
                if (made.count() > 0) madeRemoveAt(made, static_cast<uint32_t>(pick(made.count())));
                break;
            case 3:
                if (made.count() > 0) {
                    madeRename(made, *made[pick(made.count())], names[pick(std::size(names))]);
                }
                break;
            default: {
                const char* name = names[pick(std::size(names))];
                ASSERT_EQ(madeFindIndex(made, name), searchFromEnd(made, name)) << step;
            }
        }
    }
    EXPECT_GT(made.count(), 0u);
}

TEST(MadeCells, RemovalMovesTheLastCellIntoTheHole) {
    MadeCells made;
    madeInit(made);
    for (const char* n : {"a", "b", "c", "d"}) madeAppend(made, cellCreate(Machine, n));
    madeRemoveAt(made, 1);
    std::vector<std::string> order;
    for (const CellPtr& c : made) order.push_back(c->name);
    EXPECT_EQ(order, (std::vector<std::string>{"a", "d", "c"}));
    EXPECT_EQ(madeFindIndex(made, "D"), 1);
    EXPECT_EQ(madeFindIndex(made, "b"), -1);
    Cell outside;
    madeRename(made, outside, "x");  // not in the list: only renamed
    EXPECT_EQ(outside.name, "x");
    EXPECT_EQ(madeFindIndex(made, "x"), -1);
    EXPECT_EQ(made.created, 4u);
}
