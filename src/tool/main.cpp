// pelto-tool: dispatches "pelto-tool GROUP ..." to the group's handler.
#include <cstdio>
#include <cstring>

#include "tool/tool.hpp"

namespace {

struct ToolGroup {
    const char* name;
    int (*run)(const ToolArgs& args);
    const char* const* usage;
};

// One row per command group.
const ToolGroup kGroups[] = {
    {"lattice", runLatticeTool, &kLatticeToolUsage},     // print the beamline of a lattice file
    {"run", runRunTool, &kRunToolUsage},                 // build and track a lattice file
    {"optimise", runOptimiseTool, &kOptimiseToolUsage},  // optimiser runs stored in results.dat
    {"results", runResultsTool, &kResultsToolUsage},     // check and convert results files
    {"status", runStatusTool, &kStatusToolUsage},        // what the client in a folder has done
};

int usage() {
    std::fputs("Usage:\n", stderr);
    for (const ToolGroup& group : kGroups) std::fputs(*group.usage, stderr);
    return kToolError;
}

}  // namespace

int main(int argc, char** argv) {
    installToolMessageSink();
    if (argc < 2) return usage();
    for (const ToolGroup& group : kGroups) {
        if (std::strcmp(argv[1], group.name) == 0)
            return group.run(ToolArgs(argv + 2, argv + argc));
    }
    return usage();
}
