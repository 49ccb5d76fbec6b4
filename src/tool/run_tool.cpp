// pelto-tool run: builds a run from a lattice file exactly as the client's
// main cycle does, tracks it to its end and prints the score and the final
// beam, so that lattice authors and tests can run one design by hand.
#include <cinttypes>
#include <cstdio>

#include "app/config.hpp"
#include "app/settings.hpp"
#include "app/sim_template.hpp"
#include "beamline/components/aperture.hpp"
#include "beamline/tracking/beam_summary.hpp"
#include "common/random.hpp"
#include "common/report.hpp"
#include "common/text.hpp"
#include "lattice/parser.hpp"
#include "platform/clock.hpp"
#include "platform/files.hpp"
#include "platform/process.hpp"
#include "results/score_line.hpp"
#include "run/run.hpp"
#include "tool/tool.hpp"

const char* const kRunToolUsage =
    "  pelto-tool run FILE [--genome \"TEXT\"] [--level N] [--seed S] [--threads N]\n"
    "                 [--dump OUT.csv] [-param:NAME=VALUE ...]\n"
    "                                     build and track a lattice file, print its score\n";

namespace {

struct RunToolOptions {
    std::string file;
    std::string genomeText;
    int level = -1;
    std::optional<uint32_t> seed;
    int threads = 0;  // 0: the configured count
    std::string dump;
    std::string commandLine;  // the -param: words
};

bool parseOptions(const ToolArgs& args, RunToolOptions& o) {
    for (size_t i = 0; i < args.size(); i++) {
        const std::string& a = args[i];
        bool hasValue = i + 1 < args.size();
        long long n = 0;
        if (a == "--genome" && hasValue) {
            o.genomeText = args[++i];
        } else if (a == "--level" && hasValue) {
            if (!optionNumber(args, i, 0, 999, n)) return false;
            o.level = static_cast<int>(n);
        } else if (a == "--seed" && hasValue) {
            if (!optionNumber(args, i, 0, UINT32_MAX, n)) return false;
            o.seed = static_cast<uint32_t>(n);
        } else if (a == "--threads" && hasValue) {
            if (!optionNumber(args, i, 1, 1024, n)) return false;
            o.threads = static_cast<int>(n);
        } else if (a == "--dump" && hasValue) {
            o.dump = args[++i];
        } else if (startsWithNoCase(a, "-param:")) {
            o.commandLine += " " + a;
        } else if (o.file.empty() && !a.empty() && a[0] != '-') {
            o.file = a;
        } else {
            std::fprintf(stderr, "Unknown option '%s'\n", a.c_str());
            return false;
        }
    }
    if (o.file.empty()) {
        std::fprintf(stderr, "No lattice file given\n");
        return false;
    }
    return true;
}

void printBeam(const Simulation& simulation, const Genome& genome) {
    for (const StateTotal& total : beamStateTotals(simulation.beam)) {
        std::printf("%s %" PRId64 " %.17g\n", stateLabel(total.state).c_str(), total.count,
                    total.weight);
    }
    std::printf("genome %s\n", genomeToText(genome).c_str());
}

bool writeDump(const std::string& path, const Simulation& simulation) {
    // Like every name from outside, the dump stays inside the program folder.
    if (!isSafeRelativePath(path)) {
        std::fprintf(stderr, "Refused dump file name '%s': give a path inside this folder\n",
                     path.c_str());
        return false;
    }
    if (!writeFileAtomic(path, beamDumpCsv(simulation.beam))) {
        std::fprintf(stderr, "Cannot write '%s'\n", path.c_str());
        return false;
    }
    return true;
}

int run(const RunToolOptions& o) {
    std::string text;
    ReadStatus status = readLatticeFile(o.file, text);
    if (status != ReadStatus::Ok) {
        std::fprintf(stderr, "Cannot read lattice file '%s'\n", o.file.c_str());
        return kToolError;
    }
    SetupRequest request = runRequest(latticeNameOf(o.file), std::move(text));
    request.commandLine = o.commandLine;
    request.seed = o.seed;
    RunSettings settings = toolRunSettings(o.threads);

    Genome genome = genomeFromText(o.genomeText, true);
    seedRandom(o.seed ? *o.seed : tickCountMs());
    if (o.level >= 0) {
        int level = o.level;
        setMissingLevelRule([level](std::string_view, const Genome&) { return level; });
    }
    RunOutcome outcome = runLattice(request, genome, settings);
    const Simulation& simulation = outcome.simulation;
    if (!simulation.root) {
        report("Lattice file '" + o.file + "' could not be interpreted; no run was built");
        return kToolError;
    }
    double seconds = outcome.trackingSeconds;
    std::printf("score %.*f\n", kProgramFormat.scoreDecimals, outcome.score);
    std::printf("work %.6g Mpts in %.3f s: %.3f Mpts/s on %d threads\n", simulation.work, seconds,
                seconds > 0 ? simulation.work / seconds : 0.0, settings.maxThreads);
    std::printf("end time %.6g ns after %" PRId64 " steps\n", simulation.time * 1e9,
                simulation.stepCount);
    for (const MomentsSummary& m : momentsSummaries(*simulation.root)) {
        std::printf("%s\n", momentsLine(m).c_str());
    }
    printBeam(simulation, genome);
    if (!o.dump.empty() && !writeDump(o.dump, simulation)) return kToolError;
    return kToolOk;
}

}  // namespace

int runRunTool(const ToolArgs& args) {
    RunToolOptions options;
    if (!parseOptions(args, options)) {
        std::fputs("Usage:\n", stderr);
        std::fputs(kRunToolUsage, stderr);
        return kToolError;
    }
    return run(options);
}
