#include "app/startup.hpp"

#include "app/cmdline.hpp"
#include "app/config.hpp"
#include "app/cycle.hpp"
#include "app/graphics.hpp"
#include "app/net_config.hpp"
#include "app/run_options.hpp"
#include "app/settings.hpp"
#include "app/sim_template.hpp"
#include "app/switches.hpp"
#include "app/username.hpp"
#include "beamline/species.hpp"
#include "common/random.hpp"
#include "common/report.hpp"
#include "net/upload.hpp"
#include "platform/clock.hpp"
#include "platform/console.hpp"
#include "platform/process.hpp"
#include "platform/signals.hpp"

namespace {

void applyPriority() {
    switch (settings.priority) {
        case Priority::Background:
            setProcessPriority(PriorityClass::Idle, ThreadPriority::Idle);
            break;
        case Priority::Normal:
            setProcessPriority(PriorityClass::Normal, ThreadPriority::Normal);
            break;
        case Priority::Low:
            setProcessPriority(PriorityClass::Normal, ThreadPriority::Lowest);
            break;
        case Priority::Idle:
            setProcessPriority(PriorityClass::Normal, ThreadPriority::Idle);
            break;
    }
}

void initialise() {
    if (displayMode == DisplayGraphics && !openGraphics()) {
        // No display to show a window on; carry on as a console program.
        graphicsUnavailable = true;
        displayMode = DisplayConsole;
        report("Graphics display is not available; running in console mode");
    }
    report("Pelto initialising...");
    if (displayMode != DisplayGraphics || runOptions.screensaver) applyPriority();
    seedRandom(tickCountMs());
    simulationTemplate.dt = 1e-11;
    simulationTemplate.nearbyInterval = 10;
    speciesInit();
    if (settings.autoSend || runOptions.sendAndQuit) readUserName();
    loadDisplaySettingsAtStart();
}

}  // namespace

int peltoMain(int argc, const char* const* argv) {
    CommandLine line = readCommandLine(buildCommandLine(argc, argv));
    setWorkingFolder(line.text);
    ConfigReadOutcome config = configRead(kConfigFile);
    applySwitches(line);
    reportConfigProblem(config, kConfigFile);
    initialise();
    int status = 0;
    if (runOptions.sendAndQuit) {
        status = manualSend(currentNetSettings());
    } else {
        installStopSignals();
        status = mainCycle(line);
    }
    closeGraphics();
    // Messages start each line with a line end; close the last one.
    if (displayMode != DisplayBackground) consoleWrite("\n");
    return status;
}
