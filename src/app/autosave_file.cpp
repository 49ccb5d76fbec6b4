#include "app/autosave_file.hpp"

#include <cstring>
#include <vector>

#include "beamline/build/nearby.hpp"
#include "beamline/build/setup.hpp"
#include "beamline/cell_io.hpp"
#include "common/report.hpp"
#include "common/text.hpp"
#include "common/version.hpp"
#include "platform/files.hpp"
#include "platform/memory_stream.hpp"
#include "store/binary_io.hpp"
#include "store/stdio_file.hpp"

namespace {

// A save is one simulation; anything larger than this is not one of ours.
constexpr int64_t kMaxAutoSaveBytes = int64_t{1} << 31;
constexpr size_t kMaxVersionLine = 99;
constexpr int32_t kMaxQuarantineScores = 1 << 20;

bool writeVec(std::FILE* file, const Vec3& v) {
    return writeF64(file, v.x) && writeF64(file, v.y) && writeF64(file, v.z);
}
bool readVec(std::FILE* file, Vec3& v) {
    return readF64(file, v.x) && readF64(file, v.y) && readF64(file, v.z);
}

bool writeState(std::FILE* f, const Simulation& s) {
    return writeU32(f, s.seed) && writeU32(f, s.seedpitch) && writeU32(f, s.effectiveSeed) &&
           writeI32(f, s.particleDivisor) && writeI32(f, s.n_decays) &&
           writeI32(f, s.nearbyInterval) && writeI32(f, s.gridResolution) && writeF64(f, s.time) &&
           writeF64(f, s.startTime) && writeF64(f, s.t_max) && writeF64(f, s.dt) &&
           writeF64(f, s.work) && writeI64(f, s.stepCount) && writeF64(f, s.errrate) &&
           writeF64(f, s.twiss_interval) &&
           std::fwrite(s.allowMask, 1, kAllowMaskBytes, f) == kAllowMaskBytes &&
           writeU8(f, s.decays_off) && writeU8(f, s.scattering_off);
}
bool readState(std::FILE* f, Simulation& s) {
    return readU32(f, s.seed) && readU32(f, s.seedpitch) && readU32(f, s.effectiveSeed) &&
           readI32(f, s.particleDivisor) && readI32(f, s.n_decays) &&
           readI32(f, s.nearbyInterval) && readI32(f, s.gridResolution) && readF64(f, s.time) &&
           readF64(f, s.startTime) && readF64(f, s.t_max) && readF64(f, s.dt) &&
           readF64(f, s.work) && readI64(f, s.stepCount) && readF64(f, s.errrate) &&
           readF64(f, s.twiss_interval) &&
           std::fread(s.allowMask, 1, kAllowMaskBytes, f) == kAllowMaskBytes &&
           readU8(f, s.decays_off) && readU8(f, s.scattering_off);
}

bool writeQuarantine(std::FILE* f, const QuarantineState& q) {
    if (!writeU8(f, q.pending ? 1 : 0)) return false;
    if (!q.pending) return true;
    if (!writeI32(f, static_cast<int32_t>(q.scores.size()))) return false;
    for (double score : q.scores) {
        if (!writeF64(f, score)) return false;
    }
    return writeF64(f, q.extraTotal);
}
bool readQuarantine(std::FILE* f, bool& pending, std::vector<double>& scores, double& extra) {
    uint8_t flag = 0;
    if (!readU8(f, flag)) return false;
    pending = flag != 0;
    scores.clear();
    extra = 0;
    if (!pending) return true;
    int32_t n = 0;
    if (!readI32(f, n) || n < 0 || n > kMaxQuarantineScores) return false;
    scores.resize(static_cast<size_t>(n));
    for (double& score : scores) {
        if (!readF64(f, score)) return false;
    }
    return readF64(f, extra);
}

// Every particle in full: an inactive particle's time and decay fields carry
// the ratios that apertures leave for the score, so they must survive too.
bool writeParticle(std::FILE* f, const Particle& p) {
    return writeF64(f, p.weight) && writeI32(f, p.id) && writeI32(f, p.species) &&
           writeI32(f, p.state) && writeVec(f, p.position) && writeVec(f, p.u) &&
           writeI32(f, p.elementIndex) && writeF64(f, p.properTime) && writeF64(f, p.t) &&
           writeF64(f, p.nextDecay) && writeI32(f, p.decaysLeft) && writeU32(f, p.seed) &&
           writeI32(f, p.drawCount);
}
bool readParticle(std::FILE* f, Particle& p) {
    int32_t species = 0;
    if (!readF64(f, p.weight) || !readI32(f, p.id) || !readI32(f, species)) return false;
    // The record holds species indices in 8 bits; nothing larger was ever a species.
    if (species < -128 || species > 127) return false;
    p.species = species;
    return readI32(f, p.state) && readVec(f, p.position) && readVec(f, p.u) &&
           readI32(f, p.elementIndex) && readF64(f, p.properTime) && readF64(f, p.t) &&
           readF64(f, p.nextDecay) && readI32(f, p.decaysLeft) && readU32(f, p.seed) &&
           readI32(f, p.drawCount);
}

bool writeBeam(std::FILE* f, const Beam& beam) {
    if (!writeI32(f, static_cast<int32_t>(beam.activeEnd)) ||
        !writeI32(f, static_cast<int32_t>(beam.particles.size()))) {
        return false;
    }
    for (const Particle& p : beam.particles) {
        if (!writeParticle(f, p)) return false;
    }
    return true;
}
bool readBeam(std::FILE* f, int64_t bytesLeft, Beam& beam, Cell* root) {
    int32_t active = 0, count = 0;
    if (!readI32(f, active) || !readI32(f, count)) return false;
    if (count < 0 || active < 0 || active > count) return false;
    if (static_cast<int64_t>(count) * static_cast<int64_t>(kAutoSaveParticleBytes) > bytesLeft) {
        return false;
    }
    beamClear(beam);
    beamSetCapacity(beam, (static_cast<size_t>(count) + 6000) / 5000 * 5000);
    beam.particles.resize(static_cast<size_t>(count));
    for (Particle& p : beam.particles) {
        if (!readParticle(f, p)) return false;
        setParticleLine(p, root);
    }
    beam.activeEnd = static_cast<size_t>(active);
    return true;
}

bool writeParts(std::FILE* f, const Simulation& simulation, const Genome& genome,
                const QuarantineState& quarantine) {
    std::string version = std::string(kVersionText) + "\n";
    return std::fwrite(version.data(), 1, version.size(), f) == version.size() &&
           writeState(f, simulation) && writeQuarantine(f, quarantine) &&
           genomeWriteBinary(genome, f) && simulation.root && saveCell(*simulation.root, f) &&
           writeBeam(f, simulation.beam);
}

std::string readVersionLine(std::FILE* f) {
    std::string line;
    int c;
    while ((c = std::fgetc(f)) != EOF && c != '\n') {
        if (line.size() < kMaxVersionLine) line += static_cast<char>(c);
    }
    if (!line.empty() && line.back() == '\r') line.pop_back();
    return line;
}

void appendChecksum(std::string& data) {
    AutoSaveChecksum sum =
        autoSaveChecksum(reinterpret_cast<const unsigned char*>(data.data()), data.size());
    for (uint32_t word : sum) {
        for (int i = 0; i < 4; i++)
            data += static_cast<char>(static_cast<uint8_t>(word >> (8 * i)));
    }
}

bool checksumMatches(const std::string& data) {
    if (data.size() < kAutoSaveChecksumBytes) return false;
    std::string body = data.substr(0, data.size() - kAutoSaveChecksumBytes);
    appendChecksum(body);
    return body == data;
}

}  // namespace

AutoSaveChecksum autoSaveChecksum(const unsigned char* data, size_t size) {
    AutoSaveChecksum w{};
    for (size_t i = 0; i + 3 < size; i++) {
        uint32_t b0 = data[i], b1 = data[i + 1], b2 = data[i + 2], b3 = data[i + 3];
        w[i % 10] += ((b3 * b1) << 16) ^ ((17 * b3 + 7 * b2 + 3 * b1 + b0) << 9) ^ (b2 * b0);
    }
    return w;
}

bool autoSaveWrite(const std::string& path, const Simulation& simulation, const Genome& genome,
                   const QuarantineState& quarantine) {
    // The parts go through a C stream (the genome and the cell tree write
    // themselves that way) into memory, to be checksummed whole.
    MemoryStream stream;
    std::string data;
    bool written = stream.file() && writeParts(stream.file(), simulation, genome, quarantine) &&
                   stream.take(data);
    if (!written) return false;
    appendChecksum(data);
    return writeFileAtomic(path, data);
}

AutoSaveReadResult autoSaveRead(const std::string& path, Simulation& simulation, Genome& genome,
                                QuarantineState& quarantine) {
    std::string data;
    ReadStatus status = readWholeFile(path, data, kMaxAutoSaveBytes);
    if (status == ReadStatus::Missing) return AutoSaveReadResult::Missing;
    if (status != ReadStatus::Ok || !checksumMatches(data)) return AutoSaveReadResult::Damaged;
    int64_t end = static_cast<int64_t>(data.size() - kAutoSaveChecksumBytes);
    data.clear();
    reportProgress("Found auto-save file: loading...");

    StdioFile file(std::fopen(path.c_str(), "rb"));
    if (!file) return AutoSaveReadResult::Damaged;
    std::FILE* f = file.get();
    if (!equalNoCase(readVersionLine(f), kVersionText)) {
        file.reset();
        removeFile(path);
        return AutoSaveReadResult::OtherVersion;
    }
    Simulation loaded;
    bool pending = false;
    std::vector<double> scores;
    double extra = 0;
    Genome loadedGenome;
    genomeInit(loadedGenome);
    if (!readState(f, loaded) || !readQuarantine(f, pending, scores, extra) ||
        !genomeReadBinary(loadedGenome, f)) {
        return AutoSaveReadResult::Damaged;
    }
    loaded.root = loadCell(f, loaded.gridResolution);
    if (!loaded.root || !readBeam(f, end - std::ftell(f), loaded.beam, loaded.root.get()) ||
        std::ftell(f) != end) {
        return AutoSaveReadResult::Damaged;
    }
    if (!loaded.beam.particles.empty()) {
        Particle_seg_nearbythings(loaded.beam.particles.data(),
                                  loaded.beam.particles.data() + loaded.beam.particles.size());
    }
    file.reset();
    // The caller's data files serve the restored run as they serve a new one.
    loaded.dataFiles = simulation.dataFiles;
    reattachDataFiles(loaded);
    simulation = std::move(loaded);
    genome = std::move(loadedGenome);
    quarantine.pending = pending;
    quarantine.scores = std::move(scores);
    quarantine.extraTotal = extra;
    return AutoSaveReadResult::Restored;
}
