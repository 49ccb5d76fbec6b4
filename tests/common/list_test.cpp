#include "common/list.hpp"

#include <gtest/gtest.h>

#include <string>

TEST(List, GrowsByAQuarterOfCountPlusOne) {
    List<int> list;
    listInit(list);
    EXPECT_EQ(list.capacity, 1u);
    std::vector<uint32_t> seen;
    for (int i = 0; i < 8; i++) {
        listAppend(list, i);
        if (seen.empty() || seen.back() != list.capacity) seen.push_back(list.capacity);
    }
    EXPECT_EQ(seen, (std::vector<uint32_t>{1, 2, 3, 5, 7, 10}));
    for (int i = 0; i < 8; i++) EXPECT_EQ(list[i], i);
}

TEST(List, RemovalMovesTheLastElementIntoTheHole) {
    List<std::string> list;
    listInit(list);
    for (const char* s : {"a", "b", "c"}) listAppend(list, std::string(s));
    listRemoveAt(list, 0);
    ASSERT_EQ(list.count(), 2u);
    EXPECT_EQ(list[0], "c");
    EXPECT_EQ(list[1], "b");
    listRemoveAt(list, 5);  // beyond the end: nothing happens
    EXPECT_EQ(list.count(), 2u);
}

TEST(List, ShrinksWhenLessThanSixtyPercentFullButNotBelowInitialCapacity) {
    List<int> list;
    listInit(list, 4);
    for (int i = 0; i < 20; i++) listAppend(list, i);
    uint32_t full = list.capacity;
    while (list.count() > 0) {
        listRemoveAt(list, 0);
        EXPECT_GE(list.capacity, list.count());
        EXPECT_GE(list.capacity, 4u);
    }
    EXPECT_LT(list.capacity, full);
    EXPECT_EQ(list.capacity, 4u);
}

TEST(List, FindReturnsTheLastMatchAndClearResets) {
    List<int> list;
    listInit(list, 2);
    for (int v : {5, 7, 5, 9}) listAppend(list, v);
    EXPECT_EQ(listFind(list, 5), 2);
    EXPECT_EQ(listFind(list, 4), -1);
    listSort(list, [](int a, int b) { return a < b; });
    EXPECT_EQ(list[0], 5);
    EXPECT_EQ(list[3], 9);
    listClear(list);
    EXPECT_EQ(list.count(), 0u);
    EXPECT_EQ(list.capacity, 2u);
}
