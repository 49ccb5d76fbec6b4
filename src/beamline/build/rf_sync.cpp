// RF phase synchronisation: the synchronous particle sets the cavities' phases.
#include "beamline/build/rf_sync.hpp"

#include <cmath>
#include <utility>

#include "beamline/build/nearby.hpp"
#include "beamline/cell_types.hpp"
#include "beamline/components/rf_cavity.hpp"
#include "beamline/species.hpp"
#include "beamline/tracking/engine.hpp"
#include "common/report.hpp"
#include "common/text.hpp"
#include "model/relativity.hpp"
#include "platform/clock.hpp"
#include "platform/files.hpp"

namespace {

constexpr double kTwoPi = 6.283185307179586;
constexpr double kProgressInterval = 0.25;  // seconds between progress lines
constexpr int kLogEverySteps = 100;

bool isCavity(const Cell& cell) {
    return cell.kind == Machine && cell.interceptFn &&
           cell.interceptFn == rfCavityFunctions.interceptFn;
}

int32_t countCavities(const Cell& root) {
    int32_t count = 0;
    for (const CellPtr& child : root.children) {
        if (child && isCavity(*child)) count++;
    }
    return count;
}

bool isSynchronousCell(const Cell& cell) {
    return equalNoCase(cell.typeName, "Synchronous-particle");
}

// The synchronous particle's start: at the cell's entry, travelling along
// the first element from there on that has a length. False after a fatal
// message when no element has one.
bool startSynchronous(const Cell& root, size_t at, Simulation& track) {
    const Cell& cell = *root.children[at];
    const Cell* along = nullptr;
    for (size_t i = at; i < root.children.size() && !along; i++) {
        const Cell* c = root.children[i].get();
        if (c && cellNumber(*c, "length") > 0) along = c;
    }
    if (!along) {
        report(
            "[FATAL] syncrfphases_track couldn't work out what direction the synchronous particle "
            "is supposed to be travelling in.");
        return false;
    }
    Vec3 direction{0, 0, 1};
    frameRotate(along->entryFrame, direction);
    auto species = static_cast<int32_t>(cellNumber(cell, "SpeciesOrd"));
    double energy = cellNumber(cell, "Energy");
    double tStart = cellNumber(cell, "t_start");
    double z = cellNumber(cell, "Z");
    double gamma = 1 + energy / restEnergy(species);
    Particle& p = addParticle(track, species, 0);
    p.u = direction * properSpeedFromGamma(gamma);
    p.position = cell.entryFrame.origin + direction * z;
    p.t = tStart;
    Particle_nearbythings(p);
    track.time = tStart;
    rfSyncLog(track.rfSyncLogFile,
              format("Particle species: %s\nInitial t:%.9g z:%.9g k.e:%.6gJ=%.6geV gammav:%.6g "
                     "(%.9g,%.9g,%.9g)\n",
                     speciesInfo(species).name, tStart, z, energy, energy / kElectronVolt,
                     norm(p.u), p.u.x, p.u.y, p.u.z));
    return true;
}

void logPosition(const Simulation& track, const Particle& p) {
    const Cell& root = *track.root;
    bool known = p.elementIndex >= 0 && p.elementIndex < root.childCount();
    std::string text = format("t=%.9g,x=%.9g,y=%.9g,z=%.9g %d:%s [", track.time, p.position.x,
                              p.position.y, p.position.z, p.elementIndex,
                              known ? root.children[p.elementIndex]->name.c_str() : "-");
    if (const std::vector<Cell*>* nearby = nearbyList(p)) {
        const char* separator = "";
        for (const Cell* c : *nearby) {
            text += separator + c->name;
            separator = ",";
        }
    }
    rfSyncLog(track.rfSyncLogFile, text + "]\n");
}

const Particle* activeParticle(const Simulation& track) {
    const Beam& beam = track.beam;
    if (beam.activeEnd == 0 || beam.particles.empty()) return nullptr;
    const Particle& p = beam.particles.front();
    return p.state == StateActive ? &p : nullptr;
}

// Tracks the synchronous particle until every cavity is reached, it is no
// longer active, t_max or the step budget. True when it did not get through.
bool trackSynchronous(Simulation& track, const RfSyncState& sync, int64_t maxSteps) {
    double lastProgress = monotonicSeconds();
    for (int64_t step = 0;; step++) {
        if (track.time >= track.t_max || sync.cavitiesLeft <= 0) {
            report("Tracking central particle to synchronise RF phases... Done");
            return false;
        }
        const Particle* p = activeParticle(track);
        if (!p || step >= maxSteps) return true;
        if (step % kLogEverySteps == 0 && !track.rfSyncLogFile.empty()) logPosition(track, *p);
        double now = monotonicSeconds();
        if (now - lastProgress >= kProgressInterval) {
            lastProgress = now;
            reportProgress(format("Tracking central particle to synchronise RF phases... %.1f%%",
                                  100 * track.time / track.t_max));
        }
        advanceStep(track, false, kTrackRfSync, false);
    }
}

double betaOf(double energy, int32_t species) {
    return energy > 0 ? betaFromGamma(1 + energy / restEnergy(species)) : 0;
}

}  // namespace

void rfSyncLog(const std::string& logFile, const std::string& text) {
    if (logFile.empty()) return;
    appendToFile(logFile, text);
}

void rfSyncLogStarted(const std::string& logFile) {
    rfSyncLog(logFile, "\n---------- Started " + localDateTimeText() + " ----------\n");
}

int rfSyncHit(RfSyncState& sync, Cell& cell, const Particle& before, const Particle& after,
              double t0, double t1, Particle& hit, double& hitTime) {
    auto& cavity = runDataAs<RfCavityData>(cell.runData);
    if (rfCavityCrossing(cavity, before, t0, after, t1, nullptr, StepContext{}, hit, hitTime) == 0)
        return 0;
    // The lattice's phase is the one the synchronous particle meets.
    cavity.phase -= cavity.omega * hitTime;
    sync.cavitiesLeft--;
    rfSyncLog(sync.logFile, format("%s hit t=%.6g\n", cell.name.c_str(), hitTime));
    rfCavityKick(cavity, hit, hitTime);
    return 1;
}

void syncrfphases_track(Simulation& simulation, int64_t maxSteps) {
    if (!simulation.root || simulation.root->kind != Composite) {
        report("[FATAL] Called syncrfphases_track on non-composite cell: aborting.");
        return;
    }
    Cell& root = *simulation.root;
    // A private run with a beam of one: the real beam is left alone.
    Beam beam = std::move(simulation.beam);
    Simulation track = simulation;
    simulation.beam = std::move(beam);
    beamClear(track.beam);

    rfSyncLogStarted(simulation.rfSyncLogFile);
    rfSyncLog(simulation.rfSyncLogFile, "syncrfphases_track\n");
    bool found = false;
    for (size_t i = 0; i < root.children.size() && !found; i++) {
        if (!root.children[i] || !isSynchronousCell(*root.children[i])) continue;
        if (!startSynchronous(root, i, track)) return;
        found = true;
    }
    if (!found) {
        report(
            "[FATAL] Could not find synchronous particle!\n(It may have been defined but not "
            "included in the beamline)");
        return;
    }
    report("Tracking central particle to synchronise RF phases...");
    RfSyncState sync;
    sync.cavitiesLeft = countCavities(root);
    sync.logFile = simulation.rfSyncLogFile;
    trackingEngineOf(track).rfSync = &sync;
    if (!trackSynchronous(track, sync, maxSteps)) return;
    report(
        format("syncrfphases_track lost the central particle after %.2fns; falling back to "
               "syncrfphases_arclength.",
               track.time * 1e9));
    beamClear(track.beam);
    syncrfphases_arclength(simulation);
}

void syncrfphases_arclength(Simulation& simulation) {
    if (!simulation.root) return;
    bool met = false;
    double t = 0, energy = 0;
    int32_t species = kNoSpecies;
    rfSyncLogStarted(simulation.rfSyncLogFile);
    rfSyncLog(simulation.rfSyncLogFile, "syncrfphases_arclength\n");
    for (const CellPtr& child : simulation.root->children) {
        if (!child) continue;
        Cell& cell = *child;
        if (!met && isSynchronousCell(cell)) {
            met = true;
            species = static_cast<int32_t>(cellNumber(cell, "SpeciesOrd"));
            if (species < 0 || species >= kSpeciesCount) return;
            energy = cellNumber(cell, "Energy");
            t = cellNumber(cell, "t_start");
            double z = cellNumber(cell, "Z");
            double beta = betaOf(energy, species);
            if (z != 0 && beta > 0) t -= z / (kSpeedOfLight * beta);
        }
        if (!met) continue;
        // A cavity's gap is at its entry: its phase is set for the time the
        // particle arrives there, before its own length is travelled.
        if (cellAttributeKind(cell, "Phase") == AttributeNumber) {
            double phase = cellNumber(cell, "Phase");
            double newPhase = phase - kTwoPi * cellNumber(cell, "Frequency") * t;
            cellSetNumber(cell, "Phase", newPhase);
            // Tracking reads the phase from the run data, not the attribute.
            if (isCavity(cell)) runDataAs<RfCavityData>(cell.runData).phase = newPhase;
            energy += charge(species) * cellNumber(cell, "Voltage") * std::cos(phase);
        }
        double length = cellNumber(cell, "Length");
        if (length > 0) {
            double beta = betaOf(energy, species);
            // A particle the cavities have stopped reaches nothing further.
            if (beta <= 0) break;
            t += length / (kSpeedOfLight * beta);
        }
        rfSyncLog(simulation.rfSyncLogFile, format("End of %s: t=%.6g\n", cell.name.c_str(), t));
    }
}
