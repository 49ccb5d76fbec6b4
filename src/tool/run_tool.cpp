// pelto-tool run: builds a run from a lattice file exactly as the client's
// main cycle does, tracks it to its end and prints the score and the final
// beam, so that lattice authors and tests can run one design by hand.
#include <cinttypes>
#include <cmath>
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
#include "model/units.hpp"
#include "platform/clock.hpp"
#include "platform/files.hpp"
#include "platform/process.hpp"
#include "results/score_line.hpp"
#include "run/envelope.hpp"
#include "run/run.hpp"
#include "tool/tool.hpp"

const char* const kRunToolUsage =
    "  pelto-tool run FILE [--genome \"TEXT\"] [--level N] [--seed S] [--threads N]\n"
    "                 [--dump OUT.csv] [--envelope OUT.csv] [--every LENGTH] [--plot OUT.png]\n"
    "                 [-param:NAME=VALUE ...]\n"
    "                                     build and track a lattice file, print its score;\n"
    "                                     --envelope/--plot: the beam along the beamline\n"
    "                                     every LENGTH (default 0.1m)\n";

namespace {

struct RunToolOptions {
    std::string file;
    std::string genomeText;
    int level = -1;
    std::optional<uint32_t> seed;
    int threads = 0;  // 0: the configured count
    std::string dump;
    std::string envelope;     // the envelope's CSV; empty: none, or beside the plot
    std::string plot;         // the envelope's picture; empty: none
    double every = 0.1;       // metres between the envelope's planes
    std::string commandLine;  // the -param: words
};

// A length as the lattice language writes one: a plain number in metres or
// a number glued to a metre unit (10cm, 5mm, 0.1m); none for anything else.
std::optional<double> lengthValue(const std::string& text) {
    std::optional<double> value = unitvalueStrict(text);
    if (!value) return std::nullopt;
    size_t start = text.find_first_not_of("0123456789.+-eE");
    std::string unitText = start == std::string::npos ? "" : text.substr(start);
    // 1e-2m reads its exponent as digits; whatever letters remain name the unit.
    bool metres = unitText.empty() || unitText == "m" ||
                  (unitText.size() == 2 && unitText[1] == 'm' && unitprefix(unitText[0]) != 0);
    if (!metres) return std::nullopt;
    return value;
}

bool everyOption(const std::string& text, double& every) {
    std::optional<double> value = lengthValue(text);
    if (value && *value > 0 && std::isfinite(*value)) {
        every = *value;
        return true;
    }
    std::fprintf(stderr, "--every takes a length above zero (0.1m, 10cm, 0.05): '%s'\n",
                 text.c_str());
    return false;
}

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
        } else if (a == "--envelope" && hasValue) {
            o.envelope = args[++i];
        } else if (a == "--plot" && hasValue) {
            o.plot = args[++i];
        } else if (a == "--every" && hasValue) {
            if (!everyOption(args[++i], o.every)) return false;
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
    if (!o.plot.empty() && o.envelope.empty()) o.envelope = csvBeside(o.plot);
    if (!o.envelope.empty() && !checkOutputName(o.envelope, "envelope")) return false;
    if (!o.plot.empty() && !checkOutputName(o.plot, "plot")) return false;
    return true;
}

void printBeam(const Simulation& simulation, const Genome& genome) {
    for (const StateTotal& total : beamStateTotals(simulation.beam)) {
        std::printf("%s %" PRId64 " %.17g\n", stateLabel(total.state).c_str(), total.count,
                    total.weight);
    }
    std::printf("genome %s\n", genomeToText(genome).c_str());
}

// Written as it is made: a beam of millions of particles makes a dump of
// hundreds of megabytes.
bool writeDump(const std::string& path, const Simulation& simulation) {
    if (!checkOutputName(path, "dump")) return false;
    AtomicFileWriter writer(path);
    if (writer.isOpen()) {
        beamDumpCsv(simulation.beam, [&writer](std::string_view line) { writer.append(line); });
        if (writer.commit()) return true;
    }
    std::fprintf(stderr, "Cannot write '%s'\n", path.c_str());
    return false;
}

int run(const RunToolOptions& o) {
    std::string text;
    if (!readToolLattice(o.file, text)) return kToolError;
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
    // The envelope is recorded only when asked for: a plain run keeps its
    // step loop as the client has it.
    EnvelopeRecorder recorder;
    recorder.every = o.every;
    bool recording = false;
    RunStepCallback onStep;
    RunStartCallback onStart;
    if (!o.envelope.empty()) {
        onStart = [&](Simulation& s) { recording = envelopeStart(recorder, s); };
        onStep = [&](Simulation& s) {
            if (recording) envelopeRecord(recorder, s);
            return recording;
        };
    }
    RunOutcome outcome = runLattice(request, genome, settings, onStep, onStart);
    const Simulation& simulation = outcome.simulation;
    if (!simulation.root) {
        report("Lattice file '" + o.file + "' could not be interpreted; no run was built");
        return kToolError;
    }
    if (!o.envelope.empty() && !recording) {
        std::fprintf(stderr,
                     "No envelope: the beamline is empty, or --every %gm makes more than %zu "
                     "sample planes along it\n",
                     o.every, kMaxEnvelopePlanes);
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
    if (!o.envelope.empty()) {
        if (!writeToolFile(o.envelope, envelopeCsv(recorder))) return kToolError;
        if (!o.plot.empty() && !drawPlot("envelope", o.envelope, o.plot)) return kToolError;
    }
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
