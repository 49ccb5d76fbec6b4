// The fractions where a chord may enter or leave a component's matter: the
// tracker tells the pieces of a step between them apart with the inside
// test, so a change of inside and outside that falls between two of them
// would let a step pass over matter unseen.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <string>
#include <vector>

#include "beamline/components/rod_source.hpp"
#include "component_fixtures.hpp"

namespace {

// A frame turned about no axis of the line (an exact rotation: rows of
// 3-4-5 triangles), so that no face lies along a coordinate plane.
Frame3 turnedFrame(Vec3 origin) {
    Frame3 frame;
    const double axes[9] = {0.36, 0.48, -0.8, -0.8, 0.6, 0, 0.48, 0.64, 0.6};
    std::copy(axes, axes + 9, frame.axes);
    frame.origin = origin;
    return frame;
}

struct Piece {
    std::string what;
    CellPtr cell;
    const CellTypeFunctions* functions;
    Vec3 centre;  // chords are drawn around it ...
    double size;  // ... within this distance
};

}  // namespace

TEST(MatterSplits, InsideTestIsTheSameAlongEveryPieceOfAChord) {
    Simulation sim;
    std::vector<Piece> pieces;
    const Frame3 frame = turnedFrame({0.02, -0.01, 0.5});
    auto blockage = [&](const char* type, NumberAttributes sizes, double size) {
        pieces.push_back({type, placedElement(type, "piece", sizes, sim, frame), &blockageFunctions,
                          frame.origin, size});
    };
    blockage("Cuboid-blockage", {{"Xsize", 0.03}, {"Ysize", 0.002}, {"Zsize", 0.05}}, 0.06);
    blockage("Cylinder-blockage", {{"Xsize", 0.02}, {"Ysize", 0.005}, {"Length", 0.04}}, 0.05);
    blockage("Spheroid-blockage", {{"Xsize", 0.02}, {"Ysize", 0.01}, {"Zsize", 0.003}}, 0.03);
    blockage("Annulus-blockage", {{"OuterRadius", 0.02}, {"InnerRadius", 0.018}, {"Length", 0.003}},
             0.03);
    blockage("Toroid-blockage", {{"MajorRadius", 0.02}, {"MinorRadius", 0.002}}, 0.03);
    pieces.push_back(
        {"solenoid coil",
         placedElement("solenoid", "coil",
                       {{"radius", 0.1}, {"length", 0.05}, {"field", 1}, {"outerradius", 0.102}},
                       sim, frame),
         &solenoidFunctions, frame.origin, 0.15});
    CellPtr rod = cellCreate(Machine, "rod");
    runDataInit<RodSourceData>(*rod) = {0.01, 0.2, 0.3, std::cos(0.4), std::sin(0.4)};
    pieces.push_back({"target rod", rod, &rodSourceFunctions, {0, 0, 0.3}, 0.12});

    // Chords from one end of the region to the other, and short ones (a
    // tenth of it) that fit between faces: 400 samples along each find
    // every change of side wider than 1/400 of the chord.
    std::mt19937_64 random(11);
    std::uniform_real_distribution<double> unit(-1, 1);
    const int samples = 400;
    for (const Piece& p : pieces) {
        SCOPED_TRACE(p.what);
        ASSERT_NE(p.functions->matterSplitsFn, nullptr);
        const unsigned char* data = p.cell->runData;
        int changes = 0, failures = 0;
        for (int chord = 0; chord < 2000 && failures < 5; chord++) {
            auto around = [&](double reach) {
                return p.centre + reach * Vec3{unit(random), unit(random), unit(random)};
            };
            Vec3 a = around(p.size);
            Vec3 b = chord % 2 ? around(p.size)
                               : a + 0.1 * p.size * Vec3{unit(random), unit(random), unit(random)};
            double fractions[kMaxMatterSplits];
            int n = p.functions->matterSplitsFn(data, a, b, fractions);
            ASSERT_LE(n, kMaxMatterSplits);
            auto inside = [&](double f) {
                Vec3 x = a + f * (b - a);
                return p.functions->materialFn(data, x.x, x.y, x.z, 0) != 0;
            };
            bool was = inside(0);
            for (int i = 1; i <= samples; i++) {
                double lo = double(i - 1) / samples, hi = double(i) / samples;
                bool is = inside(hi);
                if (is == was) continue;
                changes++;
                bool split = std::any_of(fractions, fractions + n,
                                         [&](double f) { return f >= lo && f <= hi; });
                if (!split) {
                    failures++;
                    ADD_FAILURE() << "no split between " << lo << " and " << hi << " of the chord ("
                                  << a.x << ", " << a.y << ", " << a.z << ") to (" << b.x << ", "
                                  << b.y << ", " << b.z << ")";
                }
                was = is;
            }
        }
        // The chords must have met the matter often enough to mean something.
        EXPECT_GT(changes, 100);
    }
}
