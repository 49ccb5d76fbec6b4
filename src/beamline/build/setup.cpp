#include "beamline/build/setup.hpp"

#include <cmath>
#include <cstdlib>

#include "beamline/build/nearby.hpp"
#include "beamline/components/bend_magnet.hpp"
#include "beamline/datafiles/scatter_data.hpp"
#include "common/report.hpp"
#include "common/text.hpp"
#include "lattice/parser.hpp"
#include "model/units.hpp"
#include "platform/clock.hpp"

namespace {

// An untrusted lattice could ask for an aperture every nanometre; more
// apertures than a composite may hold children are refused.
constexpr size_t kMaxAutoTwiss = kMaxCompositeChildren;

// What C's conversion of a double to an unsigned 32-bit value gives for the
// values a lattice would write, without its undefined cases.
uint32_t toUint32(double v) {
    if (!std::isfinite(v) || std::fabs(v) >= 9.2e18) return 0;
    return static_cast<uint32_t>(static_cast<int64_t>(v));
}
int32_t toInt32(double v) {
    if (!std::isfinite(v)) return 0;
    if (v >= 2147483647.0) return INT32_MAX;
    if (v <= -2147483648.0) return INT32_MIN;
    return static_cast<int32_t>(v);
}

// A value is read as the lattice language reads numbers, units and all
// (t_max=5ns is five nanoseconds, not five seconds); one that is not a number
// would run another design than the one asked for, so it ends the program.
std::optional<double> overrideNumber(std::string_view token, const std::string& value) {
    std::optional<double> number = unitvalueStrict(value);
    if (!number) {
        report(
            format("[FATAL] -param:%s: '%s' is not a number with a known unit (for example "
                   "5ns, 2T, 10cm, 0.5)",
                   std::string(token).c_str(), value.c_str()));
    }
    return number;
}

void applyOverride(std::string_view token, Cell& root, Cell* parameters) {
    size_t equals = token.find('=');
    if (equals == std::string_view::npos) return;
    std::string_view name = token.substr(0, equals);
    std::string value(token.substr(equals + 1));
    size_t dot = name.find('.');
    if (dot == std::string_view::npos) {
        if (!parameters) return;
        if (std::optional<double> number = overrideNumber(token, value)) {
            cellSetNumber(*parameters, name, *number);
        }
        return;
    }
    Cell* cell = findChild(root, name.substr(0, dot));
    if (!cell) return;
    std::string_view attribute = name.substr(dot + 1);
    if (!value.empty() && (value[0] == '\'' || value[0] == '"')) {
        cellSetText(*cell, attribute, value.size() >= 2 ? value.substr(1, value.size() - 2) : "");
    } else if (std::optional<double> number = overrideNumber(token, value)) {
        cellSetNumber(*cell, attribute, *number);
    }
}

CellPtr machineCell(const char* name, const char* type) {
    CellPtr cell = cellCreate(Machine, name);
    cell->typeName = type;
    return cell;
}

// Three lattices were designed with a dome over the target that their files
// do not describe.
void insertDomeBlockages(Cell& root) {
    CellPtr cylinder = machineCell("dome_cylinder", "Cylinder-blockage");
    cellSetNumber(*cylinder, "Zsize", 0.1);
    cellSetNumber(*cylinder, "radius", 0.5);
    cellSetNumber(*cylinder, "Z", -0.2);
    insertChild(root, cylinder, 0);
    CellPtr annulus = machineCell("dome_annulus", "Annulus-blockage");
    cellSetNumber(*annulus, "Zsize", 0.2);
    cellSetNumber(*annulus, "InnerRadius", 0.4);
    cellSetNumber(*annulus, "OuterRadius", 0.5);
    cellSetNumber(*annulus, "Z", -0.1);
    insertChild(root, annulus, 0);
}

// The field map of the beamline's last bending magnet, loaded before the
// build: magnets without file names of their own take the map last loaded.
void loadLastFieldMap(Simulation& simulation) {
    Cell& root = *simulation.root;
    for (size_t i = root.children.size(); i-- > 0;) {
        Cell* child = root.children[i].get();
        if (child && equalNoCase(child->typeName, "BMagnet")) {
            bendMagnetLoadFieldMap(simulationDataFiles(simulation), *child);
            return;
        }
    }
}

void reattachTree(Cell& cell, LoadedDataFiles& files) {
    for (const CellPtr& child : cell.children) {
        if (child) reattachTree(*child, files);
    }
    if (cell.kind != Machine) return;
    const std::string* scatter = cellText(cell, "ScatterData");
    cell.scatterData = scatter ? scatterDataFor(files, *scatter, false) : nullptr;
    bendMagnetAttachMap(cell, files);
}

void chooseSeed(const SetupRequest& request, Simulation& simulation) {
    if (simulation.seedpitch != 0 && request.recheck) {
        simulation.effectiveSeed = simulation.seed + simulation.seedpitch * request.recheckRun;
        report(format("Using seed %u+%u*%u = %d", simulation.seed, simulation.seedpitch,
                      request.recheckRun, static_cast<int32_t>(simulation.effectiveSeed)));
    } else {
        simulation.effectiveSeed = simulation.seed;
        report(format("Using seed %u", simulation.seed));
    }
}

void normaliseBeam(Simulation& simulation) {
    std::vector<Particle>& particles = simulation.beam.particles;
    double sum = 0, first = 1e20;
    for (const Particle& p : particles) sum += p.weight;
    for (const Particle& p : particles) first = std::fmin(first, p.t);
    // A beam without weight has nothing to share out; dividing would make NaNs.
    if (sum > 0) {
        for (Particle& p : particles) p.weight /= sum;
    }
    simulation.time = simulation.startTime = first;
}

}  // namespace

int32_t applyParamOverrides(const std::string& commandLine, Cell& root, Cell* parameters) {
    int32_t found = 0;
    size_t at = findNoCase(commandLine, "-param:");
    while (at != std::string::npos) {
        found++;
        size_t start = at + 7;
        size_t end = start;
        while (end < commandLine.size() && !isBlank(commandLine[end])) end++;
        applyOverride(std::string_view(commandLine).substr(start, end - start), root, parameters);
        at = findNoCase(commandLine, "-param:", at + 1);
    }
    return found;
}

void readSimulationParameters(const Cell& parameters, Simulation& s) {
    auto has = [&](const char* name) {
        return cellAttributeKind(parameters, name) == AttributeNumber;
    };
    auto number = [&](const char* name) { return cellNumber(parameters, name); };
    if (has("t_max")) s.t_max = number("t_max");
    if (has("dt")) s.dt = number("dt");
    if (has("errrate")) s.errrate = number("errrate");
    if (has("twiss_interval")) s.twiss_interval = number("twiss_interval");
    if (has("n_decays")) s.n_decays = toInt32(number("n_decays"));
    if (has("decays_off")) s.decays_off = number("decays_off") != 0;
    if (has("scattering_off")) s.scattering_off = number("scattering_off") != 0;
    if (has("seed")) s.seed = toUint32(number("seed"));
    if (has("seedpitch")) s.seedpitch = toUint32(number("seedpitch"));
    for (const CellAttribute& a : parameters.attributes) {
        if (!startsWithNoCase(a.name, "allow_")) continue;
        int32_t species = speciesByName(std::string_view(a.name).substr(6), false);
        if (species < 0) continue;
        setSpeciesAllowed(s, species, a.kind == AttributeNumber && toInt32(a.number) != 0);
    }
}

void applyLegacyLattice(const std::string& name, Simulation& simulation) {
    Cell& root = *simulation.root;
    auto drifts = [&](auto&& change) {
        for (const CellPtr& child : root.children) {
            if (child && equalNoCase(child->typeName, "Drift")) change(*child);
        }
    };
    if (equalNoCase(name, "solenoidsonly") || equalNoCase(name, "solenoidsto15cm")) {
        drifts([](Cell& drift) { cellSetNumber(drift, "Bore", 0.5); });
        simulation.t_max = 2e-7;
    } else if (startsWithNoCase(name, "chicanelinacb")) {
        drifts([](Cell& drift) {
            if (!cellHas(drift, "Bore")) cellSetNumber(drift, "Bore", 1);
        });
        simulation.t_max = 1.2e-6;
    } else if (startsWithNoCase(name, "chicanelattice2")) {
        simulation.t_max = 3e-7;
    } else if (startsWithNoCase(name, "v4.2best") && !containsNoCase(name, "linac")) {
        simulation.t_max = 3e-7;
    }
}

void reattachDataFiles(Simulation& simulation) {
    if (!simulation.root) return;
    loadLastFieldMap(simulation);
    reattachTree(*simulation.root, simulationDataFiles(simulation));
}

void insertAutoTwiss(Cell& root, double interval) {
    if (!(interval > 0)) return;
    double a = 0, next = 0;
    size_t inserted = 0;
    for (size_t i = 0; i < root.children.size(); i++) {
        double length = root.children[i] ? cellNumber(*root.children[i], "Length") : 0;
        if (length == 0) continue;
        while (next <= a + length) {
            if (inserted++ == kMaxAutoTwiss) {
                report(
                    format("[WARNING] twiss_interval %g would insert more than %zu apertures; "
                           "no more are inserted",
                           interval, kMaxAutoTwiss));
                return;
            }
            CellPtr aperture = machineCell("auto-twiss", "moments-aperture");
            cellSetNumber(*aperture, "Z", next - a);
            insertChild(root, aperture, static_cast<int32_t>(i));
            i++;
            next += interval;
        }
        a += length;
    }
}

Simulation setupSimulation(const SetupRequest& request, Genome& genome, SetupOutcome* outcome) {
    speciesInit();
    Simulation simulation;
    simulation.dt = request.dt;
    simulation.particleDivisor = request.particleDivisor;
    simulation.nearbyInterval = request.nearbyInterval;
    simulation.seed = request.seed ? *request.seed : tickCountMs();
    simulation.dataFiles = request.dataFiles;
    simulation.rfSyncLogFile = request.rfSyncLogFile;
    CellPtr parameters;
    simulation.root = request.latticeText
                          ? interpretlattice(*request.latticeText, genome, request.latticeName,
                                             request.verbose, &parameters)
                          : loadlattice(request.latticeName, genome, request.verbose, &parameters);
    if (!simulation.root) return simulation;

    int32_t overrides =
        applyParamOverrides(request.commandLine, *simulation.root, parameters.get());
    if (outcome) outcome->overrides = overrides;
    if (parameters) readSimulationParameters(*parameters, simulation);
    parameters.reset();
    chooseSeed(request, simulation);
    applyLegacyLattice(request.latticeName, simulation);

    loadLastFieldMap(simulation);
    Cell& root = *simulation.root;
    const std::string& name = request.latticeName;
    if (equalNoCase(name, "chicanelinacb") || equalNoCase(name, "decayrotb") ||
        equalNoCase(name, "phaserotc")) {
        insertDomeBlockages(root);
    }
    insertAutoTwiss(root, simulation.twiss_interval);

    BLfromcell(simulation, Frame3{}, request.graphics);
    if (!simulation.root) return simulation;
    report("Determining nearby components...");
    std::vector<Particle>& particles = simulation.beam.particles;
    Particle_seg_nearbythings(particles.data(), particles.data() + particles.size());
    report("Normalising beam...");
    normaliseBeam(simulation);
    return simulation;
}
