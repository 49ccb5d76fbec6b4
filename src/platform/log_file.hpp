// The program's own log, "pelto.log" in the program folder: every message,
// every send and download, one timestamped line each, in every display mode.
// A background run shows nothing, so this file is the only trace it leaves.
// The file is kept small by rotation: once it would pass its size limit it
// becomes "pelto.log.1" (the older one "pelto.log.2") and a new one starts.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

inline constexpr const char* kLogFile = "pelto.log";

struct LogFileSettings {
    std::string path = kLogFile;
    int64_t maxBytes = int64_t{1} << 20;  // one file; with its old ones at most three times this
    int keep = 2;                         // old files kept: path.1 .. path.keep
};

// Starts logging to the file; until then (and in pelto-tool) nothing is logged.
void logFileOpen(const LogFileSettings& settings = LogFileSettings{});
void logFileClose();
bool logFileActive();

// One timestamped line per line of text; control characters become blanks,
// empty lines are left out and a very long line is cut.
void logLine(std::string_view text);
