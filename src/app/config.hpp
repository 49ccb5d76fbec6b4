// "config.txt": the human-edited settings file. It is read at start-up and
// whenever it changes on disk, completed with every missing entry, and written
// back so that the user always sees every setting with its explanation.
#pragma once

#include <string>
#include <string_view>

#include "common/list.hpp"

inline constexpr const char* kConfigFile = "config.txt";

struct ConfigEntry {
    std::string label;
    std::string value;
};
using ConfigList = List<ConfigEntry>;

// Parses the text of a configuration file into entries; lines without a colon
// are dropped.
ConfigList configParse(std::string_view text);
// Reads the file with retries; a missing file gives an empty list at once.
// A file that is there but cannot be read gives an empty list and sets
// *unreadable.
ConfigList configLoad(const std::string& path, bool* unreadable = nullptr);
// Searches from the last entry for the first label starting with `shortLabel`.
const std::string* configGet(const ConfigList& list, std::string_view shortLabel);
void configSet(ConfigList& list, std::string_view shortLabel, std::string_view value);
void configSetInt(ConfigList& list, std::string_view shortLabel, long long number);
void configDefault(ConfigList& list, std::string_view fullLabel, std::string_view value);
void configRename(ConfigList& list, std::string_view oldLabel, std::string_view newLabel);
void configDelete(ConfigList& list, std::string_view label);
bool configHas(const ConfigList& list, std::string_view label);
std::string configText(const ConfigList& list);
// Replaces the file atomically; false when it could not be written.
bool configWrite(const ConfigList& list, const std::string& path);

// Adds the entries older versions lacked or spelt differently; afterwards a
// list made from nothing holds every entry in table order.
void configMigrate(ConfigList& list);

enum class ConfigReadOutcome { Saved, NotSaved, Unreadable };

// The whole start-up reading: load, migrate, turn every entry into its
// process-wide setting (writing clamped values back), rewrite the file. A file
// that cannot be read is left alone and the defaults apply. The caller reports
// a problem once the display mode is known.
ConfigReadOutcome configRead(const std::string& path);
// Reports what the last configRead found: the file's state, and values it
// refused and replaced (each once).
void reportConfigProblem(ConfigReadOutcome outcome, const std::string& path);
