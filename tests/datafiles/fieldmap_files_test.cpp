// The field-map reader and look-up on made-up planes, and the demo bending
// magnet's map read back and checked against the physics of a dipole.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <memory>
#include <string>

#include "beamline/datafiles/fieldmap_format.hpp"
#include "common/text.hpp"
#include "datafiles/demo_files.hpp"

namespace {

const std::string kHeader = "h1\nh2\nh3\nh4\nh5\nh6\nh7\nh8\n";

// A plane file whose node (i, j) holds By = i, Bw = j and Bu = value(i, j),
// all in gauss.
std::string planeText(const std::function<double(int, int)>& bu, const char* end = "\n") {
    std::string text = kHeader;
    for (int i = 0; i < kFieldMapSize; i++) {
        for (int j = 0; j < kFieldMapSize; j++) {
            text += format("%d 0 %d %d %d %.17g%s", i, j, i, j, bu(i, j), end);
        }
    }
    return text;
}

std::string parseError(const std::string& text) {
    FieldMapPlane plane;
    std::string error;
    EXPECT_FALSE(parseFieldMapPlane(text, plane, error));
    EXPECT_TRUE(plane.field.empty());
    return error;
}

TEST(FieldMapFormat, ColumnsAreYZXInGauss) {
    FieldMapPlane plane;
    std::string error;
    ASSERT_TRUE(parseFieldMapPlane(planeText([](int, int) { return -7.0; }, "\r\n"), plane, error))
        << error;
    ASSERT_EQ(plane.field.size(), static_cast<size_t>(kFieldMapNodes));
    const Vec3& v = plane.field[46 * 3 + 5];
    EXPECT_DOUBLE_EQ(v.x, -7e-4);
    EXPECT_DOUBLE_EQ(v.y, 3e-4);
    EXPECT_DOUBLE_EQ(v.z, 5e-4);
}

TEST(FieldMapFormat, WrongShapesAreRefused) {
    std::string good = planeText([](int, int) { return 0.0; });
    // A blank line among the data and a missing final line end are fine.
    FieldMapPlane plane;
    std::string error;
    std::string spaced = good;
    spaced.insert(spaced.find('\n', kHeader.size()) + 1, "\n \n");
    spaced.pop_back();
    EXPECT_TRUE(parseFieldMapPlane(spaced, plane, error)) << error;

    EXPECT_NE(parseError("h1\nh2\n").find("header"), std::string::npos);
    std::string shortFile = good.substr(0, good.rfind('\n', good.size() - 2) + 1);
    EXPECT_NE(parseError(shortFile).find("2115"), std::string::npos);
    parseError(good + "1 2 3 4 5 6\n");  // a node too many
    std::string five = good;
    five.replace(five.rfind(" 0\n"), 3, "\n");
    parseError(five);
    std::string word = good;
    word.replace(word.rfind(" 0\n"), 3, " zero\n");
    parseError(word);
    std::string nan = good;
    nan.replace(nan.rfind(" 0\n"), 3, " nan\n");
    parseError(nan);
}

// Four planes whose nodes hold linear functions of (i, j) and a per-plane
// constant, so that the look-up's interpolation is exact.
std::unique_ptr<FieldMap> linearMap() {
    auto map = std::make_unique<FieldMap>();
    for (int k = 0; k < kFieldMapPlanes; k++) {
        map->planes[k].field.resize(kFieldMapNodes);
        for (int i = 0; i < kFieldMapSize; i++) {
            for (int j = 0; j < kFieldMapSize; j++) {
                map->planes[k].field[46 * i + j] = {1.0 * i, k + 1.0, 2.0 * j};
            }
        }
    }
    return map;
}

TEST(FieldMapLookup, InterpolatesOnTheTurnedGrid) {
    auto map = linearMap();
    // Node (i, j) lies at u = 0.05 (i + j) - 2.45, w = 0.05 (i - j).
    Vec3 node = fieldMapLookup(*map, 0.05 * (30 + 12) - 2.45, 0, 0.05 * (30 - 12));
    EXPECT_NEAR(node.x, 30, 1e-9);
    EXPECT_NEAR(node.z, 24, 1e-9);
    // Between nodes: a = (u + w + 2.45)/0.1, b = (u - w + 2.45)/0.1.
    double u = 0.123, w = -0.456;
    Vec3 between = fieldMapLookup(*map, u, 0.01, w);
    EXPECT_NEAR(between.x, (u + w + 2.45) / 0.1, 1e-9);
    EXPECT_NEAR(between.z, 2 * (u - w + 2.45) / 0.1, 1e-9);
}

TEST(FieldMapLookup, HeightsMirrorAndLimits) {
    auto map = linearMap();
    auto by = [&](double y) { return fieldMapLookup(*map, 0, y, 0).y; };
    EXPECT_DOUBLE_EQ(by(0), 1);
    EXPECT_DOUBLE_EQ(by(0.025), 1.5);
    EXPECT_DOUBLE_EQ(by(0.075), 2.5);
    EXPECT_NEAR(by(0.12), 3 * (0.01 / 0.03) + 4 * (0.02 / 0.03), 1e-12);
    EXPECT_DOUBLE_EQ(by(0.14), 4);
    EXPECT_DOUBLE_EQ(by(0.1499), 4);
    EXPECT_DOUBLE_EQ(by(0.15), 0);
    EXPECT_DOUBLE_EQ(by(-0.025), 1.5);
    // Below the midplane the horizontal components change sign.
    Vec3 up = fieldMapLookup(*map, 0.3, 0.07, 0.2), down = fieldMapLookup(*map, 0.3, -0.07, 0.2);
    EXPECT_DOUBLE_EQ(down.x, -up.x);
    EXPECT_DOUBLE_EQ(down.y, up.y);
    EXPECT_DOUBLE_EQ(down.z, -up.z);
}

TEST(FieldMapLookup, ZeroOutsideTheGrid) {
    auto map = linearMap();
    // The far corners of the grid are still inside; a hair beyond is not.
    EXPECT_NEAR(fieldMapLookup(*map, 2.05, 0, 0).x, 45, 1e-9);  // a = b = 45
    EXPECT_EQ(fieldMapLookup(*map, 2.0501, 0, 0).y, 0);
    EXPECT_NE(fieldMapLookup(*map, -2.45, 0, 0).y, 0);  // a = b = 0
    EXPECT_EQ(fieldMapLookup(*map, -2.4501, 0, 0).y, 0);
    EXPECT_EQ(fieldMapLookup(*map, -0.2, 0, 2.26).y, 0);  // b < 0
    EXPECT_EQ(fieldMapLookup(*map, NAN, 0, 0).y, 0);
    EXPECT_EQ(fieldMapLookup(*map, 0, NAN, 0).y, 0);
    map->planes[2].field.clear();
    EXPECT_EQ(fieldMapLookup(*map, 0, 0, 0).y, 0);
}

// ---- The demo bending magnet -------------------------------------------

class DemoFieldMap : public ::testing::Test {
  protected:
    void SetUp() override {
        for (int k = 0; k < kFieldMapPlanes; k++) {
            std::string name = format("dipole_y%02d.txt", kFieldMapHeightsCm[k]);
            std::string error;
            ASSERT_TRUE(readFieldMapPlane(demoDataFile(name), map->planes[k], error)) << error;
        }
    }
    const Vec3& node(int k, int i, int j) const { return map->planes[k].field[46 * i + j]; }
    std::unique_ptr<FieldMap> map = std::make_unique<FieldMap>();
};

constexpr double kCentreU = -0.2;        // the poles are centred on the map's footprint
constexpr double kGaussRounding = 2e-7;  // tesla: the files print 0.001 G

TEST_F(DemoFieldMap, DipoleFieldOfOneTesla) {
    Vec3 centre = fieldMapLookup(*map, kCentreU, 0, 0);
    EXPECT_NEAR(centre.y, 1.0, 0.005);
    EXPECT_NEAR(centre.x, 0, kGaussRounding);
    EXPECT_NEAR(centre.z, 0, kGaussRounding);
    // The midplane field is vertical everywhere.
    for (const Vec3& b : map->planes[0].field) {
        EXPECT_EQ(b.x, 0);
        EXPECT_EQ(b.z, 0);
    }
    // Field integral through the middle: about one tesla over the pole length
    // of one metre.
    double integral = 0;
    for (int k = -2250; k < 2250; k++)
        integral += fieldMapLookup(*map, kCentreU, 0, 0.001 * (k + 0.5)).y * 0.001;
    EXPECT_NEAR(integral, 1.0, 0.06);
    // Well outside the poles the field has died away, and at the edge of the
    // map it is too small for the cut to matter.
    EXPECT_LT(fieldMapLookup(*map, kCentreU, 0, 1.3).y, 0.01);
    EXPECT_LT(fieldMapLookup(*map, 1.3, 0, 0).y, 0.01);
    for (int k = 0; k < kFieldMapPlanes; k++) {
        for (int e = 0; e < kFieldMapSize; e++) {
            for (const Vec3* b :
                 {&node(k, 0, e), &node(k, 45, e), &node(k, e, 0), &node(k, e, 45)}) {
                EXPECT_LT(norm(*b), 1e-3);
            }
        }
    }
}

TEST_F(DemoFieldMap, SymmetricAboutTheMagnetCentre) {
    for (int k = 0; k < kFieldMapPlanes; k++) {
        for (int i = 0; i < kFieldMapSize; i++) {
            for (int j = 0; j < kFieldMapSize; j++) {
                // w -> -w swaps i and j; u -> 2 kCentreU - u maps (i, j) to (45 - j, 45 - i).
                const Vec3& b = node(k, i, j);
                const Vec3& alongMirror = node(k, j, i);
                const Vec3& acrossMirror = node(k, 45 - j, 45 - i);
                ASSERT_NEAR(alongMirror.x, b.x, kGaussRounding);
                ASSERT_NEAR(alongMirror.y, b.y, kGaussRounding);
                ASSERT_NEAR(alongMirror.z, -b.z, kGaussRounding);
                ASSERT_NEAR(acrossMirror.x, -b.x, kGaussRounding);
                ASSERT_NEAR(acrossMirror.y, b.y, kGaussRounding);
                ASSERT_NEAR(acrossMirror.z, b.z, kGaussRounding);
            }
        }
    }
}

TEST_F(DemoFieldMap, CurlFreeBetweenThePlanes) {
    // dBw/dy = dBy/dw and dBu/dy = dBy/du, with the horizontal derivatives by
    // central differences over +-0.1 m and the vertical ones between planes;
    // the coarse grid (5 cm between planes, 10 cm across them, against a
    // fringe field that changes over 15 cm) leaves up to a sixth of the
    // largest gradient, while a swapped or mis-signed component would be off
    // by the whole gradient.
    const double heights[kFieldMapPlanes] = {0, 0.05, 0.10, 0.13};
    double largest = 0, worst = 0;
    for (int k = 0; k + 1 < kFieldMapPlanes; k++) {
        double dy = heights[k + 1] - heights[k];
        for (int i = 1; i < 45; i++) {
            for (int j = 1; j < 45; j++) {
                auto dByAlong = [&](int p) {
                    return (node(p, i + 1, j - 1).y - node(p, i - 1, j + 1).y) / 0.2;
                };
                auto dByAcross = [&](int p) {
                    return (node(p, i + 1, j + 1).y - node(p, i - 1, j - 1).y) / 0.2;
                };
                double along = 0.5 * (dByAlong(k) + dByAlong(k + 1));
                double across = 0.5 * (dByAcross(k) + dByAcross(k + 1));
                double dBwdy = (node(k + 1, i, j).z - node(k, i, j).z) / dy;
                double dBudy = (node(k + 1, i, j).x - node(k, i, j).x) / dy;
                largest = std::max({largest, std::fabs(along), std::fabs(across)});
                worst = std::max({worst, std::fabs(along - dBwdy), std::fabs(across - dBudy)});
            }
        }
    }
    EXPECT_GT(largest, 1.0);  // T/m: the fringe field is there to test
    EXPECT_LT(worst, 0.2 * largest);
}

}  // namespace
