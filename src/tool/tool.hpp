// Command groups of pelto-tool. Each group gets the words after its name and
// returns the process exit status.
#pragma once

#include <string>
#include <vector>

#include "beamline/build/setup.hpp"
#include "run/run.hpp"

using ToolArgs = std::vector<std::string>;

inline constexpr int kToolOk = 0;
inline constexpr int kToolError = 1;  // also what a fatal message ends with
inline constexpr int kToolRejected = 2;

// pelto-tool lattice print FILE [--genome "TEXT"] [--level N] [--coords] [--params]
int runLatticeTool(const ToolArgs& args);
extern const char* const kLatticeToolUsage;

// pelto-tool results check FILE | results convert IN OUT
//            | results plot FILE --lattice NAME OUT.png [--csv OUT.csv]
int runResultsTool(const ToolArgs& args);
extern const char* const kResultsToolUsage;

// pelto-tool run FILE [--genome "TEXT"] [--level N] [--seed S] [--threads N] [--dump OUT.csv]
//                   [--envelope OUT.csv] [--every LENGTH] [--plot OUT.png]
//                   [-param:NAME=VALUE ...]
int runRunTool(const ToolArgs& args);
extern const char* const kRunToolUsage;

// pelto-tool optimise FILE --runs N [--seed S] [--threads N] [--plot OUT.png]
int runOptimiseTool(const ToolArgs& args);
extern const char* const kOptimiseToolUsage;

// pelto-tool status [FOLDER]
int runStatusTool(const ToolArgs& args);
extern const char* const kStatusToolUsage;

// Shared by the commands that build and track runs.
// The whole number after the option at args[i] (i moves onto it), within
// lo..hi; otherwise says what the option takes and returns false.
bool optionNumber(const ToolArgs& args, size_t& i, long long lo, long long hi, long long& value);
// The tracking settings the client would use: the configuration's (read
// here), unless the command line gives the thread count.
RunSettings toolRunSettings(int threads);
// A run of a lattice text with the simulation settings every run starts from.
SetupRequest runRequest(const std::string& latticeName, std::string latticeText);

// "lattices/alpha.txt" is the lattice alpha.
std::string latticeNameOf(const std::string& path);

// Inputs named on the command line; each says what is wrong and returns
// false when it cannot be used.
bool readToolLattice(const std::string& path, std::string& text);
bool checkPlainFile(const std::string& path);

// Pictures: pelto-tool writes CSV, scripts/pelto-plot draws it.
// Output names stay inside this folder, as every name from outside does;
// says so and returns false otherwise.
bool checkOutputName(const std::string& path, const char* what);
// The data file of a picture: "progress.png" -> "progress.csv".
std::string csvBeside(const std::string& picture);
// Writes a whole file (through a temporary file); says why not on failure.
bool writeToolFile(const std::string& path, const std::string& contents);
// Runs pelto-plot KIND CSV PICTURE; says what went wrong when it cannot.
bool drawPlot(const char* kind, const std::string& csv, const std::string& picture);

// One run of an optimisation as the progress picture shows it.
struct ProgressPoint {
    int run = 0;  // from 1
    std::string trialType;
    double score = 0;
    double best = 0;  // best so far, this run included
};
// "run,trial_type,score,best" and one line per run.
std::string progressCsv(const std::vector<ProgressPoint>& points);
// Writes the CSV beside the picture and draws it.
bool writeProgressPlot(const std::vector<ProgressPoint>& points, const std::string& picture);

// Messages of the library go to standard error and never wait for an answer.
void installToolMessageSink();
