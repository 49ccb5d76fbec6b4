// pelto-tool status [FOLDER]: the same status "pelto -status" shows, for the
// program folder given (the current one by default).
#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include "app/config.hpp"
#include "platform/process.hpp"
#include "run/status.hpp"
#include "tool/tool.hpp"

const char* const kStatusToolUsage =
    "  pelto-tool status [FOLDER]     runs done, best scores, queue, sends, auto-save\n";

int runStatusTool(const ToolArgs& args) {
    if (args.size() > 1) {
        std::fputs(kStatusToolUsage, stderr);
        return kToolError;
    }
    if (!args.empty() && !setCurrentFolder(args[0])) {
        std::fprintf(stderr, "No such folder: '%s'\n", args[0].c_str());
        return kToolError;
    }
    StatusFiles files;
    // Read, not configRead: asking for the status must not rewrite config.txt.
    ConfigList config = configLoad(kConfigFile);
    if (const std::string* rechecks = configGet(config, "Rechecks")) {
        files.requiredRuns = std::max<int32_t>(
            kMinRequiredRuns, static_cast<int32_t>(std::strtol(rechecks->c_str(), nullptr, 10)));
    }
    std::fputs(statusText(files).c_str(), stdout);
    return kToolOk;
}
