#include "model/particle_place.hpp"

#include <array>
#include <atomic>
#include <bit>
#include <cstddef>
#include <functional>
#include <memory>
#include <mutex>
#include <unordered_map>

#include "model/cell.hpp"

namespace {

struct Entry {
    Cell* line = nullptr;
    bool hasList = false;
    std::vector<Cell*> cells;
};

// Segment k holds kFirst << k entries, so the table grows without ever
// moving an entry that a thread may be reading.
constexpr unsigned kFirstBits = 6;
constexpr size_t kFirst = size_t{1} << kFirstBits;
constexpr size_t kSegments = 32 - kFirstBits;

size_t hashOf(const Cell* line, bool hasList, const std::vector<Cell*>& cells) {
    size_t h = std::hash<const void*>()(line) * 31 + (hasList ? 1 : 0);
    for (const Cell* cell : cells) h = h * 1000003u ^ std::hash<const void*>()(cell);
    return h;
}

class PlaceTable {
  public:
    PlaceTable() { at(next_++); }  // kNoPlace: no line, no list

    const Entry& entry(PlaceId place) const {
        auto [k, offset] = slotOf(place);
        return segments_[k].load(std::memory_order_acquire)[offset];
    }

    PlaceId find(Cell* line, bool hasList, const std::vector<Cell*>& cells) {
        const size_t h = hashOf(line, hasList, cells);
        std::lock_guard<std::mutex> lock(mutex_);
        auto [first, last] = byHash_.equal_range(h);
        for (auto it = first; it != last; ++it) {
            const Entry& e = entry(it->second);
            if (e.line == line && e.hasList == hasList && e.cells == cells) return it->second;
        }
        PlaceId place = 0;
        if (!free_.empty()) {
            place = free_.back();
            free_.pop_back();
        } else {
            place = next_++;
        }
        Entry& e = at(place);
        e.line = line;
        e.hasList = hasList;
        e.cells = cells;
        byHash_.emplace(h, place);
        byLine_[line].push_back(place);
        if (line) line->hasPlaces = true;
        count_++;
        return place;
    }

    void forget(const Cell* line) {
        std::lock_guard<std::mutex> lock(mutex_);
        auto found = byLine_.find(line);
        if (found == byLine_.end()) return;
        for (PlaceId place : found->second) {
            Entry& e = at(place);
            auto [first, last] = byHash_.equal_range(hashOf(e.line, e.hasList, e.cells));
            for (auto it = first; it != last; ++it) {
                if (it->second == place) {
                    byHash_.erase(it);
                    break;
                }
            }
            e = Entry{};
            free_.push_back(place);
            count_--;
        }
        byLine_.erase(found);
    }

    size_t count() {
        std::lock_guard<std::mutex> lock(mutex_);
        return count_;
    }

  private:
    static std::pair<size_t, size_t> slotOf(PlaceId place) {
        const size_t j = static_cast<size_t>(place) + kFirst;
        const size_t k = static_cast<size_t>(std::bit_width(j)) - 1 - kFirstBits;
        return {k, j - (kFirst << k)};
    }

    // The entry of a number, its segment made when first needed (under the
    // mutex).
    Entry& at(PlaceId place) {
        auto [k, offset] = slotOf(place);
        Entry* segment = segments_[k].load(std::memory_order_relaxed);
        if (!segment) {
            owned_[k] = std::make_unique<Entry[]>(kFirst << k);
            segment = owned_[k].get();
            segments_[k].store(segment, std::memory_order_release);
        }
        return segment[offset];
    }

    std::mutex mutex_;
    std::array<std::atomic<Entry*>, kSegments> segments_{};
    std::array<std::unique_ptr<Entry[]>, kSegments> owned_;
    std::unordered_multimap<size_t, PlaceId> byHash_;
    std::unordered_map<const Cell*, std::vector<PlaceId>> byLine_;
    std::vector<PlaceId> free_;
    PlaceId next_ = 0;
    size_t count_ = 0;
};

// Never destroyed: cells that outlive static destruction still forget their
// pairs in it.
PlaceTable& table() {
    static PlaceTable* const instance = new PlaceTable;
    return *instance;
}

}  // namespace

PlaceId placeOf(Cell* line) {
    return line ? table().find(line, false, {}) : kNoPlace;
}

PlaceId placeOf(Cell* line, const std::vector<Cell*>& cells) {
    return table().find(line, true, cells);
}

Cell* placeLine(PlaceId place) {
    return table().entry(place).line;
}

const std::vector<Cell*>* placeList(PlaceId place) {
    const Entry& e = table().entry(place);
    return e.hasList ? &e.cells : nullptr;
}

void placeForgetLine(const Cell* line) {
    table().forget(line);
}

size_t placeCount() {
    return table().count();
}
