#include "app/switches.hpp"

#include <cctype>
#include <cstdint>
#include <cstdio>

#include "app/cmdline.hpp"
#include "app/config.hpp"
#include "app/converters.hpp"
#include "app/run_options.hpp"
#include "app/settings.hpp"
#include "app/sim_template.hpp"
#include "beamline/build/rf_sync.hpp"
#include "common/report.hpp"
#include "common/text.hpp"
#include "lattice/parser.hpp"
#include "platform/process.hpp"

RunOptions runOptions;
bool graphicsUnavailable = false;

const char* const kHelpText =
    "Pelto Commandline Switches: (usually override configuration)\n"
    "-b\tBackground mode\n"
    "-c\tConsole output mode\n"
    "-g\tGraphics mode, show every timestep\n"
    "-l\tSave component list from last results.dat result, -L also shows coords\n"
    "-q\tComplete what is in queue and quit\n"
    "-r\tRecheck last result in results.dat once, -R forever, -r123 times\n"
    "-s\tSend results and quit\n"
    "-scr\tScreensaver mode\n"
    "-/123\tDivide number of particles by 123\n"
    "-cfg:net -cfg:nonet\tApply pre-defined configuration sets\n"
    "-bintotxt file\tConvert a file from .bin to .txt format\n"
    "-txttobin file\tConvert a file from .txt to .bin format\n"
    "-init\tHalt after initialisation phases (at commandline, for debugging)\n"
    "-loadbalancing\tMultithread timing debugging output\n"
    "-once\tDo one run and quit\n"
    "-outerloop\tOuter-loop debugging\n"
    "-param:name=value\tSet simulation parameter\n"
    "-param:cell.attrib=value\tSet lattice cell attribute\n"
    "-parse\tLattice file parse debug output\n"
    "-rfsync\tPrint RF cavity synchronisation times to rfsync.log\n"
    "-singlethread\tRun in single threaded mode\n"
    "-version\tPrint version identifier\n"
    "-view\tLattice viewing mode (paused, no simulation)\n";

namespace {

[[noreturn]] void endOneShot() {
    exitProcess(0);
}

void printVersionAndWait() {
    std::printf("Pelto version identifier [%s]\nPress any key to continue...\n", kVersionText);
    std::fflush(stdout);
    std::getchar();
    endOneShot();
}

// "-cfg:net" and "-cfg:nonet": the two situations volunteers ask about most.
void applyConfigurationSet(const std::string& commandLine, size_t at) {
    size_t start = at + 5;
    size_t end = start;
    while (end < commandLine.size() && !isBlank(commandLine[end])) end++;
    std::string name = commandLine.substr(start, end - start);

    ConfigList list = configLoad(kConfigFile);
    displayMode = DisplayConsole;
    report("Applying predefined configuration settings...");
    const char* daysLabel = "Download sample results file after a number of days (0=don't)";
    if (equalNoCase(name, "net")) {
        configSet(list, "Auto-send results ([Y]es, [N]o)", "Y");
        configSet(list, daysLabel, "3");
        configSet(list, "Update lattice files from web every N hours (0=don't)", "12");
        report("Configuration set for always-online computer");
    } else if (equalNoCase(name, "nonet")) {
        configSet(list, "Auto-send results ([Y]es, [N]o)", "N");
        configSet(list, daysLabel, "0");
        configSet(list, "Update lattice files from web every N hours (0=don't)", "0");
        report("Configuration set for seldom-online computer - use manualsend.bat");
    } else {
        report("Unknown configuration set");
    }
    if (!configWrite(list, kConfigFile)) report("Could not write 'config.txt'");
    endOneShot();
}

// " -r", " -r5", " -R": recheck the last result once, five times, for ever.
void applyRecheck(const std::string& commandLine) {
    size_t at = findNoCase(commandLine, " -r");
    if (at == std::string::npos) return;
    size_t after = at + 3;
    bool digit =
        after < commandLine.size() && std::isdigit(static_cast<unsigned char>(commandLine[after]));
    if (!(digit || after == commandLine.size() || isBlank(commandLine[after]))) return;
    runOptions.recheckLast = true;
    if (digit) {
        runOptions.runsLeft =
            static_cast<int32_t>(leadingInt(std::string_view(commandLine).substr(after)));
    } else if (commandLine.find(" -R") != std::string::npos) {
        runOptions.runsLeft = -1;
    } else {
        runOptions.runsLeft = 1;
        runOptions.autoView = false;
        runOptions.autoFrameRate = false;
    }
}

}  // namespace

void scanSwitches(const std::string& commandLine) {
    RunOptions& o = runOptions;
    displayMode = DisplayGraphics;
    o.resultChecksum = true;

    if (hasSwitch(commandLine, "s")) {
        displayMode = DisplayConsole;
        o.sendAndQuit = true;
    }
    if (hasSwitch(commandLine, "q") || hasSwitch(commandLine, "queue")) o.queueOnly = true;
    if (hasSwitch(commandLine, "l") || hasSwitch(commandLine, "l42")) displayMode = DisplayConsole;
    if (hasSwitch(commandLine, "version")) printVersionAndWait();
    if (hasSwitch(commandLine, "once")) o.runsLeft = 1;
    if (hasSwitch(commandLine, "parse")) {
        o.parseReport = true;
        latticeParseReport = "PARSEreport.log";
        displayMode = DisplayConsole;
        o.haltAfterInit = true;
    }
    if (hasSwitch(commandLine, "outerloop")) {
        o.outerLoopDebug = true;
        o.resultChecksum = false;
    }
    if (hasSwitch(commandLine, "rfsync")) {
        displayMode = DisplayConsole;
        o.rfSyncLog = true;
        rfSyncLogFile = "rfsync.log";
        o.haltAfterInit = true;
    }
    if (hasSwitch(commandLine, "loadbalancing")) {
        displayMode = DisplayConsole;
        o.loadBalancingLog = true;
        if (o.loadBalancingFile == nullptr)
            o.loadBalancingFile = std::fopen("load_balance.log", "at");
    }
    if (hasSwitch(commandLine, "init")) {
        displayMode = DisplayConsole;
        o.haltAfterInit = true;
    }
    if (hasSwitch(commandLine, "view")) {
        displayMode = DisplayGraphics;
        o.viewOnly = true;
        o.autoView = false;
        o.resultChecksum = false;
    }
    if (hasSwitch(commandLine, "singlethread")) settings.threadCount = 1;
    if (containsNoCase(commandLine, " -bintotxt"))
        runConverter(commandLine, ConvertDirection::BinaryToText);
    if (containsNoCase(commandLine, " -txttobin"))
        runConverter(commandLine, ConvertDirection::TextToBinary);
    applyRecheck(commandLine);
    size_t cfg = findNoCase(commandLine, "-cfg:");
    if (cfg != std::string::npos) applyConfigurationSet(commandLine, cfg);

    if (hasSwitch(commandLine, "c")) {
        displayMode = DisplayConsole;
    } else if (hasSwitch(commandLine, "b")) {
        displayMode = DisplayBackground;
    } else if (hasSwitch(commandLine, "scr")) {
        displayMode = DisplayGraphics;
        o.screensaver = true;
    } else if (hasSwitch(commandLine, "g")) {
        displayMode = DisplayGraphics;
        o.autoFrameRate = false;
    }
    if (displayMode == DisplayGraphics) {
        o.autoSaveFileName = "autogfx.sav";
        o.queueFileName = "queuegfx.txt";
    } else if (displayMode == DisplayConsole) {
        o.autoSaveFileName = "autocli.sav";
        o.queueFileName = "queuecli.txt";
    }
    if (commandLine.find('?') != std::string::npos) {
        std::fputs(kHelpText, stdout);
        endOneShot();
    }
    size_t divisor = commandLine.find(" -/");
    if (divisor != std::string::npos) {
        // A divisor below 1 would divide by zero in the sources; keep one in one.
        long long n = leadingInt(commandLine.substr(divisor + 3));
        simulationTemplate.particleDivisor = static_cast<int32_t>(n < 1           ? 1
                                                                  : n > INT32_MAX ? INT32_MAX
                                                                                  : n);
        o.resultChecksum = false;
    }
    size_t bounds = commandLine.find(" -bounds_loop=");
    if (bounds != std::string::npos) {
        long long n = leadingInt(commandLine.substr(bounds + 14));
        simulationTemplate.nearbyInterval = static_cast<int32_t>(n < 1 ? 1 : n > 1000 ? 1000 : n);
    }
    if (displayMode == DisplayGraphics && graphicsUnavailable) displayMode = DisplayConsole;
}
