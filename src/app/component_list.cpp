#include "app/component_list.hpp"

#include "app/cmdline.hpp"
#include "app/run_request.hpp"
#include "app/settings.hpp"
#include "beamline/cell_print.hpp"
#include "common/report.hpp"
#include "common/text.hpp"
#include "platform/files.hpp"
#include "results/optimiser.hpp"
#include "results/score_line.hpp"

namespace {

constexpr int kLegacySolenoids = 34;
constexpr double kLegacyChannelLength = 30;  // metres

bool writeList(const std::string& text) {
    if (writeFileAtomic(kComponentListFile, text)) return true;
    reportf("Could not write '%s'", kComponentListFile);
    return false;
}

int listLatticeBeamline(const CommandLine& line, const ResultsList& results) {
    std::optional<std::string> lattice;
    if (line.latticeWord) lattice = latticeSpelling(*line.latticeWord);
    if (!lattice && results.count() > 0)
        lattice = readLattice(results[results.count() - 1].scoreLine);
    if (!lattice) {
        report("No lattice to list: name one on the command line, or store a result first");
        return 1;
    }
    Genome genome =
        makeGenome(results, *lattice, kModeSetFromFile, std::nullopt, optimiserSettings());
    Simulation simulation = setupSimulation(clientRunRequest(*lattice, line.text), genome);
    if (!simulation.root) {
        reportf("Lattice '%s' could not be built; nothing was listed", lattice->c_str());
        return 1;
    }
    return writeList(Cell_print(*simulation.root, line.componentListCoords, '\0')) ? 0 : 1;
}

}  // namespace

std::string legacyChannelListing(Genome& genome) {
    std::string out;
    out += format("Z position of rod relative to centre of S1: %lf\n",
                  genomeReal(genome, "zsrc", -0.15, 0.15));
    out += format("Rod angle: %lf\n", genomeReal(genome, "rotsrc", 0, 0.5));
    double z = 0;
    for (int i = 1; i <= kLegacySolenoids && z < kLegacyChannelLength; i++) {
        double fieldLimit = i == 1 ? 20 : i <= 4 ? 5 : 4;
        double field = genomeReal(genome, format("S%df", i), i == 1 ? 0 : -fieldLimit, fieldLimit);
        double radius = i == 1 ? 0.1 : genomeReal(genome, format("S%dr", i), 0.1, 0.4);
        double length = genomeReal(genome, format("S%dl", i), 0.2, i == 1 ? 0.45 : 0.6);
        if (i == 1) z = -length / 2;
        double drift = genomeReal(genome, format("D%dl", i), i < kLegacySolenoids ? 0.5 : 0, 1);
        z += length + drift;
        out += format("S%d: Field=%lf Length=%lf Radius=%lf\n", i, field, length, radius);
        out += format("D%d: Length=%lf\n", i, drift);
    }
    return out;
}

int writeComponentList(const CommandLine& line, const ResultsList& results) {
    report("Outputting listcomponents.txt...");
    int status = 0;
    if (line.legacyComponentList) {
        Genome genome =
            makeGenome(results, "", kModeSetFromFile, std::nullopt, optimiserSettings());
        status = writeList(legacyChannelListing(genome)) ? 0 : 1;
    } else {
        status = listLatticeBeamline(line, results);
    }
    if (status == 0) report("Outputting listcomponents.txt... Done");
    return status;
}
