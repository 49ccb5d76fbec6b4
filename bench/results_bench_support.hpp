// Shared by the results benchmarks: a temporary folder made the working
// folder for the life of the program, and generated results records.
#pragma once

#include <cstdio>
#include <filesystem>
#include <random>
#include <string>

#include "common/report.hpp"
#include "platform/process.hpp"
#include "results/record.hpp"

class BenchFolder {
  public:
    BenchFolder() {
        // No console output from the library while timing.
        displayMode = DisplayBackground;
        std::random_device seed;
        path_ = std::filesystem::temp_directory_path() /
                ("pelto-bench-" + std::to_string(seed()) + std::to_string(seed()));
        std::filesystem::create_directories(path_ / "lattices");
        std::filesystem::create_directories(path_ / "datafiles");
        previous_ = currentFolder();
        setCurrentFolder(path_.string());
    }
    ~BenchFolder() {
        setCurrentFolder(previous_);
        std::error_code ec;
        std::filesystem::remove_all(path_, ec);
    }

  private:
    std::filesystem::path path_;
    std::string previous_;
};

// A record like those the program writes: 25 parameters, a checksum field.
inline ResultRecord benchRecord(std::mt19937& rng) {
    std::string genome;
    char buffer[64];
    for (int p = 0; p < 25; p++) {
        std::snprintf(buffer, sizeof buffer, "param%02d=%03u;", p,
                      static_cast<unsigned>(rng() % 1000));
        genome += buffer;
    }
    genome += "#gen=" + std::to_string(rng() % 50) + ";";
    double score = (rng() % 1000000) / 1e4;
    std::snprintf(buffer, sizeof buffer, "%.6f (%.1f Mpts) [v4.44d] <demo> {", score,
                  (rng() % 100000) / 10.0);
    std::string line = buffer;
    for (int i = 0; i < 24; i++) line += "0123456789ABCDEF"[rng() % 16];
    line += "} ";
    return ResultRecord{genome, line, score};
}
