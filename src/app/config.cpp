#include "app/config.hpp"

#include <algorithm>
#include <cstdio>
#include <optional>
#include <vector>

#include "app/settings.hpp"
#include "common/report.hpp"
#include "common/text.hpp"
#include "model/genome.hpp"
#include "net/host_port.hpp"
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
constexpr const char* kWebServerKey = "Project web server";
constexpr size_t kMaxShownValue = 80;

// Problems with values, kept until the display mode is known: configRead
// runs before the switches choose where messages go.
std::vector<std::string>& pendingNotices() {
    static std::vector<std::string> notices;
    return notices;
}

// A value as it may be shown: control characters would act on the console.
std::string shownValue(const std::string& value) {
    std::string out = value.substr(0, kMaxShownValue);
    for (char& c : out) {
        if (static_cast<unsigned char>(c) < 32 || c == 127) c = '?';
    }
    return value.size() > kMaxShownValue ? out + "..." : out;
}

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

int wholeNumber(const std::string& text) {
    return static_cast<int>(std::clamp<long long>(leadingInt(text), INT32_MIN, INT32_MAX));
}

bool startsWithYes(const std::string& text) {
    return !text.empty() && lowerAscii(text[0]) == 'y';
}

char firstUpper(const std::string& text) {
    return text.empty() ? '\0' : upperAscii(text[0]);
}

// Applying an entry: the value goes into its setting; the result is the text
// that replaces the value in the file when it had to be corrected, or none.
using ApplyFn = std::optional<std::string> (*)(const std::string& value, Settings& s);
using Fix = std::optional<std::string>;

// The plain spellings, for the settings that take the value as it is.
template <int Settings::*field>
Fix number(const std::string& value, Settings& s) {
    s.*field = wholeNumber(value);
    return {};
}
template <bool Settings::*field>
Fix yesNo(const std::string& value, Settings& s) {
    s.*field = startsWithYes(value);
    return {};
}
template <char Settings::*field>
Fix letter(const std::string& value, Settings& s) {
    s.*field = firstUpper(value);
    return {};
}
// Text, cut to the length the setting has always held.
template <std::string Settings::*field, size_t maxLength>
Fix text(const std::string& value, Settings& s) {
    s.*field = value.substr(0, maxLength);
    return {};
}

Fix resolution(const std::string& value, Settings& s) {
    int x = 0, y = 0;
    if (std::sscanf(value.c_str(), "%dx%d", &x, &y) == 2) {
        s.resolutionX = x;
        s.resolutionY = y;
    }
    return {};
}

Fix priority(const std::string& value, Settings& s) {
    switch (value.empty() ? '\0' : lowerAscii(value[0])) {
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
    return {};
}

// Every download, and the sample URL of a fresh file, go to this server. The
// file is edited by hand or copied from anywhere: a value that is not a host
// name or address with an optional port would end up inside URLs, so it is
// refused and the project's own server stays.
Fix webServer(const std::string& value, Settings& s) {
    if (parseHostPort(value)) {
        s.webServer = value;
        return {};
    }
    pendingNotices().push_back(
        format("[WARNING] '%s' is not a web server address (a host name or address, optionally "
               "followed by ':' and a port); using %s",
               shownValue(value).c_str(), kProjectWebServer));
    s.webServer = kProjectWebServer;
    return std::string(kProjectWebServer);
}

// The server a fresh file's sample URL names: the file's own entry when it
// is usable, so that one entry points a new client at a project.
std::string webServerOf(const ConfigList& list) {
    const std::string* value = configGet(list, kWebServerKey);
    return value && parseHostPort(*value) ? *value : std::string(kProjectWebServer);
}

std::string sampleUrlDefault(const ConfigList& list) {
    return defaultSampleUrl(webServerOf(list));
}

std::string trialRatiosDefault(const ConfigList&) {
    return trialRatiosText();
}

Fix uploadMethod(const std::string& value, Settings& s) {
    s.uploadByHttp = equalNoCase(value, "HTTP");
    return {};
}

Fix proxy(const std::string& value, Settings& s) {
    size_t comma = value.find(',');
    if (comma != std::string::npos) {
        s.proxyHost = value.substr(0, comma);
        s.proxyPort = static_cast<int>(static_cast<uint16_t>(leadingInt(value.substr(comma + 1))));
    } else {
        s.proxyHost.clear();
        s.proxyPort = 0;
    }
    return {};
}

// An interval of exactly 0 turns saving off until the program restarts.
Fix autoSave(const std::string& value, Settings& s) {
    s.autoSaveInterval = leadingDouble(value);
    if (s.autoSaveInterval == 0) s.autoSaveOff = true;
    return {};
}

// Downloads more often than every six hours would burden the server.
Fix sampleHours(const std::string& value, Settings& s) {
    s.sampleDownloadHours = wholeNumber(value);
    if (s.sampleDownloadHours < 1 || s.sampleDownloadHours > 5) return {};
    s.sampleDownloadHours = 6;
    return "6";
}

Fix resultsMaxSize(const std::string& value, Settings& s) {
    double bytes = leadingDouble(value) * 1048576.0;
    // Held in 64 bits: a limit of 2048 MB or more must not wrap to a negative
    // size that would prune after every run. Negative limits never prune.
    s.resultsMaxBytes = !(bytes > 0)      ? 0
                        : bytes >= 9.2e18 ? INT64_MAX
                                          : static_cast<int64_t>(bytes);
    return {};
}

Fix keepMode(const std::string& value, Settings& s) {
    s.keepMode = firstUpper(value);
    if (s.keepMode == 'B' || s.keepMode == 'F' || s.keepMode == 'L' || s.keepMode == 'R') return {};
    s.keepMode = 'B';
    return "B";
}

Fix keepProportion(const std::string& value, Settings& s) {
    s.keepProportion = static_cast<float>(leadingDouble(value) * 0.01);
    return {};
}

Fix removedStore(const std::string& value, Settings& s) {
    s.removedStore = equalNoCase(value, "none") ? std::string() : value;
    return {};
}

// Always written back, so the file shows the throttle in force.
Fix cpuThrottle(const std::string& value, Settings& s) {
    s.cpuThrottle = std::clamp(wholeNumber(value), 1, 100);
    return std::to_string(s.cpuThrottle);
}

// Only the trial types named change; unknown names are ignored.
Fix trialRatios(const std::string& value, Settings& s) {
    Genome pairs = genomeFromText(value, false);
    for (int t = 0; t < kTrialTypeCount; t++) {
        for (int i = 0; i < pairs.count(); i++) {
            if (equalNoCase(pairs.names[static_cast<size_t>(i)],
                            kTrialTypes[static_cast<size_t>(t)].name)) {
                s.trialRatios[t] = std::clamp(pairs.levels[static_cast<size_t>(i)], 0, 999);
            }
        }
    }
    return {};
}

Fix particlesPerThread(const std::string& value, Settings& s) {
    s.particlesPerExtraThread = std::max(1, wholeNumber(value));
    return {};
}

// Fewer rechecks would let one faulty machine's result stand as best.
Fix rechecks(const std::string& value, Settings& s) {
    s.requiredRuns = wholeNumber(value);
    if (s.requiredRuns >= 5) return {};
    s.requiredRuns = 5;
    return "5";
}

// Older files counted the sample download in days; 3 days meant "daily".
void migrateDayCount(ConfigList& list) {
    if (!configHas(list, kDaySampleLabel)) return;
    int days = wholeNumber(valueOf(list, "Download sample"));
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
// label; the key, the start of the label by which the entry is found (users
// edit the rest); the default (or the function that makes it); how the value
// becomes its setting; the label older versions used (renamed in place); and
// a migration that runs first.
struct ConfigRow {
    const char* label;
    const char* key;
    const char* value;
    std::string (*valueFn)(const ConfigList&);
    ApplyFn apply;
    const char* formerLabel = nullptr;
    void (*migrate)(ConfigList&) = nullptr;
};

using S = Settings;
// clang-format off
constexpr ConfigRow kConfigRows[] = {
    {"Resolution (XxY or 'auto')", "Resolution",
     "auto", nullptr, resolution, "Resolution"},
    {"Priority for background running ([N]ormal, [L]ow, [B]ackground)", "Priority",
     "L", nullptr, priority},
    {"Threads (number or 'auto')", "Threads",
     "auto", nullptr, number<&S::threadCount>, "Threads"},
    {"Auto-send results ([Y]es, [N]o)", "Auto-send",
     "Y", nullptr, yesNo<&S::autoSend>},
    {"Results upload method ('FTP' or 'HTTP')", "Results upload method",
     "HTTP", nullptr, uploadMethod},
    {"Project web server (host name or address, optional port)", kWebServerKey,
     kProjectWebServer, nullptr, webServer},
    {"Use proxy server for HTTP downloads (server,port or 'no')", "Use proxy server",
     "no", nullptr, proxy},
    {"Auto-save interval (seconds; 0 for no save)", "Auto-save",
     "240", nullptr, autoSave},
    {"Update lattice files from web every N hours (0=don't)", "Update lattice",
     "12", nullptr, number<&S::latticeUpdateHours>},
    {kHourSampleLabel, "Download sample",
     "24", nullptr, sampleHours, nullptr, migrateDayCount},
    {"Sample file behaviour - use [L]atest only, or [A]ccumulate", "Sample file behaviour",
     "L", nullptr, letter<&S::sampleBehaviour>},
    {"Sample file URL (.bin allowed)", "Sample file URL",
     nullptr, sampleUrlDefault, text<&S::sampleUrl, std::string::npos>, nullptr, dropOldSampleUrl},
    {"Results file maximum size before pruning (MB, 0 to disable)", "Results file maximum size",
     "50", nullptr, resultsMaxSize},
    {"Keep mode ([B]est results, [F]irst, [L]atest or [R]andom)", "Keep mode",
     "B", nullptr, keepMode},
    {"Keep proportion (%)", "Keep proportion",
     "50", nullptr, keepProportion},
    {"Removed results store (or 'none')", "Removed results store",
     "results_removed.dat", nullptr, removedStore},
    {"Sleep on battery power", "Sleep on battery",
     "Y", nullptr, yesNo<&S::sleepOnBattery>},
    {"CPU throttle (%)", "CPU throttle",
     "100", nullptr, cpuThrottle},
    {"Preferred lattices (comma-separated list or 'none')", "Preferred lattices",
     "none", nullptr, text<&S::preferredLattices, 499>},
    {"TrialType ratios", "TrialType ratios",
     nullptr, trialRatiosDefault, trialRatios},
    {"Particles per extra thread (limits threading overhead)", "Particles per extra thread",
     "100", nullptr, particlesPerThread},
    {"Rechecks for best-so-far results (min. 5)", "Rechecks",
     "5", nullptr, rechecks},
    // The distribution's FTP client reads the script from its input.
    {"FTP command call", "FTP command",
     "ftp < script.ftp", nullptr, text<&S::ftpCommand, 999>},
    {"Use passive (PASV) mode for FTP transfers", "Use passive",
     "N", nullptr, yesNo<&S::ftpPassive>},
    {"Use old FTP calling method (as pre-v4.34; can hang, but more compatible with ZoneAlarm)",
     "Use old FTP calling", "N", nullptr, yesNo<&S::ftpOldCalling>},
};
// clang-format on

constexpr char lowerLetter(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}
// Entries are found ignoring case, so the check ignores it too.
constexpr bool startsWith(const char* text, const char* start) {
    while (*start && lowerLetter(*text) == lowerLetter(*start)) text++, start++;
    return *start == '\0';
}

// A key must find its own entry and no other row's: each key starts its
// label, and no key starts another. Then every entry is read by one row at
// most, and applying the rows in any order gives the same file.
constexpr bool keysFindTheirOwnEntries() {
    for (const ConfigRow& row : kConfigRows) {
        if (!startsWith(row.label, row.key)) return false;
        for (const ConfigRow& other : kConfigRows) {
            if (&other != &row && startsWith(other.key, row.key)) return false;
        }
    }
    return true;
}
static_assert(keysFindTheirOwnEntries(), "a configuration key finds another row's entry");

// A line is split at its first colon: a colon in a label would cut the label
// short and make the rest of it part of the value.
constexpr bool labelsHoldNoColon() {
    for (const ConfigRow& row : kConfigRows) {
        for (const char* c = row.label; *c; c++) {
            if (*c == ':') return false;
        }
    }
    return true;
}
static_assert(labelsHoldNoColon(), "a configuration label holds a colon");

// Turns every entry into its setting; corrected values go back into the list.
void applySettings(ConfigList& list) {
    for (const ConfigRow& row : kConfigRows) {
        const std::string* value = configGet(list, row.key);
        if (Fix fix = row.apply(value ? *value : std::string(), settings)) {
            configSet(list, row.key, *fix);
        }
    }
}

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
        configDefault(list, row.label, row.value ? std::string(row.value) : row.valueFn(list));
    }
}

ConfigReadOutcome configRead(const std::string& path) {
    pendingNotices().clear();
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
    std::vector<std::string> notices;
    notices.swap(pendingNotices());
    for (const std::string& notice : notices) report(notice);
    if (outcome == ConfigReadOutcome::NotSaved) {
        report("[WARNING] Could not write '" + path + "': the settings are used but not saved");
    } else if (outcome == ConfigReadOutcome::Unreadable) {
        report("[WARNING] Could not read '" + path +
               "': running with default settings; the file is left as it is");
    }
}
