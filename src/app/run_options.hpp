// Run options from the command line, process-wide. The display mode itself
// lives with the message routine, which is the only thing that depends on it.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

#include "common/version.hpp"

struct RunOptions {
    bool screensaver = false;
    bool sendAndQuit = false;
    bool queueOnly = false;
    int32_t runsLeft = -1;  // -1: without end
    bool recheckLast = false;
    bool haltAfterInit = false;
    bool viewOnly = false;
    bool outerLoopDebug = false;
    bool rfSyncLog = false;
    bool loadBalancingLog = false;
    std::FILE* loadBalancingFile = nullptr;
    bool parseReport = false;  // the report's file name is latticeParseReport
    // Whether results of this process carry a valid checksum; debugging
    // switches and overrides turn it off so such results never count.
    bool resultChecksum = true;
    std::string autoSaveFileName = "auto.sav";
    std::string queueFileName = "queue.txt";
    bool autoFrameRate = true;
    bool autoView = true;
    // The two as "display.dat" had them, and whether a switch turned them
    // off for this process only (they are stored back as the file had them).
    bool storedAutoFrameRate = true, storedAutoView = true;
    bool autoFrameRateOffBySwitch = false, autoViewOffBySwitch = false;
};

extern RunOptions runOptions;
