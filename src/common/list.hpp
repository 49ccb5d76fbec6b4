// The growable list behind nearly every collection of the program. Its growth
// and shrink rule is part of the program's behaviour (memory use with
// millions of results and particles depends on it), so it is kept exactly
// rather than left to std::vector's doubling.
#pragma once

#include <algorithm>
#include <cstdint>
#include <utility>
#include <vector>

template <class T>
struct List {
    std::vector<T> items;  // items.capacity() >= capacity
    uint32_t capacity = 1;
    uint32_t initialCapacity = 1;
    float growth = 60.0f;

    uint32_t count() const { return static_cast<uint32_t>(items.size()); }
    T& operator[](size_t i) { return items[i]; }
    const T& operator[](size_t i) const { return items[i]; }
    T* data() { return items.data(); }
    auto begin() { return items.begin(); }
    auto end() { return items.end(); }
    auto begin() const { return items.begin(); }
    auto end() const { return items.end(); }
};

// Capacity the list moves to when it grows past `count` or shrinks to it.
inline uint32_t listResized(float growth, uint32_t count) {
    return static_cast<uint32_t>(static_cast<double>(count) / (0.5 + 0.005 * growth));
}

template <class T>
void listReallocate(List<T>& list, uint32_t newCapacity) {
    std::vector<T> fresh;
    fresh.reserve(std::max<size_t>(newCapacity, list.items.size()));
    for (T& item : list.items) fresh.push_back(std::move(item));
    list.items = std::move(fresh);
    list.capacity = newCapacity;
}

template <class T>
void listInit(List<T>& list, uint32_t initialCapacity = 1) {
    list.items.clear();
    list.items.shrink_to_fit();
    list.capacity = list.initialCapacity = initialCapacity < 1 ? 1 : initialCapacity;
    list.growth = 60.0f;
    list.items.reserve(list.capacity);
}

template <class T>
uint32_t listAppend(List<T>& list, T element) {
    if (list.count() >= list.capacity) {
        uint32_t grown = listResized(list.growth, list.count() + 1);
        listReallocate(list, std::max(grown, list.count() + 1));
    }
    list.items.push_back(std::move(element));
    return list.count() - 1;
}

// Removes by moving the last element into the hole: order is not kept.
template <class T>
void listRemoveAt(List<T>& list, uint32_t index) {
    if (index >= list.count()) return;
    if (index != list.count() - 1) list.items[index] = std::move(list.items.back());
    list.items.pop_back();
    float fill = static_cast<float>(list.count()) / static_cast<float>(list.capacity);
    if (fill < 0.01f * list.growth && list.capacity > list.initialCapacity) {
        uint32_t shrunk = std::max(list.initialCapacity, listResized(list.growth, list.count()));
        listReallocate(list, std::max(shrunk, list.count()));
    }
}

// Index of the last element equal to `element`, or -1.
template <class T>
int64_t listFind(const List<T>& list, const T& element) {
    for (size_t i = list.items.size(); i-- > 0;) {
        if (list.items[i] == element) return static_cast<int64_t>(i);
    }
    return -1;
}

template <class T, class Less>
void listSort(List<T>& list, Less less) {
    std::sort(list.items.begin(), list.items.end(), less);
}

template <class T>
void listClear(List<T>& list) {
    list.items.clear();
    listReallocate(list, list.initialCapacity);
}
