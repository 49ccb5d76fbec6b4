// A set of small integers as a bitmap with summary levels above it: one bit
// per word of the level below. Insertion, removal and finding the smallest or
// largest member take a few word operations, whatever the size of the set.
#pragma once

#include <algorithm>
#include <bit>
#include <cstdint>
#include <vector>

class BitIndex {
  public:
    // Holds 0 .. size-1, empty at first.
    void reset(uint32_t size) {
        offsets_.clear();
        uint32_t bits = size, total = 0;
        do {
            uint32_t words = bits == 0 ? 1 : (bits + 63) / 64;
            offsets_.push_back(total);
            total += words;
            bits = words;
        } while (bits > 1);
        words_.assign(total, 0);
    }

    bool empty() const { return words_[offsets_.back()] == 0; }

    void set(uint32_t i) {
        for (uint32_t offset : offsets_) {
            words_[offset + (i >> 6)] |= uint64_t(1) << (i & 63);
            i >>= 6;
        }
    }

    void clear(uint32_t i) {
        for (uint32_t offset : offsets_) {
            uint64_t& word = words_[offset + (i >> 6)];
            word &= ~(uint64_t(1) << (i & 63));
            if (word != 0) return;
            i >>= 6;
        }
    }

    // Bulk filling: add members to the bottom level only, then rebuild the
    // summaries once.
    void setBottom(uint32_t i) { words_[i >> 6] |= uint64_t(1) << (i & 63); }
    void rebuildSummaries() {
        for (size_t l = 1; l < offsets_.size(); l++) {
            uint32_t below = offsets_[l - 1], here = offsets_[l];
            std::fill(words_.begin() + here, words_.begin() + levelEnd(l), 0);
            for (uint32_t w = 0; below + w < here; w++) {
                if (words_[below + w]) words_[here + (w >> 6)] |= uint64_t(1) << (w & 63);
            }
        }
    }

    // Smallest and largest members; the set must not be empty.
    uint32_t first() const {
        uint32_t i = 0;
        for (size_t l = offsets_.size(); l-- > 0;) {
            i = i * 64 + static_cast<uint32_t>(std::countr_zero(words_[offsets_[l] + i]));
        }
        return i;
    }
    uint32_t last() const {
        uint32_t i = 0;
        for (size_t l = offsets_.size(); l-- > 0;) {
            i = i * 64 + 63 - static_cast<uint32_t>(std::countl_zero(words_[offsets_[l] + i]));
        }
        return i;
    }

  private:
    size_t levelEnd(size_t l) const {
        return l + 1 < offsets_.size() ? offsets_[l + 1] : words_.size();
    }

    std::vector<uint64_t> words_;    // all levels, the bottom one first
    std::vector<uint32_t> offsets_;  // where each level starts
};
