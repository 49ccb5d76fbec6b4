// What the client remembers about itself between starts, for its status:
// how many runs it finished, how the last one ended, the last send and the
// run in progress. A small text file in the program folder, "key: value" per
// line, rewritten whole through a temporary file so that a crash leaves the
// old state or the new one, never half of either.
#pragma once

#include <cstdint>
#include <string>

inline constexpr const char* kStateFile = "pelto.state";

struct ClientState {
    int64_t runsDone = 0;
    std::string lastRun;      // the outcome line of the last finished run
    std::string lastRunTime;  // local "YYYY-MM-DD HH:MM:SS"
    std::string lastSend;     // how the last send ended
    std::string lastSendTime;
    std::string currentRun;  // lattice of the run being tracked; empty between runs
    std::string currentRunTime;
};

// A missing or unreadable file gives the empty state; unknown keys, overlong
// values and control characters are left out (the file may have been edited).
ClientState clientStateLoad(const std::string& path = kStateFile);
bool clientStateSave(const ClientState& state, const std::string& path = kStateFile);

// The steps of the cycle that change the state: each reads the file, changes
// its part and writes it back.
void clientStateRunStarted(const std::string& lattice, const std::string& path = kStateFile);
void clientStateRunFinished(const std::string& outcomeLine, const std::string& path = kStateFile);
void clientStateSent(const std::string& outcome, const std::string& path = kStateFile);
