// The bending magnet: loading its field map, placing and mirroring it, and
// the bend it gives.
#include "beamline/components/bend_magnet.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "component_fixtures.hpp"
#include "support/test_support.hpp"

namespace {

const std::string kDemoFolder = std::string(PELTO_SOURCE_DIR) + "/demo";
const char* const kDemoFiles[4] = {"dipole_y00.txt", "dipole_y05.txt", "dipole_y10.txt",
                                   "dipole_y13.txt"};

CellPtr magnet(Simulation& sim, const char* name, double field, Frame3 frame = Frame3{},
               const char* const files[4] = kDemoFiles) {
    speciesInit();
    CellPtr cell = cellCreate(Machine, name);
    cell->typeName = "BMagnet";
    cellSetNumber(*cell, "field", field);
    for (int i = 0; i < 4; i++) cellSetText(*cell, "File" + std::to_string(i + 1), files[i]);
    cell->entryFrame = frame;
    cell->placedFrame = frame;
    bindCellTypeFunctions(*cell);
    bendMagnetFunctions.initFn(*cell, sim);
    return cell;
}

Vec3 fieldOf(const Cell& cell, Vec3 p) {
    return {componentField(cell, p, 0, 3), componentField(cell, p, 0, 4),
            componentField(cell, p, 0, 5)};
}

}  // namespace

TEST(BendMagnet, LoadsTheFourPlanesOnceWithProgressLines) {
    InFolder demo(kDemoFolder);
    MessageRecorder messages;
    Simulation sim;
    CellPtr first = magnet(sim, "B1", 1.0);
    CellPtr second = magnet(sim, "B2", 0.5);
    ASSERT_NE(bendMagnetFieldMap(*first), nullptr);
    EXPECT_EQ(bendMagnetFieldMap(*first), bendMagnetFieldMap(*second));
    // Shown at most once per process: an earlier test may have loaded them.
    if (messages.output.find("Loading") != std::string::npos) {
        for (const char* line :
             {"Loading bending magnet fields...", "Loading bending magnet fields... y=0cm",
              "Loading bending magnet fields... y=5cm", "Loading bending magnet fields... y=10cm",
              "Loading bending magnet fields... y=13cm"}) {
            EXPECT_NE(messages.output.find(line), std::string::npos) << line;
        }
    }
    MessageRecorder again;
    CellPtr third = magnet(sim, "B3", 1.0);
    EXPECT_EQ(again.output.find("Loading"), std::string::npos);
}

// Two lattices that name different files each get their own map.
TEST(BendMagnet, DifferentFilesGiveTheirOwnMap) {
    ScratchFolder scratch;
    std::filesystem::create_directory(scratch.file("datafiles"));
    const char* const other[4] = {"weak_y00.txt", "weak_y05.txt", "weak_y10.txt", "weak_y13.txt"};
    for (int i = 0; i < 4; i++) {
        // The same magnet with half its field.
        std::string plane;
        std::ifstream in(kDemoFolder + "/datafiles/" + kDemoFiles[i]);
        std::string line;
        int number = 0;
        while (std::getline(in, line)) {
            if (++number > 8) {
                double v[6];
                std::sscanf(line.c_str(), "%lf %lf %lf %lf %lf %lf", &v[0], &v[1], &v[2], &v[3],
                            &v[4], &v[5]);
                char buffer[200];
                std::snprintf(buffer, sizeof buffer, "%g %g %g %.9g %.9g %.9g", v[0], v[1], v[2],
                              v[3] / 2, v[4] / 2, v[5] / 2);
                line = buffer;
            }
            plane += line + "\n";
        }
        scratch.write(std::string("datafiles/") + other[i], plane);
    }
    for (int i = 0; i < 4; i++) {
        std::filesystem::copy_file(kDemoFolder + "/datafiles/" + kDemoFiles[i],
                                   scratch.file(std::string("datafiles/") + kDemoFiles[i]));
    }
    InFolder in(scratch.path());
    MessageRecorder messages;
    Simulation sim;
    CellPtr demo = magnet(sim, "B1", 1.0);
    CellPtr weak = magnet(sim, "B2", 1.0, Frame3{}, other);
    ASSERT_NE(bendMagnetFieldMap(*weak), nullptr);
    EXPECT_NE(bendMagnetFieldMap(*demo), bendMagnetFieldMap(*weak));
    Vec3 centre{0.2, 0, 0};
    EXPECT_NEAR(fieldOf(*weak, centre).y, fieldOf(*demo, centre).y / 2, 1e-6);
}

TEST(BendMagnet, MissingFileIsFatal) {
    ScratchFolder scratch;
    std::filesystem::create_directory(scratch.file("datafiles"));
    InFolder in(scratch.path());
    MessageRecorder messages;
    setExitHook([](int status) { throw ProcessExit{status}; });
    Simulation sim;
    const char* const missing[4] = {"none_y00.txt", "none_y05.txt", "none_y10.txt", "none_y13.txt"};
    EXPECT_THROW(magnet(sim, "B1", 1.0, Frame3{}, missing), ProcessExit);
    resetExitHook();
    EXPECT_NE(messages.output.find("[FATAL] Could not load B-field file none_y00.txt"),
              std::string::npos);
}

// The demo map is 1 T at its centre, u = -0.2 m across the magnet: with the
// magnet unturned that is 0.2 m towards +x of its origin. The centre lies
// between the map's nodes (7 cm apart), where the bilinear interpolation of
// the field's peak reads 0.2 % low; 0.3 % is allowed. A mirrored magnet
// ("~") is turned round with its field reversed; below the midplane the
// horizontal components change sign.
TEST(BendMagnet, PlacementMirrorAndMidplaneSymmetry) {
    InFolder demo(kDemoFolder);
    MessageRecorder messages;
    Simulation sim;
    CellPtr b = magnet(sim, "B1", 0.8);
    CellPtr mirror = magnet(sim, "~B1", 0.8);
    EXPECT_NEAR(fieldOf(*b, Vec3{0.2, 0, 0}).y, 0.8, 0.8 * 3e-3);
    EXPECT_NEAR(fieldOf(*mirror, Vec3{-0.2, 0, 0}).y, -0.8, 0.8 * 3e-3);
    for (Vec3 p : {Vec3{0.1, 0.07, 0.45}, Vec3{-0.3, 0.12, -0.52}, Vec3{0.6, 0.02, 0.3}}) {
        Vec3 up = fieldOf(*b, p), down = fieldOf(*b, Vec3{p.x, -p.y, p.z});
        EXPECT_DOUBLE_EQ(down.x, -up.x);
        EXPECT_DOUBLE_EQ(down.y, up.y);
        EXPECT_DOUBLE_EQ(down.z, -up.z);
        // The mirror image through the magnet's origin.
        Vec3 m = fieldOf(*mirror, Vec3{-p.x, p.y, -p.z});
        EXPECT_NEAR(m.y, -up.y, 1e-12);
        EXPECT_NEAR(m.x, up.x, 1e-12);
        EXPECT_NEAR(m.z, up.z, 1e-12);
    }
    EXPECT_EQ(fieldOf(*b, Vec3{0.2, 0.15, 0}).y, 0);
    EXPECT_EQ(fieldOf(*b, Vec3{3.0, 0, 0}).y, 0);

    // Turned a quarter round about y (local z along global +x): the centre
    // moves with it.
    Frame3 turned;
    double axes[9] = {0, 0, 1, 0, 1, 0, -1, 0, 0};
    for (int i = 0; i < 9; i++) turned.axes[i] = axes[i];
    turned.origin = {1, 0, 2};
    CellPtr t = magnet(sim, "B2", 1.0, turned);
    EXPECT_NEAR(fieldOf(*t, Vec3{1, 0, 2 - 0.2}).y, 1.0, 3e-3);
}

TEST(BendMagnet, BoxCoversTheMapFootprintAndHeights) {
    InFolder demo(kDemoFolder);
    MessageRecorder messages;
    Simulation sim;
    CellPtr b = magnet(sim, "B1", 1.0);
    cellBoxReset(*b);
    bendMagnetFunctions.boundsFn(b->runData, *b);
    EXPECT_DOUBLE_EQ(b->boxMin.y, -0.15);
    EXPECT_DOUBLE_EQ(b->boxMax.y, 0.15);
    // Every point with a field lies in the box.
    for (double x = -3; x <= 3; x += 0.05) {
        for (double z = -3; z <= 3; z += 0.05) {
            if (fieldOf(*b, Vec3{x, 0, z}).y != 0) {
                ASSERT_TRUE(cellBoxContains(*b, Vec3{x, 0, z})) << x << " " << z;
            }
        }
    }
}

// The map's field integral through its centre line is 1.02 T m at 1 T
// (tools/README.md, from fieldmap.py's Fourier solution). A muon of momentum
// p = c x 1.02 T m x field / 0.3 rad (the demo dogleg's 0.3 rad bend: 203.9
// MeV/c at 0.2 T) entering along the magnet's axis must leave 0.3 rad off
// it, within 1 % (the integral is given to three figures, and the track
// moves 0.15 m across the 1.2 m wide pole, where the field is flat to
// better than 0.5 %).
TEST(BendMagnet, DemoMapBendsTheDesignMomentumByItsAngle) {
    InFolder demo(kDemoFolder);
    MessageRecorder messages;
    Simulation sim;
    const double field = 0.2, angle = 0.3;
    CellPtr b = magnet(sim, "B1", field);
    const double pMeV = kSpeedOfLight * 1.02 * field / angle * 1e-6;
    // A negative muon bends towards +x, towards the pole's centre.
    Particle p = particleAt(MuMinus, Vec3{0, 0, -2.4}, Vec3{0, 0, properSpeedOf(MuMinus, pMeV)});
    setNearbyList(p, {b.get()});
    double t = 0;
    for (int i = 0; i < 200000 && p.position.z < 2.4; i++, t += 1e-11) pushParticle(p, t, 1e-11);
    EXPECT_GT(p.u.x, 0);
    EXPECT_NEAR(std::atan2(p.u.x, p.u.z), angle, 0.01 * angle);
}
