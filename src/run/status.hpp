// The client's status as the user asks for it ("pelto -status",
// "pelto-tool status"): runs done, how the last one ended, the best score of
// each lattice, the recheck queue, what waits to be sent and the last send,
// and the auto-saved run. Read from the program folder's files only, so it
// can be asked while a client is running, and never writes anything.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "results/quarantine.hpp"
#include "run/client_state.hpp"

struct StatusFiles {
    std::string state = kStateFile;
    std::string database = "results.dat";
    std::string outgoing = "results.txt";
    // One queue and one auto-save file per display mode.
    std::vector<std::string> queues = {"queue.txt", "queuecli.txt", "queuegfx.txt"};
    std::vector<std::string> autoSaves = {"auto.sav", "autocli.sav", "autogfx.sav"};
    int32_t requiredRuns = kMinRequiredRuns;
};

std::string statusText(const StatusFiles& files = StatusFiles{});
