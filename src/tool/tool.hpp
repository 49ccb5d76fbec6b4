// Command groups of pelto-tool. Each group gets the words after its name and
// returns the process exit status.
#pragma once

#include <string>
#include <vector>

using ToolArgs = std::vector<std::string>;

inline constexpr int kToolOk = 0;
inline constexpr int kToolError = 1;  // also what a fatal message ends with
inline constexpr int kToolRejected = 2;

// pelto-tool lattice print FILE [--genome "TEXT"] [--level N] [--coords] [--params]
int runLatticeTool(const ToolArgs& args);
extern const char* const kLatticeToolUsage;

// pelto-tool results check FILE | results convert IN OUT
int runResultsTool(const ToolArgs& args);
extern const char* const kResultsToolUsage;

// pelto-tool run FILE [--genome "TEXT"] [--level N] [--seed S] [--threads N] [--dump OUT.csv]
//                   [-param:NAME=VALUE ...]
int runRunTool(const ToolArgs& args);
extern const char* const kRunToolUsage;

// "lattices/alpha.txt" is the lattice alpha.
std::string latticeNameOf(const std::string& path);

// Messages of the library go to standard error and never wait for an answer.
void installToolMessageSink();
