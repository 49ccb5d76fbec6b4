#include "app/switches.hpp"

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstdio>
#include <iterator>

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
#include "run/status.hpp"

RunOptions runOptions;
bool graphicsUnavailable = false;

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
void applyConfigurationSet(const std::string& name) {
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
void recheck(const CommandLine& line, const std::string& after) {
    bool digit = !after.empty() && std::isdigit(static_cast<unsigned char>(after[0]));
    if (!(digit || after.empty() || isBlank(after[0]))) return;
    runOptions.recheckLast = true;
    if (digit) {
        runOptions.runsLeft = static_cast<int32_t>(leadingInt(after));
    } else if (line.recheckForever) {
        runOptions.runsLeft = -1;
    } else {
        runOptions.runsLeft = 1;
        runOptions.autoView = false;
        runOptions.autoFrameRate = false;
    }
}

using Action = void (*)(const CommandLine& line, const std::string& after);

void consoleOutput(const CommandLine&, const std::string&) {
    displayMode = DisplayConsole;
}
void sendAndQuit(const CommandLine&, const std::string&) {
    displayMode = DisplayConsole;
    runOptions.sendAndQuit = true;
}
void queueOnly(const CommandLine&, const std::string&) {
    runOptions.queueOnly = true;
}
void version(const CommandLine&, const std::string&) {
    printVersionAndWait();
}
void once(const CommandLine&, const std::string&) {
    runOptions.runsLeft = 1;
}
void parseReport(const CommandLine&, const std::string&) {
    runOptions.parseReport = true;
    latticeParseReport = "PARSEreport.log";
    displayMode = DisplayConsole;
    runOptions.haltAfterInit = true;
}
void outerLoop(const CommandLine&, const std::string&) {
    runOptions.outerLoopDebug = true;
    runOptions.resultChecksum = false;
}
void rfSync(const CommandLine&, const std::string&) {
    displayMode = DisplayConsole;
    runOptions.rfSyncLog = true;
    runOptions.haltAfterInit = true;
}
void loadBalancing(const CommandLine&, const std::string&) {
    displayMode = DisplayConsole;
    runOptions.loadBalancingLog = true;
    if (runOptions.loadBalancingFile == nullptr)
        runOptions.loadBalancingFile = std::fopen("load_balance.log", "at");
}
void haltAfterInit(const CommandLine&, const std::string&) {
    displayMode = DisplayConsole;
    runOptions.haltAfterInit = true;
}
void viewOnly(const CommandLine&, const std::string&) {
    displayMode = DisplayGraphics;
    runOptions.viewOnly = true;
    runOptions.autoView = false;
    runOptions.resultChecksum = false;
}
void singleThread(const CommandLine&, const std::string&) {
    settings.threadCount = 1;
}
void binaryToText(const CommandLine& line, const std::string&) {
    runConverter(line.text, ConvertDirection::BinaryToText);
}
void textToBinary(const CommandLine& line, const std::string&) {
    runConverter(line.text, ConvertDirection::TextToBinary);
}
void configurationSet(const CommandLine&, const std::string& after) {
    size_t end = 0;
    while (end < after.size() && !isBlank(after[end])) end++;
    applyConfigurationSet(after.substr(0, end));
}
void backgroundOutput(const CommandLine&, const std::string&) {
    displayMode = DisplayBackground;
}
void screensaver(const CommandLine&, const std::string&) {
    displayMode = DisplayGraphics;
    runOptions.screensaver = true;
}
void everyTimestep(const CommandLine&, const std::string&) {
    displayMode = DisplayGraphics;
    runOptions.autoFrameRate = false;
}
void help(const CommandLine&, const std::string&) {
    std::fputs(helpText().c_str(), stdout);
    endOneShot();
}
// Reads the program folder only, so it may be asked while a client runs there.
void showStatus(const CommandLine&, const std::string&) {
    StatusFiles files;
    files.requiredRuns = std::max(kMinRequiredRuns, settings.requiredRuns);
    std::fputs(statusText(files).c_str(), stdout);
    std::fflush(stdout);
    endOneShot();
}
void particleDivisor(const CommandLine&, const std::string& after) {
    // A divisor below 1 would divide by zero in the sources; keep one in one.
    long long n = leadingInt(after);
    simulationTemplate.particleDivisor = static_cast<int32_t>(n < 1           ? 1
                                                              : n > INT32_MAX ? INT32_MAX
                                                                              : n);
    runOptions.resultChecksum = false;
}
void nearbyInterval(const CommandLine&, const std::string& after) {
    long long n = leadingInt(after);
    simulationTemplate.nearbyInterval = static_cast<int32_t>(n < 1 ? 1 : n > 1000 ? 1000 : n);
}

// How a row's switch is found in the command line.
enum class Match : uint8_t {
    Word,         // " -name" then a blank or the end, at the first " -name" only
    Prefix,       // " -name" ignoring case; the rest of the line is its argument
    PrefixExact,  // " -name" spelt exactly
    Loose,        // "-name" ignoring case, even inside a word
    Anywhere,     // the name alone, anywhere
};

struct SwitchRow {
    const char* name;  // after the hyphen
    Match match;
    Action action;  // none: only recorded
    // Of the rows marked exclusive, only the first found acts: the display
    // mode switches, strongest first.
    bool exclusive;
    bool CommandLine::*record;  // set when found, for the steps after start-up
    int8_t helpPlace;           // line of the help listing; -1: not listed
    const char* help;
};

// The rows act in this order, so later rows win: the display mode forced by
// debugging switches gives way to -view, and all of them to -c, -b, -scr, -g.
// One-shot rows end the process where they stand.
// clang-format off
constexpr SwitchRow kSwitches[] = {
    {"s",             Match::Word,        sendAndQuit,      false, nullptr, 6,  "-s\tSend results and quit\n"},
    {"q",             Match::Word,        queueOnly,        false, nullptr, 4,  "-q\tComplete what is in queue and quit\n"},
    {"queue",         Match::Word,        queueOnly,        false, nullptr, -1, nullptr},  // long form of -q
    {"l",             Match::Word,        consoleOutput,    false, &CommandLine::componentList, 3,
     "-l\tSave component list from last results.dat result, -L also shows coords\n"},
    {"l42",           Match::Word,        consoleOutput,    false, &CommandLine::legacyComponentList, -1, nullptr},  // oldest results' channel
    {"L",             Match::PrefixExact, nullptr,          false, &CommandLine::componentListCoords, -1, nullptr},  // with -l
    {"version",       Match::Word,        version,          false, nullptr, 20, "-version\tPrint version identifier\n"},
    {"once",          Match::Word,        once,             false, nullptr, 14, "-once\tDo one run and quit\n"},
    {"parse",         Match::Word,        parseReport,      false, nullptr, 17, "-parse\tLattice file parse debug output\n"},
    {"outerloop",     Match::Word,        outerLoop,        false, nullptr, 15, "-outerloop\tOuter-loop debugging\n"},
    {"rfsync",        Match::Word,        rfSync,           false, nullptr, 18,
     "-rfsync\tPrint RF cavity synchronisation times to rfsync.log\n"},
    {"loadbalancing", Match::Word,        loadBalancing,    false, nullptr, 13,
     "-loadbalancing\tMultithread timing debugging output\n"},
    {"init",          Match::Word,        haltAfterInit,    false, nullptr, 12,
     "-init\tHalt after initialisation phases (at commandline, for debugging)\n"},
    {"view",          Match::Word,        viewOnly,         false, nullptr, 21,
     "-view\tLattice viewing mode (paused, no simulation)\n"},
    {"singlethread",  Match::Word,        singleThread,     false, nullptr, 19, "-singlethread\tRun in single threaded mode\n"},
    {"bintotxt",      Match::Prefix,      binaryToText,     false, nullptr, 10,
     "-bintotxt file\tConvert a file from .bin to .txt format\n"},
    {"txttobin",      Match::Prefix,      textToBinary,     false, nullptr, 11,
     "-txttobin file\tConvert a file from .txt to .bin format\n"},
    {"R",             Match::PrefixExact, nullptr,          false, &CommandLine::recheckForever, -1, nullptr},  // with -r
    {"r",             Match::Prefix,      recheck,          false, nullptr, 5,
     "-r\tRecheck last result in results.dat once, -R forever, -r123 times\n"},
    {"cfg:",          Match::Loose,       configurationSet, false, nullptr, 9,
     "-cfg:net -cfg:nonet\tApply pre-defined configuration sets\n"},
    {"c",             Match::Word,        consoleOutput,    true,  nullptr, 1,  "-c\tConsole output mode\n"},
    {"b",             Match::Word,        backgroundOutput, true,  nullptr, 0,  "-b\tBackground mode\n"},
    {"scr",           Match::Word,        screensaver,      true,  nullptr, 7,  "-scr\tScreensaver mode\n"},
    {"g",             Match::Word,        everyTimestep,    true,  nullptr, 2,  "-g\tGraphics mode, show every timestep\n"},
    {"?",             Match::Anywhere,    help,             false, nullptr, -1, nullptr},  // the listing itself
    {"/",             Match::PrefixExact, particleDivisor,  false, nullptr, 8,  "-/123\tDivide number of particles by 123\n"},
    {"bounds_loop=",  Match::PrefixExact, nearbyInterval,   false, nullptr, -1, nullptr},  // steps between nearby-list updates
    {"status",        Match::Word,        showStatus,       false, nullptr, 22,
     "-status\tShow runs done, best scores, the queue and what waits to be sent, then quit\n"},
    {"param:",        Match::Prefix,      nullptr,          false, &CommandLine::paramOverrides, 16,
     "-param:name=value\tSet simulation parameter\n"
     "-param:cell.attrib=value\tSet lattice cell attribute\n"},
};
// clang-format on
static_assert(std::size(kSwitches) == kSwitchCount, "kSwitchCount must count the rows");

constexpr int kHelpLines = 23;

// Every place of the help listing is taken by exactly one row.
constexpr bool helpPlacesComplete() {
    for (int place = 0; place < kHelpLines; place++) {
        int rows = 0;
        for (const SwitchRow& row : kSwitches) rows += row.helpPlace == place && row.help;
        if (rows != 1) return false;
    }
    for (const SwitchRow& row : kSwitches) {
        if (row.helpPlace >= kHelpLines || (row.helpPlace < 0) != (row.help == nullptr)) {
            return false;
        }
    }
    return true;
}
static_assert(helpPlacesComplete(), "help places must be 0..kHelpLines-1, one row each");

// The text after the row's switch (empty for whole-word switches), or none
// when the command line lacks it.
std::optional<std::string> findSwitch(const std::string& text, const SwitchRow& row) {
    std::string needle = std::string(" -") + row.name;
    size_t at = std::string::npos;
    switch (row.match) {
        case Match::Word:
            if (!hasSwitch(text, row.name)) return std::nullopt;
            return std::string();
        case Match::Prefix:
            at = findNoCase(text, needle);
            break;
        case Match::PrefixExact:
            at = text.find(needle);
            break;
        case Match::Loose:
            needle.erase(0, 1);
            at = findNoCase(text, needle);
            break;
        case Match::Anywhere:
            needle.erase(0, 2);
            at = text.find(needle);
            break;
    }
    if (at == std::string::npos) return std::nullopt;
    return text.substr(at + needle.size());
}

}  // namespace

CommandLine readCommandLine(const std::string& text) {
    CommandLine line;
    line.text = text;
    for (size_t i = 0; i < std::size(kSwitches); i++) {
        line.hits[i] = findSwitch(text, kSwitches[i]);
        if (line.hits[i] && kSwitches[i].record) line.*kSwitches[i].record = true;
    }
    line.latticeWord = firstPlainWord(text);
    return line;
}

void applySwitches(const CommandLine& line) {
    RunOptions& o = runOptions;
    displayMode = DisplayGraphics;
    o.resultChecksum = true;
    bool exclusiveTaken = false;
    for (size_t i = 0; i < std::size(kSwitches); i++) {
        const SwitchRow& row = kSwitches[i];
        if (!line.hits[i] || !row.action) continue;
        if (row.exclusive) {
            if (exclusiveTaken) continue;
            exclusiveTaken = true;
        }
        row.action(line, *line.hits[i]);
    }
    if (displayMode == DisplayGraphics) {
        o.autoSaveFileName = "autogfx.sav";
        o.queueFileName = "queuegfx.txt";
    } else if (displayMode == DisplayConsole) {
        o.autoSaveFileName = "autocli.sav";
        o.queueFileName = "queuecli.txt";
    }
    if (displayMode == DisplayGraphics && graphicsUnavailable) displayMode = DisplayConsole;
}

void scanSwitches(const std::string& text) {
    applySwitches(readCommandLine(text));
}

std::string helpText() {
    std::string out = "Pelto Commandline Switches: (usually override configuration)\n";
    for (int place = 0; place < kHelpLines; place++) {
        for (const SwitchRow& row : kSwitches) {
            if (row.helpPlace == place) out += row.help;
        }
    }
    return out;
}

SwitchName switchName(int row) {
    const SwitchRow& r = kSwitches[row];
    return {r.name, r.help != nullptr};
}
