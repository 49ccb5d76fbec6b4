// The switch scan: applies every command-line switch to the run options, in a
// fixed order. One-shot switches (help, version, configuration sets and the
// converters) do their work and end the process.
#pragma once

#include <string>

void scanSwitches(const std::string& commandLine);

extern const char* const kHelpText;

// Set once start-up knows no window can be opened: graphics mode then runs as
// console mode, also after later re-scans.
extern bool graphicsUnavailable;
