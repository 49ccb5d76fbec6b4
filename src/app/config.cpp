#include "app/config.hpp"

#include <algorithm>

#include "app/settings.hpp"
#include "common/report.hpp"
#include "common/text.hpp"
#include "model/genome.hpp"
#include "platform/clock.hpp"
#include "platform/files.hpp"

namespace {

// A settings file is a few kilobytes; anything far bigger is not ours.
constexpr int64_t kMaxConfigBytes = 16 << 20;
constexpr int kReadAttempts = 13;
constexpr int kUnreadableAttempts = 4;

constexpr const char* kDaySampleLabel =
    "Download sample results file after a number of days (0=don't)";
constexpr const char* kHourSampleLabel =
    "Download sample results file after a number of hours (0=don't, min. 6)";

int findByPrefix(const ConfigList& list, std::string_view shortLabel) {
    for (uint32_t i = list.count(); i-- > 0;) {
        if (startsWithNoCase(list[i].label, shortLabel)) return static_cast<int>(i);
    }
    return -1;
}

int findExact(const ConfigList& list, std::string_view label) {
    for (uint32_t i = list.count(); i-- > 0;) {
        if (equalNoCase(list[i].label, label)) return static_cast<int>(i);
    }
    return -1;
}

std::string valueOf(const ConfigList& list, std::string_view shortLabel) {
    const std::string* v = configGet(list, shortLabel);
    return v ? *v : std::string();
}

int wholeNumber(const ConfigList& list, std::string_view shortLabel) {
    return static_cast<int>(
        std::clamp<long long>(leadingInt(valueOf(list, shortLabel)), INT32_MIN, INT32_MAX));
}

bool yes(const ConfigList& list, std::string_view shortLabel) {
    std::string v = valueOf(list, shortLabel);
    return !v.empty() && lowerAscii(v[0]) == 'y';
}

char firstUpper(const ConfigList& list, std::string_view shortLabel) {
    std::string v = valueOf(list, shortLabel);
    return v.empty() ? '\0' : upperAscii(v[0]);
}

void applyTrialRatios(const std::string& text) {
    Genome pairs = genomeFromText(text, false);
    for (int t = 0; t < kTrialTypeCount; t++) {
        for (int i = 0; i < pairs.count(); i++) {
            if (equalNoCase(pairs.names[static_cast<size_t>(i)],
                            kTrialTypes[static_cast<size_t>(t)].name)) {
                settings.trialRatios[t] = std::clamp(pairs.levels[static_cast<size_t>(i)], 0, 999);
            }
        }
    }
}

// Turns every entry into its setting, in the order the program has always
// read them; out-of-range values are replaced in the list too.
void applySettings(ConfigList& list) {
    Settings& s = settings;
    std::string resolution = valueOf(list, "Resolution");
    int x = 0, y = 0;
    if (std::sscanf(resolution.c_str(), "%dx%d", &x, &y) == 2) {
        s.resolutionX = x;
        s.resolutionY = y;
    }
    std::string priority = valueOf(list, "Priority");
    switch (priority.empty() ? '\0' : lowerAscii(priority[0])) {
        case 'b':
            s.priority = Priority::Background;
            break;
        case 'n':
            s.priority = Priority::Normal;
            break;
        case 'l':
            s.priority = Priority::Low;
            break;
        default:
            s.priority = Priority::Idle;
            break;
    }
    s.threadCount = wholeNumber(list, "Threads");
    s.autoSend = yes(list, "Auto-send");
    s.autoSaveInterval = leadingDouble(valueOf(list, "Auto-save"));
    if (s.autoSaveInterval == 0) s.autoSaveOff = true;

    s.requiredRuns = wholeNumber(list, "Rechecks");
    if (s.requiredRuns < 5) {
        s.requiredRuns = 5;
        configSet(list, "Rechecks", "5");
    }
    s.sampleDownloadHours = wholeNumber(list, "Download sample");
    if (s.sampleDownloadHours >= 1 && s.sampleDownloadHours <= 5) {
        s.sampleDownloadHours = 6;
        configSet(list, "Download sample", "6");
    }
    s.sampleBehaviour = firstUpper(list, "Sample file behaviour");
    s.sampleUrl = valueOf(list, "Sample file URL");
    s.latticeUpdateHours = wholeNumber(list, "Update lattice");

    std::string proxy = valueOf(list, "Use proxy server");
    size_t comma = proxy.find(',');
    if (comma != std::string::npos) {
        s.proxyHost = proxy.substr(0, comma);
        s.proxyPort = static_cast<int>(static_cast<uint16_t>(leadingInt(proxy.substr(comma + 1))));
    } else {
        s.proxyHost.clear();
        s.proxyPort = 0;
    }
    s.uploadByHttp = equalNoCase(valueOf(list, "Results upload method"), "HTTP");
    s.ftpCommand = valueOf(list, "FTP command").substr(0, 999);
    s.ftpPassive = yes(list, "Use passive");
    s.ftpOldCalling = yes(list, "Use old FTP calling");
    applyTrialRatios(valueOf(list, "TrialType ratios"));
    s.particlesPerExtraThread = std::max(1, wholeNumber(list, "Particles per extra thread"));
    s.preferredLattices = valueOf(list, "Preferred lattices").substr(0, 499);
    s.sleepOnBattery = yes(list, "Sleep on battery");

    s.cpuThrottle = std::clamp(wholeNumber(list, "CPU throttle"), 1, 100);
    configSetInt(list, "CPU throttle", s.cpuThrottle);

    double megabytes = leadingDouble(valueOf(list, "Results file maximum size"));
    double bytes = megabytes * 1048576.0;
    // Held in 64 bits: a limit of 2048 MB or more must not wrap to a negative
    // size that would prune after every run. Negative limits never prune.
    s.resultsMaxBytes = !(bytes > 0)      ? 0
                        : bytes >= 9.2e18 ? INT64_MAX
                                          : static_cast<int64_t>(bytes);

    s.keepMode = firstUpper(list, "Keep mode");
    if (s.keepMode != 'B' && s.keepMode != 'F' && s.keepMode != 'L' && s.keepMode != 'R') {
        s.keepMode = 'B';
        configSet(list, "Keep mode", "B");
    }
    s.keepProportion = static_cast<float>(leadingDouble(valueOf(list, "Keep proportion")) * 0.01);
    std::string store = valueOf(list, "Removed results store");
    s.removedStore = equalNoCase(store, "none") ? std::string() : store;
}

// Older files counted the sample download in days; 3 days meant "daily".
void migrateDayCount(ConfigList& list) {
    if (!configHas(list, kDaySampleLabel)) return;
    int days = wholeNumber(list, "Download sample");
    if (days == 3) days = 1;
    // In hours the count must still fit the 32-bit setting.
    configSetInt(list, kHourSampleLabel,
                 std::clamp<long long>(static_cast<long long>(days) * 24, INT32_MIN, INT32_MAX));
    configDelete(list, kDaySampleLabel);
}

void dropOldSampleUrl(ConfigList& list) {
    configDelete(list, "Sample file URL");
}

// Every entry of a complete file, in the order a fresh file shows them: the
// label, the default (or the function that makes it), the label older
// versions used (renamed in place), and a migration that runs first.
struct ConfigRow {
    const char* label;
    const char* value;
    std::string (*valueFn)() = nullptr;
    const char* formerLabel = nullptr;
    void (*migrate)(ConfigList&) = nullptr;
};

const ConfigRow kConfigRows[] = {
    {"Resolution (XxY or 'auto')", "auto", nullptr, "Resolution"},
    {"Priority for background running ([N]ormal, [L]ow, [B]ackground)", "L"},
    {"Threads (number or 'auto')", "auto", nullptr, "Threads"},
    {"Auto-send results ([Y]es, [N]o)", "Y"},
    {"Results upload method ('FTP' or 'HTTP')", "HTTP"},
    {"Use proxy server for HTTP downloads (server,port or 'no')", "no"},
    {"Auto-save interval (seconds; 0 for no save)", "240"},
    {"Update lattice files from web every N hours (0=don't)", "12"},
    {kHourSampleLabel, "24", nullptr, nullptr, migrateDayCount},
    {"Sample file behaviour - use [L]atest only, or [A]ccumulate", "L"},
    {"Sample file URL (.bin allowed)", nullptr, defaultSampleUrl, nullptr, dropOldSampleUrl},
    {"Results file maximum size before pruning (MB, 0 to disable)", "50"},
    {"Keep mode ([B]est results, [F]irst, [L]atest or [R]andom)", "B"},
    {"Keep proportion (%)", "50"},
    {"Removed results store (or 'none')", "results_removed.dat"},
    {"Sleep on battery power", "Y"},
    {"CPU throttle (%)", "100"},
    {"Preferred lattices (comma-separated list or 'none')", "none"},
    {"TrialType ratios", nullptr, trialRatiosText},
    {"Particles per extra thread (limits threading overhead)", "100"},
    {"Rechecks for best-so-far results (min. 5)", "5"},
    // The distribution's FTP client reads the script from its input.
    {"FTP command call", "ftp < script.ftp"},
    {"Use passive (PASV) mode for FTP transfers", "N"},
    {"Use old FTP calling method (as pre-v4.34; can hang, but more compatible with ZoneAlarm)",
     "N"},
};

}  // namespace

ConfigList configParse(std::string_view text) {
    ConfigList list;
    listInit(list);
    size_t pos = 0;
    while (pos < text.size()) {
        size_t end = text.find_first_of(std::string_view("\r\n\0", 3), pos);
        if (end == std::string_view::npos) end = text.size();
        std::string_view line = text.substr(pos, end - pos);
        pos = end;
        if (pos < text.size()) {
            // CR LF is one line end; every other CR, LF or NUL ends a line alone.
            pos += (text[pos] == '\r' && pos + 1 < text.size() && text[pos + 1] == '\n') ? 2 : 1;
        }
        size_t colon = line.find(':');
        if (colon == std::string_view::npos) continue;
        listAppend(list, ConfigEntry{trimBlanks(line.substr(0, colon)),
                                     trimBlanks(line.substr(colon + 1))});
    }
    return list;
}

ConfigList configLoad(const std::string& path, bool* unreadable) {
    if (unreadable) *unreadable = false;
    for (int attempt = 0; attempt < kReadAttempts; attempt++) {
        // A folder of that name will never become readable; waiting is pointless.
        if (isDirectory(path)) break;
        std::string text;
        ReadStatus status = readWholeFile(path, text, kMaxConfigBytes);
        if (status == ReadStatus::Missing) break;
        if (status == ReadStatus::Ok) {
            ConfigList list = configParse(text);
            if (list.count() > 0) return list;
        } else if (attempt + 1 >= kUnreadableAttempts) {
            // There, but refused (permissions, not a plain file, far too big):
            // waiting longer will not change that.
            if (unreadable) *unreadable = true;
            break;
        }
        // Another program may hold the file while saving it; give it time.
        sleepMs(1u << attempt);
    }
    ConfigList empty;
    listInit(empty);
    return empty;
}

const std::string* configGet(const ConfigList& list, std::string_view shortLabel) {
    int i = findByPrefix(list, shortLabel);
    return i < 0 ? nullptr : &list[static_cast<size_t>(i)].value;
}

void configSet(ConfigList& list, std::string_view shortLabel, std::string_view value) {
    int i = findByPrefix(list, shortLabel);
    if (i < 0) {
        listAppend(list, ConfigEntry{std::string(shortLabel), std::string(value)});
    } else {
        list[static_cast<size_t>(i)].value = value;
    }
}

void configSetInt(ConfigList& list, std::string_view shortLabel, long long number) {
    configSet(list, shortLabel, std::to_string(number));
}

void configDefault(ConfigList& list, std::string_view fullLabel, std::string_view value) {
    if (findExact(list, fullLabel) < 0) {
        listAppend(list, ConfigEntry{std::string(fullLabel), std::string(value)});
    }
}

void configRename(ConfigList& list, std::string_view oldLabel, std::string_view newLabel) {
    int i = findExact(list, oldLabel);
    if (i >= 0) list[static_cast<size_t>(i)].label = newLabel;
}

void configDelete(ConfigList& list, std::string_view label) {
    int i = findExact(list, label);
    if (i >= 0) listRemoveAt(list, static_cast<uint32_t>(i));
}

bool configHas(const ConfigList& list, std::string_view label) {
    return findExact(list, label) >= 0;
}

std::string configText(const ConfigList& list) {
    std::string out;
    for (const ConfigEntry& e : list) out += e.label + ": " + e.value + "\n";
    return out;
}

bool configWrite(const ConfigList& list, const std::string& path) {
    return writeFileAtomic(path, configText(list));
}

void configMigrate(ConfigList& list) {
    for (const ConfigRow& row : kConfigRows) {
        if (row.migrate) row.migrate(list);
        if (row.formerLabel) configRename(list, row.formerLabel, row.label);
        configDefault(list, row.label, row.value ? std::string(row.value) : row.valueFn());
    }
}

ConfigReadOutcome configRead(const std::string& path) {
    bool unreadable = false;
    ConfigList list = configLoad(path, &unreadable);
    configMigrate(list);
    applySettings(list);
    // A file we cannot read holds the user's settings all the same: writing
    // defaults over it would lose them.
    if (unreadable) return ConfigReadOutcome::Unreadable;
    return configWrite(list, path) ? ConfigReadOutcome::Saved : ConfigReadOutcome::NotSaved;
}

void reportConfigProblem(ConfigReadOutcome outcome, const std::string& path) {
    if (outcome == ConfigReadOutcome::NotSaved) {
        report("[WARNING] Could not write '" + path + "': the settings are used but not saved");
    } else if (outcome == ConfigReadOutcome::Unreadable) {
        report("[WARNING] Could not read '" + path +
               "': running with default settings; the file is left as it is");
    }
}
