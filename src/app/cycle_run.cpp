// The run loop of the cycle: time steps of the tracking engine with progress
// shown between them, the graphics window and its keys, auto-saves, sleeping
// on battery power and the CPU throttle, until the run finishes or the user
// (or the system) asks the program to stop.
#include <algorithm>
#include <cmath>
#include <vector>

#include "app/cycle_state.hpp"
#include "app/graphics.hpp"
#include "app/run_options.hpp"
#include "app/settings.hpp"
#include "common/report.hpp"
#include "common/text.hpp"
#include "display/display.hpp"
#include "display/simulation_frame.hpp"
#include "net/upload.hpp"
#include "platform/clock.hpp"
#include "platform/console.hpp"
#include "platform/power.hpp"
#include "platform/signals.hpp"
#include "run/run.hpp"

namespace {

// Seconds a pass of the graphics loop aims at.
constexpr double kPassTarget = 0.3;
// Console progress lines come at most this often, in seconds.
constexpr double kStatusInterval = 0.05;
constexpr uint32_t kBatterySleepMs = 30000;
// Sleeps are cut into slices so that a stop request is answered promptly.
constexpr uint32_t kSleepSliceMs = 200;

// Sleeps, waking early for a stop request.
void sleepUnlessStopped(uint32_t milliseconds) {
    while (milliseconds > 0 && !stopRequested()) {
        uint32_t slice = std::min(milliseconds, kSleepSliceMs);
        sleepMs(slice);
        milliseconds -= slice;
    }
}

void showProgress(const Simulation& sim) {
    // The end time beside the time, so the user sees how far the run has to go.
    reportProgress(format("t = %.2f/%g ns (%d/%d particles) %.1f Mpts", sim.time * 1e9,
                          sim.t_max * 1e9, static_cast<int>(beamActiveCount(sim.beam)),
                          static_cast<int>(beamCount(sim.beam)), sim.work));
}

// One pass of time steps. Returns the seconds spent tracking.
double advancePass(CycleState& s, int32_t steps) {
    double start = monotonicSeconds();
    if (runSteps(s.simState, steps)) s.stop = StopFinished;
    return monotonicSeconds() - start;
}

// The next pass aims at kPassTarget seconds; the step count at most doubles.
int32_t adaptedSteps(int32_t steps, double seconds) {
    double wanted = std::floor(steps * kPassTarget / (seconds + 1e-6) + 0.5);
    double limited = std::min(2.0 * steps, wanted);
    return static_cast<int32_t>(std::max(1.0, limited));
}

void graphicsPass(CycleState& s, RunControl& control, std::vector<DisplayParticle>& storage) {
    const VersionNotice& notice = versionNotice;
    if (settings.autoSend && !equalNoCase(notice.latestVersion, "Unknown") &&
        !equalNoCase(notice.latestVersion, kVersionText)) {
        displayTopText(
            format("New version %s available from website!  (You are using version "
                   "%s)\n\n%s",
                   notice.latestVersion.c_str(), kVersionText, notice.versionMessage.c_str()));
    }
    control.running = s.running;
    control.elapsed = monotonicSeconds() - s.autoSave.runStartTime;
    displayDrawFrame(displayFrameOf(s.simState, storage), control);
    bool quit = displayHandleKeys(control, s.simState.root.get());
    s.running = control.running;
    if ((quit || displayQuitKeyDown()) && s.stop == StopNone) s.stop = StopQuit;
}

void sleepWhileOnBattery(MainsPowerWatch& power) {
    while (settings.sleepOnBattery && !stopRequested() && !power.onMains()) {
        report("On battery power, sleeping...");
        sleepUnlessStopped(kBatterySleepMs);
    }
}

}  // namespace

uint32_t throttleSleepMs(int throttle, double elapsed) {
    if (throttle >= 100 || throttle < 1 || !(elapsed < 5.0)) return 0;
    return static_cast<uint32_t>((100 - throttle) * elapsed / throttle * 1000);
}

void trackRun(CycleState& s) {
    const bool graphics = displayMode == DisplayGraphics;
    if (graphics) {
        displayPrepare(s.simState.root.get(), s.restored);
        displayCentrePointer();
        viewSettings().stepsPerPass = 1;
    } else {
        if (displayMode == DisplayConsole) consoleWrite("\n");
        s.running = true;
    }
    if (runOptions.viewOnly) s.running = false;
    if (runOptions.outerLoopDebug) s.simState.t_max = 4e-9;

    double statusDue = monotonicSeconds();
    double throttleRef = statusDue;
    RunControl control;
    std::vector<DisplayParticle> storage;
    // Asked between steps, but answered from the supply folder only every
    // few seconds; a battery sleep (30 s) always asks afresh.
    MainsPowerWatch power(monotonicSeconds);
    while (s.stop == StopNone) {
        if (s.running) {
            int32_t steps = graphics ? std::max(1, viewSettings().stepsPerPass) : 1;
            double seconds = advancePass(s, steps);
            s.trackingSeconds += seconds;
            double passEnd = monotonicSeconds();
            if (graphics && viewSettings().autoFrameRate) {
                viewSettings().stepsPerPass = adaptedSteps(steps, seconds);
            }
            if (displayMode == DisplayConsole && passEnd > statusDue) {
                showProgress(s.simState);
                statusDue = passEnd + kStatusInterval;
            }
            if (runOptions.viewOnly) s.stop = StopFinished;
        }
        if (graphics) graphicsPass(s, control, storage);
        if (runOptions.screensaver && screensaverWantsToQuit() && s.stop == StopNone) {
            s.stop = StopQuit;
        }
        // A run that has just finished is stored; the request is answered
        // at the start of the next cycle.
        if (stopRequested() && s.stop == StopNone) s.stop = StopQuit;
        autoSaveTick(s.autoSave, s.simState, *s.genome, s.quarantine, false, monotonicSeconds());
        sleepWhileOnBattery(power);
        if (settings.cpuThrottle < 100) {
            double now = monotonicSeconds();
            double elapsed = now - throttleRef;
            if (elapsed >= 0.02) {
                sleepUnlessStopped(throttleSleepMs(settings.cpuThrottle, elapsed));
                throttleRef = monotonicSeconds();
            }
        }
    }
}
