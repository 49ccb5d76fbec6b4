// Rod target source: pions from a particle list, placed on the target rod.
//
// The rod as a solid. Its material test and its box follow the rod's
// cylinder (shrunk by about 1 % for the test, so that particles the list
// puts on the surface count as outside). Its crossing test is ours to
// choose, and we chose what a physicist expects of a solid tantalum rod in a
// capture solenoid: a particle born inside it leaves untouched (its passage
// through the rest of the tantalum is the business of the rod's scattering
// table, when the lattice gives one), while a particle that comes back from
// outside and enters the rod (a pion spiralling back in the solenoid field)
// is lost there, in the state Reimpact, at the point where it enters. Two
// centimetres of tantalum are a sizeable fraction of an interaction length
// and far more than the beam pipe's acceptance could forgive in scattering,
// so counting such a particle as lost is the conservative choice.
#include "beamline/components/rod_source.hpp"

#include <cmath>
#include <numbers>

#include "beamline/components/component_shapes.hpp"
#include "beamline/datafiles/sourcefile_format.hpp"
#include "beamline/simulation.hpp"
#include "beamline/species.hpp"
#include "beamline/tracking/tracking.hpp"
#include "common/report.hpp"
#include "common/text.hpp"
#include "model/cell_geometry.hpp"
#include "model/relativity.hpp"
#include "platform/files.hpp"

namespace {

constexpr double kRodRadius = 0.01;
constexpr double kRodLength = 0.2;
// The solid of the material and crossing tests, a little inside the rod.
constexpr double kRadiusShrink2 = 0.99;
constexpr double kHalfLengthShrink = 0.495;
constexpr double kMeV = 1.602176462e-13;
constexpr uint32_t kRodSeedMultiplier = 7654321;

Vec3 rodAxis(const RodSourceData& d) {
    return {d.sinAngle, 0, d.cosAngle};
}
// Position along the axis from the rod centre, and squared distance from it.
void rodCoordinates(const RodSourceData& d, Vec3 p, double& axial, double& radial2) {
    Vec3 from{p.x, p.y, p.z - d.z};
    axial = dot(from, rodAxis(d));
    radial2 = norm2(from) - axial * axial;
}

int rodMaterial(const unsigned char* runData, double x, double y, double z, double) {
    const auto& d = runDataAs<RodSourceData>(runData);
    double axial = 0, radial2 = 0;
    rodCoordinates(d, {x, y, z}, axial, radial2);
    return radial2 < kRadiusShrink2 * d.radius * d.radius &&
           std::fabs(axial) < kHalfLengthShrink * d.length;
}

// Where the chord from a to b meets the planes of the solid's ends and its
// mantle.
int rodSplits(const unsigned char* runData, Vec3 a, Vec3 b, double fractions[kMaxMatterSplits]) {
    const auto& d = runDataAs<RodSourceData>(runData);
    const Vec3 n = rodAxis(d), from{a.x, a.y, a.z - d.z}, along = b - a;
    const double axial0 = dot(from, n), axial1 = dot(along, n);
    const double halfLength = kHalfLengthShrink * d.length;
    ChordSplits out{fractions};
    out.linear(axial0 - halfLength, axial1);
    out.linear(axial0 + halfLength, axial1);
    // |from + s along|^2 - (axial0 + s axial1)^2
    out.quadratic(norm2(from) - axial0 * axial0 - kRadiusShrink2 * d.radius * d.radius,
                  2 * (dot(from, along) - axial0 * axial1), norm2(along) - axial1 * axial1);
    return out.count;
}

void rodBounds(const unsigned char* runData, Cell& cell) {
    const auto& d = runDataAs<RodSourceData>(runData);
    double c = std::sqrt(0.25 * d.length * d.length + d.radius * d.radius);
    cellBoxSet(cell, -c, -c, d.z - c, c, c, d.z + c);
}

// The three surfaces of the rod's solid, each as a signed distance that is
// negative on the rod's side.
enum RodSurface { Mantle, DownstreamEnd, UpstreamEnd };
struct RodFace {
    const RodSourceData* rod;
    RodSurface surface;
};

double rodFaceDistance(const Particle& particle, double, const void* context) {
    const auto& f = *static_cast<const RodFace*>(context);
    double axial = 0, radial2 = 0;
    rodCoordinates(*f.rod, particle.position, axial, radial2);
    double halfLength = kHalfLengthShrink * f.rod->length;
    switch (f.surface) {
        case Mantle:
            return radial2 - kRadiusShrink2 * f.rod->radius * f.rod->radius;
        case DownstreamEnd:
            return axial - halfLength;
        default:
            return -axial - halfLength;
    }
}

bool onRodFace(Vec3 p, const void* context) {
    const auto& f = *static_cast<const RodFace*>(context);
    double axial = 0, radial2 = 0;
    rodCoordinates(*f.rod, p, axial, radial2);
    if (f.surface == Mantle) return std::fabs(axial) <= kHalfLengthShrink * f.rod->length;
    return radial2 <= kRadiusShrink2 * f.rod->radius * f.rod->radius;
}

// Whether p lies farther than `reach` from the rod's solid, with a margin
// far above rounding. Nothing moves faster than light, so a step's middle
// cannot be in the solid when its start lies farther than light goes in half
// a step: most steps near the rod are spared the push to their middle.
bool fartherThan(const RodSourceData& d, Vec3 p, double reach) {
    double axial = 0, radial2 = 0;
    rodCoordinates(d, p, axial, radial2);
    const double margin = 1 + 1e-6;
    const double along = std::fabs(axial) - kHalfLengthShrink * d.length;
    if (along > reach * margin) return true;
    const double across = std::sqrt(kRadiusShrink2) * d.radius + reach * margin;
    return radial2 > across * across * margin;
}

// The earliest crossing of a face of the rod between (before, t0) and
// (after, t1).
bool firstFaceCrossing(const RodSourceData& d, const Particle& before, double t0,
                       const Particle& after, double t1, const ScatterData* table,
                       const StepContext& context, Particle& hit, double& hitTime) {
    const RodFace faces[3] = {{&d, Mantle}, {&d, DownstreamEnd}, {&d, UpstreamEnd}};
    const SurfaceTest surfaces[3] = {{rodFaceDistance, &faces[0], onRodFace},
                                     {rodFaceDistance, &faces[1], onRodFace},
                                     {rodFaceDistance, &faces[2], onRodFace}};
    return earliestCrossing(before, t0, after, t1, surfaces, 3, table, context, hit, hitTime);
}

int rodIntercept(unsigned char* runData, const Particle& before, const Particle& after, double t0,
                 double t1, const StepContext& context, const ScatterData* table, Particle& hit,
                 double& hitTime) {
    const auto& d = runDataAs<RodSourceData>(runData);
    const Vec3& p = before.position;
    if (rodMaterial(runData, p.x, p.y, p.z, t0)) return 0;  // leaving, or inside: matter's business
    // Coming from outside, the first face crossed is where the particle
    // enters the rod. A step that goes in and out again shows no change of
    // sign at its ends; the particle in the middle of the step catches the
    // chords longer than half a step.
    if (!firstFaceCrossing(d, before, t0, after, t1, table, context, hit, hitTime)) {
        const double tm = 0.5 * (t0 + t1);
        if (fartherThan(d, p, kSpeedOfLight * (tm - t0))) return 0;
        Particle middle = before;
        matterStep(middle, t0, tm - t0, table, context);
        const Vec3& m = middle.position;
        if (!rodMaterial(runData, m.x, m.y, m.z, tm)) return 0;
        if (!firstFaceCrossing(d, before, t0, middle, tm, table, context, hit, hitTime)) return 0;
    }
    hit.state = StateReimpact;
    return 1;
}

// The particle list in its file name's place: NAME.EXT is read as NAME.csv.
std::string csvName(const std::string& name) {
    size_t dot = name.rfind('.');
    return (dot == std::string::npos ? name : name.substr(0, dot)) + ".csv";
}

void rodInit(Cell& cell, Simulation& simulation) {
    RodSourceData& d = runDataInit<RodSourceData>(cell);
    d.radius = kRodRadius;
    d.length = kRodLength;
    d.z = cellNumber(cell, "z");
    double angle = cellNumber(cell, "rodangle");
    d.cosAngle = std::cos(angle);
    d.sinAngle = std::sin(angle);

    const std::string* text = cellText(cell, "species");
    int32_t species = text ? speciesByName(*text, false) : PiPlus;
    if (species < 0 || restEnergy(species) <= 0) {
        // A massless or unknown species cannot be given a speed from its
        // kinetic energy.
        report("[FATAL] Unrecognised particle species name in lattice file");
        return;
    }
    const std::string* file = cellText(cell, "file");
    std::string name = file ? *file : "";
    std::string path = rodSourcePath(name);
    SourceDraws draws = sourceDraws(simulation, cell, kRodSeedMultiplier);
    if (path.empty()) report("Refused particle file name '" + name + "'");
    if (path.empty() || !loadRodSource(d, path, name, cellNumber(cell, "timespread"),
                                       cellNumber(cell, "axial"), species, simulation, draws)) {
        report(format("[FATAL] ERROR: Failed to load pion data from file '%s'", name.c_str()));
    }
}

}  // namespace

const CellTypeFunctions rodSourceFunctions{
    .interceptFn = rodIntercept,
    .materialFn = rodMaterial,
    .boundsFn = rodBounds,
    .initFn = rodInit,
    .matterSplitsFn = rodSplits,
};

std::string rodSourcePath(const std::string& fileName) {
    std::string csv = csvName(fileName);
    if (fileName.empty() || !isSafeFileName(csv)) return "";
    return findFileNoCase("datafiles/" + csv);
}

bool loadRodSource(const RodSourceData& rod, const std::string& path, const std::string& fileName,
                   double timespread, double axial, int32_t species, Simulation& simulation,
                   SourceDraws& draws) {
    report("Loading tantalum rod source data...");
    RodSourceFile file;
    std::string error;
    if (!readRodSource(path, file, error)) {
        report(format("CSV read of %s failed, generating error box", fileName.c_str()));
        report(error);
        return false;
    }
    const int64_t counted = static_cast<int64_t>(file.lines.size());
    for (int64_t i = 1000; i <= counted; i += 1000) {
        reportProgress(format("Counting particles... %lld", static_cast<long long>(i)));
    }
    reportProgress(format("Counting particles... %lld", static_cast<long long>(counted)));

    const int64_t n = sourceLinesToRead(counted, simulation.particleDivisor);
    SourceCopies copies;
    if (!sourceCopies(timespread, axial, n, copies, error)) {
        report(error);
        return false;
    }
    const bool nine = file.form == RodSourceForm::NineColumns;
    const double rest = restEnergy(species);
    const double toTheRodStart = 0.5 * rod.length;
    const int64_t total = n * copies.total;
    int64_t done = 0;
    beamReserveExact(simulation.beam, static_cast<size_t>(total));
    for (int32_t k = 1; k <= copies.total; k++) {
        for (int32_t i = 0; i < n; i++) {
            const RodSourceLine& line = file.lines[static_cast<size_t>(i)];
            Vec3 x = line.position;
            Vec3 dir = line.direction;
            if (axial != 0) rotateRandomlyAboutBeamAxis(x, dir, draws);
            // The list's z runs along the rod from its upstream end; the
            // rod's centre sits at `z` on the beam axis, tilted in x-z.
            const double zr = x.z - toTheRodStart;
            Vec3 placed{rod.cosAngle * x.x + rod.sinAngle * zr, x.y,
                        rod.cosAngle * zr - rod.sinAngle * x.x + rod.z};
            Vec3 turned{rod.cosAngle * dir.x + rod.sinAngle * dir.z, dir.y,
                        rod.cosAngle * dir.z - rod.sinAngle * dir.x};
            double t = 0;
            if (timespread != 0) {
                t = 1e-9 * draws.gauss() + 5e-9;
            } else if (nine) {
                t = line.time + 5e-9;
            }
            Particle& p = addParticle(simulation, species, sourceParticleId(copies, i, k));
            p.position = placed;
            p.u = sourceProperVelocity(line.kineticMeV * kMeV, rest, turned);
            p.weight = line.weight / copies.total;
            p.t = t;
            if (sourceProgressDue(++done)) {
                reportProgress(format("Reading CSV file... %lld / %lld",
                                      static_cast<long long>(done), static_cast<long long>(total)));
            }
        }
    }
    reportProgress("Tantalum rod source data loaded.");
    return true;
}
