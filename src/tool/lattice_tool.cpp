// pelto-tool lattice print: interprets a lattice file the way a run would and
// prints the beamline it makes, so that lattice authors can see what their
// text means without running a simulation. pelto-tool lattice check: the
// strict reading, every doubtful place with its line.
#include <cstdio>
#include <cstdlib>

#include "beamline/cell_print.hpp"
#include "beamline/check_lattice.hpp"
#include "common/random.hpp"
#include "common/text.hpp"
#include "lattice/parser.hpp"
#include "model/cell_geometry.hpp"
#include "platform/clock.hpp"
#include "tool/tool.hpp"

const char* const kLatticeToolUsage =
    "  pelto-tool lattice print FILE [--genome \"TEXT\"] [--level N] [--coords] [--params] [--si]\n"
    "                                     print the beamline a lattice file makes, in MeV,\n"
    "                                     ns, m, T (--si: SI values as stored)\n"
    "  pelto-tool lattice check FILE [--genome \"TEXT\"]\n"
    "                                     every mistake in a lattice file, with its line\n";

namespace {

struct PrintOptions {
    std::string file;
    std::string genomeText;
    int level = -1;  // -1: parameters the genome lacks get a random level
    bool coords = false;
    bool params = false;
    bool si = false;
};

bool parseOptions(const ToolArgs& args, PrintOptions& options) {
    for (size_t i = 1; i < args.size(); i++) {
        const std::string& a = args[i];
        if (a == "--genome" && i + 1 < args.size()) {
            options.genomeText = args[++i];
        } else if (a == "--level" && i + 1 < args.size()) {
            char* end = nullptr;
            long level = std::strtol(args[++i].c_str(), &end, 10);
            if (*end != '\0' || level < 0 || level > 999) {
                std::fprintf(stderr, "--level takes a whole number from 0 to 999\n");
                return false;
            }
            options.level = static_cast<int>(level);
        } else if (a == "--coords") {
            options.coords = true;
        } else if (a == "--params") {
            options.params = true;
        } else if (a == "--si") {
            options.si = true;
        } else if (options.file.empty() && !a.empty() && a[0] != '-') {
            options.file = a;
        } else {
            std::fprintf(stderr, "Unknown option '%s'\n", a.c_str());
            return false;
        }
    }
    if (options.file.empty()) {
        std::fprintf(stderr, "No lattice file given\n");
        return false;
    }
    return true;
}

int print(const PrintOptions& options) {
    std::string text;
    if (!readToolLattice(options.file, text)) return kToolError;
    Genome genome = genomeFromText(options.genomeText, true);
    seedRandom(tickCountMs());
    if (options.level >= 0) {
        int level = options.level;
        setMissingLevelRule([level](std::string_view, const Genome&) { return level; });
    }
    CellPtr parameters;
    InterpretOptions interpret;
    interpret.path = options.file;
    CellPtr root = interpretlattice(text, genome, latticeNameOf(options.file), false,
                                    options.params ? &parameters : nullptr, interpret);
    if (!root) {
        std::fprintf(stderr, "The lattice was rejected\n");
        return kToolRejected;
    }
    if (options.coords) {
        // Coordinates only mean something once the elements are placed.
        double arc = 0;
        cellPlaceTree(*root, Frame3{}, arc);
    }
    auto printed = [&](const Cell& cell) {
        return options.si ? Cell_print(cell, options.coords, ' ')
                          : Cell_printInUnits(cell, options.coords);
    };
    std::fputs(printed(*root).c_str(), stdout);
    std::printf("Genome: %s\n", genomeToText(genome).c_str());
    if (options.params && parameters) std::fputs(printed(*parameters).c_str(), stdout);
    return kToolOk;
}

int check(const PrintOptions& options) {
    std::string text;
    if (!readToolLattice(options.file, text)) return kToolError;
    Genome genome = genomeFromText(options.genomeText, false);
    std::vector<LatticeFinding> findings =
        checkLatticeText(text, options.file, latticeNameOf(options.file), genome);
    for (const LatticeFinding& finding : findings) {
        std::printf("%s\n", findingText(options.file, finding).c_str());
    }
    if (!findings.empty()) return kToolError;
    std::printf("%s: no problems\n", options.file.c_str());
    return kToolOk;
}

}  // namespace

std::string latticeNameOf(const std::string& path) {
    size_t slash = path.find_last_of("/\\");
    std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    size_t dot = name.rfind('.');
    return dot == std::string::npos || dot == 0 ? name : name.substr(0, dot);
}

int runLatticeTool(const ToolArgs& args) {
    PrintOptions options;
    bool known = !args.empty() && (args[0] == "print" || args[0] == "check");
    if (!known || !parseOptions(args, options)) {
        std::fputs("Usage:\n", stderr);
        std::fputs(kLatticeToolUsage, stderr);
        return kToolError;
    }
    if (args[0] == "check") {
        if (options.level >= 0 || options.coords || options.params || options.si) {
            std::fputs("lattice check takes only FILE and --genome\n", stderr);
            return kToolError;
        }
        return check(options);
    }
    return print(options);
}
