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
#include "platform/files.hpp"
#include "platform/folder_lock.hpp"
#include "platform/log_file.hpp"
#include "platform/process.hpp"
#include "platform/signals.hpp"
#include "run/client_state.hpp"

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

// Files that are not plain files (a FIFO, a device, a folder) are refused by
// the file layer; the user hears about each one once.
void installIrregularFileNotice() {
    setIrregularFileNotice([](const std::string& path) {
        reportf(
            "'%s' is not a regular file (it may be a FIFO, a device or a folder); Pelto "
            "does not read or write it",
            path.c_str());
    });
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
    std::string folder = setWorkingFolder(line.text);
    // Taken before anything in the folder is read or written back; reported
    // once the switches have chosen where messages go.
    FolderLock lock = lockProgramFolder();
    // Only the client that owns the folder writes its log; one that finds
    // another running must not rotate the log under it.
    if (lock != FolderLock::Busy) logFileOpen();
    ConfigReadOutcome config = configRead(kConfigFile);
    applySwitches(line);
    installIrregularFileNotice();
    if (lock == FolderLock::Busy) {
        reportf("[FATAL] Another Pelto is running in this folder (%s); this one ends.",
                folder.empty() ? currentFolder().c_str() : folder.c_str());
    }
    reportConfigProblem(config, kConfigFile);
    // From here on a stop signal is a request: the main cycle saves the run
    // in progress, and a prompt waiting for an answer ends the program.
    if (!runOptions.sendAndQuit) installStopSignals();
    initialise();
    int status = 0;
    if (runOptions.sendAndQuit) {
        SendOutcome sent = SendOutcome::NotSent;
        status = manualSend(currentNetSettings(), &sent);
        if (status == 0) clientStateSent(sendOutcomeText(sent));
    } else {
        status = mainCycle(line);
    }
    closeGraphics();
    // Messages start each line with a line end; close the last one.
    if (displayMode != DisplayBackground) consoleWrite("\n");
    return status;
}
