#include "model/particle_place.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <thread>

#include "model/cell.hpp"

namespace {

// Different non-empty lists of the cells: the bits of 1, 2, 3, ...
std::vector<std::vector<Cell*>> distinctLists(const std::vector<CellPtr>& cells, size_t count) {
    std::vector<std::vector<Cell*>> lists(count);
    for (size_t i = 0; i < count; i++) {
        for (size_t c = 0; c < cells.size(); c++) {
            if ((i + 1) >> c & 1) lists[i].push_back(cells[c].get());
        }
    }
    return lists;
}

std::vector<CellPtr> someCells() {
    std::vector<CellPtr> cells;
    for (int i = 0; i < 12; i++) cells.push_back(cellCreate(Machine, "c"));
    return cells;
}

}  // namespace

TEST(ParticlePlace, OnePairOneNumber) {
    CellPtr line = cellCreate(Composite, "line"), other = cellCreate(Composite, "other");
    CellPtr a = cellCreate(Machine, "a"), b = cellCreate(Machine, "b");
    EXPECT_EQ(placeLine(kNoPlace), nullptr);
    EXPECT_EQ(placeList(kNoPlace), nullptr);
    EXPECT_EQ(placeOf(nullptr), kNoPlace);

    const PlaceId bare = placeOf(line.get());
    EXPECT_EQ(placeLine(bare), line.get());
    EXPECT_EQ(placeList(bare), nullptr);
    // An empty list is a list: the particle was looked up and found nothing.
    const PlaceId empty = placeOf(line.get(), {});
    ASSERT_NE(placeList(empty), nullptr);
    EXPECT_TRUE(placeList(empty)->empty());
    EXPECT_NE(empty, bare);

    const PlaceId ab = placeOf(line.get(), {a.get(), b.get()});
    EXPECT_EQ(placeOf(line.get(), {a.get(), b.get()}), ab);
    EXPECT_EQ(*placeList(ab), (std::vector<Cell*>{a.get(), b.get()}));
    EXPECT_EQ(placeLine(ab), line.get());
    // Order, content and line each make another pair.
    EXPECT_NE(placeOf(line.get(), {b.get(), a.get()}), ab);
    EXPECT_NE(placeOf(line.get(), {a.get()}), ab);
    const PlaceId elsewhere = placeOf(other.get(), {a.get(), b.get()});
    EXPECT_NE(elsewhere, ab);
    EXPECT_EQ(placeLine(elsewhere), other.get());
}

TEST(ParticlePlace, ThreadsMakingTheSameListsGetTheSameNumbers) {
    // Enough lists to make the table grow several times while the threads
    // read what they were given.
    CellPtr line = cellCreate(Composite, "line");
    const std::vector<CellPtr> cells = someCells();
    const std::vector<std::vector<Cell*>> lists = distinctLists(cells, 600);
    std::vector<PlaceId> got[4];
    auto work = [&](int k) {
        for (size_t n = 0; n < lists.size(); n++) {
            // Each thread in its own order.
            size_t i = k % 2 ? lists.size() - 1 - n : n;
            PlaceId place = placeOf(line.get(), lists[i]);
            if (*placeList(place) != lists[i] || placeLine(place) != line.get()) {
                ADD_FAILURE() << "list " << i << " read back wrong";
            }
            got[k].push_back(place);
        }
        if (k % 2) std::reverse(got[k].begin(), got[k].end());
    };
    std::thread t1(work, 1), t2(work, 2), t3(work, 3);
    work(0);
    t1.join(), t2.join(), t3.join();
    for (int k = 1; k < 4; k++) EXPECT_EQ(got[k], got[0]);
    for (size_t i = 0; i < lists.size(); i++) EXPECT_EQ(*placeList(got[0][i]), lists[i]);
}

TEST(ParticlePlace, ALinesPairsGoWithIt) {
    const std::vector<CellPtr> cells = someCells();
    const std::vector<std::vector<Cell*>> lists = distinctLists(cells, 100);
    const size_t before = placeCount();
    {
        CellPtr line = cellCreate(Composite, "line");
        for (const std::vector<Cell*>& list : lists) placeOf(line.get(), list);
        placeOf(line.get());
        EXPECT_EQ(placeCount(), before + lists.size() + 1);
    }
    EXPECT_EQ(placeCount(), before);
    // The numbers given out again hold the new line's lists.
    CellPtr line = cellCreate(Composite, "line");
    for (const std::vector<Cell*>& list : lists) {
        PlaceId place = placeOf(line.get(), list);
        EXPECT_EQ(*placeList(place), list);
        EXPECT_EQ(placeLine(place), line.get());
    }
    EXPECT_EQ(placeCount(), before + lists.size());
    // A copy of a line starts with no pairs of its own.
    CellPtr copy = cellCopy(*line);
    EXPECT_FALSE(copy->hasPlaces);
}
