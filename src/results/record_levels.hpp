// The levels pool records hold for a fixed list of parameters, read straight
// from their genome text, so that a search over many records builds no genome
// per record.
#pragma once

#include <string>
#include <unordered_map>
#include <vector>

#include "model/genome.hpp"

class RecordLevels {
  public:
    // `names` is read in this genome's order; a parameter a record lacks
    // counts as `missing`.
    RecordLevels(const Genome& names, int32_t missing);

    // As genomeGet on the record read with metadata: the last entry of a
    // name counts. The result is valid until the next call.
    const std::vector<int32_t>& read(const std::string& genomeLine);

  private:
    const Genome& names_;
    int32_t missing_;
    std::unordered_map<std::string, size_t> index_;
    std::vector<size_t> first_;
    std::vector<int32_t> levels_;
    std::string lower_;
};
