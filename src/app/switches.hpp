// The command-line switches: one table row per switch, naming how it is
// found, its line in the help and what it does. The command line is read
// once at start-up into a CommandLine; applying the switches, also after
// every reread of the configuration (switches override it), works from that
// record and never searches the text again.
#pragma once

#include <array>
#include <optional>
#include <string>

inline constexpr int kSwitchCount = 29;

// What the command line holds, as read once.
struct CommandLine {
    std::string text;  // as given: the converters and the lattice build take their words from it
    // Per switch row: none when absent, else the text after the switch (the
    // argument of switches such as "-/123" and "-cfg:net").
    std::array<std::optional<std::string>, kSwitchCount> hits;
    std::optional<std::string> latticeWord;  // first word that is not a switch, as typed
    bool componentList = false;              // -l
    bool legacyComponentList = false;        // -l42
    bool componentListCoords = false;        // -L
    bool recheckForever = false;             // -R
    bool paramOverrides = false;             // -param: words override the lattice

    bool componentListAsked() const { return componentList || legacyComponentList; }
};

CommandLine readCommandLine(const std::string& text);

// Applies every switch found to the run options, in table order. One-shot
// switches (help, version, configuration sets and the converters) do their
// work and end the process.
void applySwitches(const CommandLine& line);
// Both steps at once, for a command line read only once anyway.
void scanSwitches(const std::string& text);

// The "?" listing.
std::string helpText();
// A row of the table, for checks that the help and the rows agree: the
// switch as typed after the hyphen, and whether the listing has a line for it.
struct SwitchName {
    const char* name;
    bool listed;
};
SwitchName switchName(int row);

// Set once start-up knows no window can be opened: graphics mode then runs as
// console mode, also after later re-scans.
extern bool graphicsUnavailable;
