// pelto-tool optimise: a lattice author's optimisation. Each run is proposed
// by the client's optimiser from the results so far, built and tracked as
// "pelto-tool run" does, and stored in results.dat with its checksum, as the
// client stores results (without the quarantine's reruns).
#include <cstdio>

#include "app/settings.hpp"
#include "common/random.hpp"
#include "common/report.hpp"
#include "common/version.hpp"
#include "lattice/lattice_parameters.hpp"
#include "lattice/parser.hpp"
#include "platform/clock.hpp"
#include "results/checksum.hpp"
#include "results/optimise_runs.hpp"
#include "results/score_line.hpp"
#include "results/text_results.hpp"
#include "run/run.hpp"
#include "store/latticedir.hpp"
#include "tool/tool.hpp"

const char* const kOptimiseToolUsage =
    "  pelto-tool optimise FILE --runs N [--seed S] [--threads N] [--plot OUT.png]\n"
    "                                     N optimiser runs of a lattice of this folder,\n"
    "                                     stored in results.dat; --plot draws the scores\n";

namespace {

constexpr const char* kResultsDatabase = "results.dat";

struct OptimiseOptions {
    std::string file;
    int runs = 0;
    std::optional<uint32_t> seed;
    int threads = 0;   // 0: the configured count
    std::string plot;  // the progress picture; empty: none
};

bool parseOptions(const ToolArgs& args, OptimiseOptions& o) {
    for (size_t i = 0; i < args.size(); i++) {
        const std::string& a = args[i];
        bool hasValue = i + 1 < args.size();
        long long n = 0;
        if (a == "--runs" && hasValue) {
            if (!optionNumber(args, i, 1, 1000000, n)) return false;
            o.runs = static_cast<int>(n);
        } else if (a == "--seed" && hasValue) {
            if (!optionNumber(args, i, 0, UINT32_MAX, n)) return false;
            o.seed = static_cast<uint32_t>(n);
        } else if (a == "--threads" && hasValue) {
            if (!optionNumber(args, i, 1, 1024, n)) return false;
            o.threads = static_cast<int>(n);
        } else if (a == "--plot" && hasValue) {
            o.plot = args[++i];
            if (!checkOutputName(o.plot, "plot")) return false;
        } else if (o.file.empty() && !a.empty() && a[0] != '-') {
            o.file = a;
        } else {
            std::fprintf(stderr, "Unknown option '%s'\n", a.c_str());
            return false;
        }
    }
    if (o.file.empty() || o.runs == 0) {
        std::fprintf(stderr, o.file.empty() ? "No lattice file given\n" : "No --runs given\n");
        return false;
    }
    return true;
}

// Stored results name their lattice, and their checksums cover the lattice
// folder's file of that name: only that file can be optimised.
bool isFolderLattice(const std::string& name, const std::string& text) {
    std::string own;
    return latticepresent(name) && readLatticeFile(latticeFilePath(name), own) == ReadStatus::Ok &&
           own == text;
}

// The lattice's best result, as the optimiser counts best, with its genome in
// the parameters' own units: what the author wants to read at the end.
void printBest(const std::string& name, const std::string& text, const ResultsList& results) {
    const ResultRecord* best = nullptr;
    for (const ResultRecord& r : results) {
        if (!latticeMatches(r.scoreLine, name)) continue;
        if (!best || r.score > best->score) best = &r;
    }
    if (!best) return;
    Genome genome = genomeFromText(best->genomeLine, false);
    std::optional<std::vector<LatticeParameter>> parameters = latticeParameters(text, name, genome);
    std::string values = parameters ? genomeInUnits(genome, *parameters) : "";
    // A lattice whose code no longer declares the genome's parameters still
    // shows what was stored.
    if (values.empty()) values = genomeToText(genome);
    std::printf("Best %.6f: %s\n", best->score, values.c_str());
}

// Builds and tracks one run as the client would; none when it cannot.
std::optional<RunScore> trackRun(const std::string& name, const std::string& text, uint32_t seed,
                                 const RunSettings& settings,
                                 const std::shared_ptr<LoadedDataFiles>& files, Genome& genome) {
    SetupRequest request = runRequest(name, text);
    request.seed = seed;
    request.dataFiles = files;
    request.verbose = false;
    RunOutcome outcome = runLattice(request, genome, settings);
    if (!outcome.simulation.root) {
        report("Lattice '" + name + "' could not be interpreted; no run was built");
        return std::nullopt;
    }
    return RunScore{outcome.score, outcome.simulation.work};
}

int optimise(const OptimiseOptions& o) {
    std::string name = latticeNameOf(o.file);
    std::string text;
    if (!readToolLattice(o.file, text)) return kToolError;
    if (!isFolderLattice(name, text)) {
        std::fprintf(stderr, "'%s' is not the lattice file '%s' of this folder\n", o.file.c_str(),
                     latticeFilePath(name).c_str());
        return kToolError;
    }
    RunSettings settings = toolRunSettings(o.threads);  // reads config.txt
    // Every run reads the same data files: they are loaded once.
    auto files = std::make_shared<LoadedDataFiles>();
    uint32_t seed = o.seed ? *o.seed : tickCountMs();
    seedRandom(seed);

    OptimiseRequest request{name,         o.runs,        optimiserSettings(), kResultsDatabase,
                            kVersionText, recordChecksum};
    ResultsList results = loadResults(kResultsDatabase, std::nullopt);
    // Run k tracks with seed + k, so a series repeats from its seed.
    ScoreRun score = [&](Genome& genome, int run) {
        return trackRun(name, text, seed + static_cast<uint32_t>(run), settings, files, genome);
    };
    std::printf("RUN TRIALTYPE SCORE BEST-SO-FAR\n");
    std::vector<ProgressPoint> progress;
    int done = optimiseRuns(request, results, score, [&](const OptimiseStep& step) {
        std::printf("%d %s %.6f %.6f\n", step.run, trialModeName(step.mode), step.score, step.best);
        std::fflush(stdout);
        progress.push_back({step.run, trialModeName(step.mode), step.score, step.best});
    });
    printBest(name, text, results);
    // The runs made are drawn even when the series stopped early.
    if (!o.plot.empty() && !progress.empty() && !writeProgressPlot(progress, o.plot)) {
        return kToolError;
    }
    return done == o.runs ? kToolOk : kToolError;
}

}  // namespace

int runOptimiseTool(const ToolArgs& args) {
    OptimiseOptions options;
    if (!parseOptions(args, options)) {
        std::fputs("Usage:\n", stderr);
        std::fputs(kOptimiseToolUsage, stderr);
        return kToolError;
    }
    return optimise(options);
}
