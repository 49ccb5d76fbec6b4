// The auto-save file: one running simulation, complete enough to go on with
// it after the program was stopped. Layout, little-endian, nothing between
// the parts:
//   1. the version text and one line feed;
//   2. the simulation state, field by field (autoSaveStateBytes);
//   3. the quarantine: pending (1 byte); when set, the number of scores
//      (int32), the scores and the work figure of the earlier runs (doubles);
//   4. the genome (genomeWriteBinary);
//   5. the beamline (saveCell from the root);
//   6. the particles: active count and count (int32), then every particle
//      in one form (autoSaveParticleBytes each);
//   7. the checksum of parts 1 to 6: ten 32-bit words.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

#include "beamline/simulation.hpp"
#include "model/genome.hpp"
#include "results/quarantine.hpp"

using AutoSaveChecksum = std::array<uint32_t, 10>;
inline constexpr size_t kAutoSaveChecksumBytes = 40;
inline constexpr size_t kAutoSaveStateBytes = 104;
inline constexpr size_t kAutoSaveParticleBytes = 108;

// Ten words, each summing a mix of four consecutive bytes at the positions
// that fall to it; fewer than four bytes give ten zero words.
AutoSaveChecksum autoSaveChecksum(const unsigned char* data, size_t size);

// Writes the file through a temporary file in the same folder and a rename,
// so that a stop at any moment leaves the previous save or the new one.
bool autoSaveWrite(const std::string& path, const Simulation& simulation, const Genome& genome,
                   const QuarantineState& quarantine);

enum class AutoSaveReadResult { Restored, Missing, Damaged, OtherVersion };

// Reads a save into `simulation`, `genome` and the quarantine's scores. A
// file whose checksum fails or that ends early is left in place; one of
// another program version is deleted.
AutoSaveReadResult autoSaveRead(const std::string& path, Simulation& simulation, Genome& genome,
                                QuarantineState& quarantine);
