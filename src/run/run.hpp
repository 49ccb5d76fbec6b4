// One run of a lattice: build it, track it to its end, append the apertures'
// per-thread output files, score it. The client's cycle and pelto-tool's
// run and optimise all go through here, so a run is made one way only.
#pragma once

#include <cstdint>
#include <cstdio>
#include <functional>

#include "beamline/build/setup.hpp"
#include "beamline/simulation.hpp"
#include "beamline/tracking/tracking.hpp"
#include "model/genome.hpp"

// How a run tracks (threads, particles per extra thread, the load-balancing
// log): the engine's own settings, which the caller takes from its
// configuration.
using RunSettings = TrackingConfig;

// Builds the run (setupSimulation) and sets up its tracking engine. The
// run's root is none when the lattice could not be built.
Simulation runBuild(const SetupRequest& request, Genome& genome, const RunSettings& settings,
                    SetupOutcome* outcome = nullptr);
// Sets the tracking settings of a run built or restored from an auto-save.
void runConfigure(Simulation& simulation, const RunSettings& settings);

// Whether the run is at its end: t_max reached, or no particle active.
bool runFinished(const Simulation& simulation);
// One time step of the run (decays on, threads as configured); true when the
// run is at its end after it.
bool runStep(Simulation& simulation);
// Up to `steps` time steps of the run, fewer when it reaches its end; true
// when the run is at its end after them. The tracking threads may take
// several steps before they meet, so nothing sees the beam between them.
bool runSteps(Simulation& simulation, int steps);

// Called after every step of runTrack; false stops the run there.
using RunStepCallback = std::function<bool(Simulation& simulation)>;
// Steps until the end of the run or until onStep stops it; true when the run
// reached its end.
bool runTrack(Simulation& simulation, const RunStepCallback& onStep = {});

// Appends the per-thread output files of apertures to their output files;
// after every run, also one stopped early, so that no line is lost.
void runMergeOutputs();
// The run's score (see scoreOf).
double runScore(const Simulation& simulation);

struct RunOutcome {
    Simulation simulation;       // root none: the lattice could not be built
    SetupOutcome setup;          // what the build found
    bool finished = false;       // tracked to its end (not stopped by the callback)
    double score = 0;            // when finished
    double trackingSeconds = 0;  // wall-clock seconds of tracking
};
// Called once with the built run before its first step.
using RunStartCallback = std::function<void(Simulation& simulation)>;
// The whole run: build, onStart, track with onStep after every step, merge,
// score.
RunOutcome runLattice(const SetupRequest& request, Genome& genome, const RunSettings& settings,
                      const RunStepCallback& onStep = {}, const RunStartCallback& onStart = {});
