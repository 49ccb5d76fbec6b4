#include "run/run.hpp"

#include "beamline/components/aperture.hpp"
#include "beamline/tracking/tracking.hpp"
#include "platform/clock.hpp"

Simulation runBuild(const SetupRequest& request, Genome& genome, const RunSettings& settings,
                    SetupOutcome* outcome) {
    Simulation simulation = setupSimulation(request, genome, outcome);
    if (simulation.root) runConfigure(simulation, settings);
    return simulation;
}

void runConfigure(Simulation& simulation, const RunSettings& settings) {
    trackingConfigure(simulation, settings);
}

bool runFinished(const Simulation& simulation) {
    return !(simulation.t_max > simulation.time) || beamActiveCount(simulation.beam) == 0;
}

bool runStep(Simulation& simulation) {
    advanceStep(simulation, true, kTrackNormal, true);
    return runFinished(simulation);
}

bool runSteps(Simulation& simulation, int steps) {
    advanceSteps(simulation, steps);
    return runFinished(simulation);
}

bool runTrack(Simulation& simulation, const RunStepCallback& onStep) {
    // Without a callback nothing looks at the beam between steps, so the
    // threads may take several at once.
    if (!onStep) {
        while (!runSteps(simulation, 1 << 20)) {
        }
        return true;
    }
    while (!runFinished(simulation)) {
        bool end = runStep(simulation);
        if (onStep && !onStep(simulation)) return end;
    }
    return true;
}

void runMergeOutputs() {
    mergeThreadOutputs();
}

double runScore(const Simulation& simulation) {
    return scoreOf(simulation);
}

RunOutcome runLattice(const SetupRequest& request, Genome& genome, const RunSettings& settings,
                      const RunStepCallback& onStep, const RunStartCallback& onStart) {
    RunOutcome outcome;
    outcome.simulation = runBuild(request, genome, settings, &outcome.setup);
    Simulation& simulation = outcome.simulation;
    if (!simulation.root) return outcome;
    if (onStart) onStart(simulation);
    double start = monotonicSeconds();
    outcome.finished = runTrack(simulation, onStep);
    outcome.trackingSeconds = monotonicSeconds() - start;
    runMergeOutputs();
    if (outcome.finished) outcome.score = runScore(simulation);
    return outcome;
}
