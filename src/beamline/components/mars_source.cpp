// MARS source: particles read from a MARS particle file.
#include "beamline/components/mars_source.hpp"

#include <cmath>
#include <map>
#include <numbers>

#include "beamline/cell_types.hpp"
#include "beamline/datafiles/sourcefile_format.hpp"
#include "beamline/simulation.hpp"
#include "beamline/species.hpp"
#include "common/report.hpp"
#include "common/text.hpp"
#include "platform/files.hpp"

namespace {

constexpr double kGeV = 1.602176462e-10;
constexpr uint32_t kMarsSeedMultiplier = 1234567;

// The species of a MARS identifier, or -1 for none that can be tracked
// here. An unknown identifier is reported once per file rather than once
// per line: a list with many such lines would otherwise stop an unattended
// run at a question for every one of them. Massless species (neutrinos)
// have no speed to give from a kinetic energy and are not created.
class MarsSpecies {
  public:
    int32_t of(int32_t marsId) {
        auto found = known_.find(marsId);
        if (found != known_.end()) return found->second;
        int32_t s = speciesByPid(marsId, PidMars);
        if (s >= 0 && restEnergy(s) <= 0) s = -1;
        known_[marsId] = s;
        return s;
    }

  private:
    std::map<int32_t, int32_t> known_;
};

void marsInit(Cell& cell, Simulation& simulation) {
    const std::string* file = cellText(cell, "file");
    if (!file) {
        report("[FATAL] MARSsource component lacking 'file' attribute");
        return;
    }
    const std::string path = "datafiles/" + *file;
    SourceDraws draws = sourceDraws(simulation, cell, kMarsSeedMultiplier);
    bool safe = isSafeRelativePath(path) && isSafeFileName(*file);
    if (!safe) report("Refused particle file name '" + *file + "'");
    if (!safe ||
        !loadMarsSource(cell.placedFrame, findFileNoCase(path), cellNumber(cell, "timespread"),
                        cellNumber(cell, "sigma"), cellNumber(cell, "axial"), simulation, draws)) {
        report(format("[FATAL] ERROR: Failed to load particle data from file '%s'", path.c_str()));
    }
}

}  // namespace

const CellTypeFunctions marsSourceFunctions{.initFn = marsInit};

bool loadMarsSource(const Frame3& frame, const std::string& path, double timespread, double sigma,
                    double axial, Simulation& simulation, SourceDraws& draws) {
    report(format("Loading '%s' particle data...", path.c_str()));
    MarsSourceFile file;
    std::string error;
    if (!readMarsSource(path, file, error)) {
        report(format("CSV read of '%s' failed, generating error box", path.c_str()));
        report(error);
        return false;
    }
    const char* name = path.c_str();
    for (int32_t i = 1000; i <= file.countedLines; i += 1000) {
        reportProgress(format("Counting particles in '%s'... %d", name, i));
    }
    reportProgress(format("Counting particles in '%s'... %d", name, file.countedLines));

    // The count includes the header line, as it always has; reading stops at
    // the end of the file whichever comes first.
    const int64_t n = sourceLinesToRead(file.countedLines, simulation.particleDivisor);
    SourceCopies copies;
    if (!sourceCopies(timespread, axial, n, copies, error)) {
        report(error);
        return false;
    }
    MarsSpecies species;
    const int64_t total = n * copies.total;
    int64_t done = 0;
    // At most this many: lines of species left out add none. Room that is
    // never filled is never touched, so it costs no memory.
    beamReserveExact(simulation.beam, static_cast<size_t>(total));
    for (int32_t k = 1; k <= copies.total; k++) {
        for (const MarsSourceLine& line : file.lines) {
            if (line.index >= n) break;
            if (sourceProgressDue(++done)) {
                reportProgress(format("Reading particle file '%s'... %lld / %lld", name,
                                      static_cast<long long>(done), static_cast<long long>(total)));
            }
            int32_t s = species.of(line.marsId);
            if (s < 0 || !speciesAllowed(simulation, s)) continue;
            Vec3 x = line.position;
            Vec3 dir = line.direction;
            if (axial != 0) rotateRandomlyAboutBeamAxis(x, dir, draws);
            Vec3 u = sourceProperVelocity(line.kineticGeV * kGeV, restEnergy(s), dir);
            frameToGlobal(frame, x);
            frameRotate(frame, u);
            double t = line.time;
            if (timespread != 0) t += sigma * draws.gauss();
            Particle& p = addParticle(simulation, s, sourceParticleId(copies, line.index, k));
            p.position = x;
            p.u = u;
            p.weight = line.weight / copies.total;
            p.t = t;
        }
    }
    reportProgress(format("'%s' particle data loaded.", name));
    return true;
}
