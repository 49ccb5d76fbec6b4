// Apertures: plates, energy windows and actions, output files and their
// names, per-thread files and their merge, moments sums, and particles that
// another component stops before they reach the plane.
#include "beamline/components/aperture.hpp"

#include <gtest/gtest.h>

#include <regex>

#include "beamline/simulation.hpp"
#include "beamline/species.hpp"
#include "beamline/tracking/tracking.hpp"
#include "common/text.hpp"
#include "model/relativity.hpp"
#include "platform/files.hpp"
#include "platform/process.hpp"
#include "support/test_support.hpp"
#include "tracking_fixtures.hpp"

namespace {

constexpr double kStep = 1e-11;
constexpr double kMeV = 1.602176462e-13;

struct Attr {
    const char* name;
    double number;
    const char* text = nullptr;
};

// A component that intercepts every particle at a fixed share of the step.
struct StubData {
    double share;
    int32_t state;
};
int stubIntercept(unsigned char* runData, const Particle&, const Particle& after, double t0,
                  double t1, const StepContext&, const ScatterData*, Particle& hit, double& when) {
    const auto& d = runDataAs<StubData>(runData);
    hit = after;
    hit.state = d.state;
    when = t0 + d.share * (t1 - t0);
    return 1;
}

struct Result {
    int got = 0;
    Particle hit;
    double when = 0;
};

struct Apertures : ::testing::Test {
    MessageRecorder messages;
    ScratchFolder dir;
    std::string previous = currentFolder();
    Simulation simulation;
    std::vector<CellPtr> cells;
    int configuredThreads = 1;  // of the run the crossings belong to

    void SetUp() override {
        speciesInit();
        ASSERT_TRUE(setCurrentFolder(dir.path()));
        messages.keys = {'a'};
    }
    void TearDown() override { setCurrentFolder(previous); }
    // An aperture of the type across z = 1.
    Cell& aperture(const char* type, std::initializer_list<Attr> attributes,
                   const char* name = "Ap") {
        CellPtr cell = cellCreate(Machine, name);
        cell->typeName = type;
        for (const Attr& a : attributes) {
            if (a.text) {
                cellSetText(*cell, a.name, a.text);
            } else {
                cellSetNumber(*cell, a.name, a.number);
            }
        }
        cell->placedFrame.origin = {0, 0, 1};
        cell->interceptFn = apertureFunctions.interceptFn;
        apertureFunctions.initFn(*cell, simulation);
        cells.push_back(cell);
        return *cell;
    }
    Cell& stub(double share, int32_t state) {
        CellPtr cell = cellCreate(Machine, "stub");
        runDataInit<StubData>(*cell) = {share, state};
        cell->interceptFn = stubIntercept;
        cells.push_back(cell);
        return *cell;
    }
    // A muon of 200 MeV/c crossing z = 1 at (x, y) about 0.38 of the way
    // through a step, with the given components nearby.
    static Particle muonAt(double x, double y, double weight = 1) {
        Particle p = movingParticle(MuPlus, 200, {0, 0, 1});
        p.position = {x, y, 0.999};
        p.weight = weight;
        return p;
    }
    Result cross(Cell& ap, Particle before, std::vector<Cell*> nearby = {}, int thread = 0) {
        if (nearby.empty()) nearby = {&ap};
        setNearbyList(before, nearby);
        Particle after = before;
        pushParticle(after, 0, kStep);
        Result r;
        StepContext context;
        context.threadIndex = thread;
        context.configuredThreads = configuredThreads;
        r.got =
            ap.interceptFn(ap.runData, before, after, 0, kStep, context, nullptr, r.hit, r.when);
        return r;
    }
    static const ApertureData& data(const Cell& ap) { return runDataAs<ApertureData>(ap.runData); }
    static std::vector<std::string> lines(const std::string& text) {
        std::vector<std::string> out;
        size_t start = 0;
        for (size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1) {
            out.push_back(text.substr(start, end - start));
        }
        return out;
    }
    std::string fileText(const std::string& name) const {
        std::string text;
        readWholeFile(name, text);
        return text;
    }
};

const char* const kHeader = "x,y(m),t(s),Vx,Vy,Vz(gamma m/s),species,wt";

}  // namespace

TEST_F(Apertures, PlatesStopTheRingAroundTheOpening) {
    struct Case {
        const char* type;
        std::initializer_list<Attr> attributes;
        double x, y;
        bool stopped;
    };
    const std::initializer_list<Attr> square = {
        {"x1", -0.1}, {"x2", 0.1}, {"y1", -0.1}, {"y2", 0.1}};
    for (const Case& c : {
             Case{"circular-aperture", {{"radius", 0.1}}, 0.5, 0, true},
             Case{"circular-aperture", {{"radius", 0.1}}, 0.05, 0, false},
             Case{"circular-aperture", {{"radius", 0.1}}, 1.2, 0, false},  // beyond the plate
             Case{"circular-aperture", {{"radius", 0.1}, {"centrex", 0.5}}, 0.5, 0, true},
             Case{"rectangular-aperture", square, 0.5, 0, true},
             Case{"rectangular-aperture", square, 0, 0.5, true},
             Case{"rectangular-aperture", square, 2, 0, false},
             Case{"rectangular-aperture", square, 0.05, -0.05, false},
             Case{"moments-aperture", {}, 0.5, 0, false},  // radius 1 by default
             Case{"moments-aperture", {}, 1.5, 0, true},
         }) {
        Cell& ap = aperture(c.type, c.attributes);
        Particle before = muonAt(c.x, c.y);
        Result r = cross(ap, before);
        ASSERT_EQ(r.got, 1) << c.type << " " << c.x;
        if (c.stopped) {
            EXPECT_EQ(r.hit.state, StateStopped) << c.type << " " << c.x << " " << c.y;
            EXPECT_NEAR(r.hit.position.z, 1, 1e-9);
            EXPECT_GT(r.when, 0.3 * kStep);
            EXPECT_LT(r.when, 0.5 * kStep);
        } else {
            // Crossed untouched: the step goes on to its end.
            EXPECT_EQ(r.hit.state, StateActive) << c.type << " " << c.x << " " << c.y;
            EXPECT_EQ(r.when, kStep);
            EXPECT_GT(r.hit.position.z, 1.001);
        }
    }
    // A particle that does not reach the plane is no hit.
    Cell& ap = aperture("circular-aperture", {{"radius", 0.1}});
    Particle far = muonAt(0.5, 0);
    far.position.z = 0.9;
    EXPECT_EQ(cross(ap, far).got, 0);
}

TEST_F(Apertures, WindowsActionsAndTheWrongEnergyRatios) {
    const double e = kineticEnergy(muonAt(0, 0));
    struct Case {
        const char* type;
        std::initializer_list<Attr> attributes;
        int32_t state;
        double t, nextDecay;  // the ratios of a WrongEnergy particle
    };
    for (const Case& c : {
             Case{"finish-aperture", {{"radius", 0.2}}, StateFinished, 0, 0},
             Case{"finish-aperture",
                  {{"radius", 0.2}, {"maxenergy", e / 2}},
                  StateWrongEnergy,
                  2,
                  0},
             Case{"finish-aperture",
                  {{"radius", 0.2}, {"minenergy", 4 * e}, {"maxenergy", 8 * e}},
                  StateWrongEnergy,
                  0.125,
                  0.25},
             Case{"finish-aperture",
                  {{"radius", 0.2}, {"minenergy", e / 2}, {"maxenergy", 2 * e}},
                  StateFinished,
                  0,
                  0},
             Case{"finish-aperture", {{"radius", 0.2}, {"stopping", 1}}, StateStopped, 0, 0},
             Case{"circular-aperture", {{"radius", 0.2}, {"action", 3}}, StateReimpact, 0, 0},
             Case{"circular-aperture",
                  {{"radius", 0.2}, {"maxenergy", e / 2}, {"altaction", 0}},
                  StateActive,
                  0,
                  0},
             Case{"circular-aperture",
                  {{"radius", 0.2}, {"maxenergy", e / 2}, {"altaction", 1}},
                  StateStopped,
                  0,
                  0},
         }) {
        Cell& ap = aperture(c.type, c.attributes);
        Result r = cross(ap, muonAt(0.01, 0));
        ASSERT_EQ(r.got, 1);
        EXPECT_EQ(r.hit.state, c.state) << c.type << " " << c.attributes.size();
        if (c.state == StateActive) {
            EXPECT_EQ(r.when, kStep);
            continue;
        }
        EXPECT_LT(r.when, kStep);
        if (c.state == StateWrongEnergy) {
            EXPECT_NEAR(r.hit.t, c.t, 1e-9);
            EXPECT_NEAR(r.hit.nextDecay, c.nextDecay, 1e-9);
        } else if (c.state != StateStopped || c.attributes.size() == 2) {
            // Inside the window the crossing time goes into properTime.
            EXPECT_EQ(r.hit.properTime, r.when);
        }
    }
}

TEST_F(Apertures, OutputFilesHoldOneLinePerParticleInTheWindow) {
    const double e = kineticEnergy(muonAt(0, 0));
    Cell& ap = aperture("output-aperture",
                        {{"radius", 0.2}, {"outputfile", 0, "out.csv"}, {"maxenergy", 2 * e}});
    EXPECT_STREQ(data(ap).outputfile, "out.csv");
    EXPECT_EQ(cross(ap, muonAt(0.01, -0.02, 0.5)).hit.state, StateActive);
    Particle fast = movingParticle(MuPlus, 500, {0, 0, 1});
    fast.position = {0, 0, 0.999};
    EXPECT_EQ(cross(ap, fast).hit.state, StateWrongEnergy);        // outside: not written
    EXPECT_EQ(cross(ap, muonAt(0.5, 0)).hit.state, StateStopped);  // on the plate: not written

    std::vector<std::string> written = lines(fileText("out.csv"));
    ASSERT_EQ(written.size(), 2u) << fileText("out.csv");
    EXPECT_EQ(written[0], kHeader);
    std::smatch m;
    ASSERT_TRUE(std::regex_match(written[1], m,
                                 std::regex("([^,]+),([^,]+),([^,]+),([^,]+),"
                                            "([^,]+),([^,]+),mu\\+,0\\.5")))
        << written[1];
    EXPECT_NEAR(std::stod(m[1]), 0.01, 1e-12);
    EXPECT_NEAR(std::stod(m[2]), -0.02, 1e-12);
    EXPECT_GT(std::stod(m[3]), 0);
    EXPECT_NEAR(std::stod(m[6]), 200 * kMeVc / mass(MuPlus), 1e-3);
}

TEST_F(Apertures, OutputNamesStayInTheProgramFolder) {
    const std::regex dated("output_Out1_\\d{4}-[A-Z][a-z]{2}-\\d{2}_\\d{2}-\\d{2}-\\d{2}\\.csv");
    EXPECT_TRUE(std::regex_match(
        std::string(data(aperture("output-aperture", {}, "Out1")).outputfile), dated));
    EXPECT_STREQ(data(aperture("circular-aperture", {})).outputfile, "");
    for (const char* bad : {"../x.csv", "/tmp/x.csv", "sub/x.csv", "x.csv$thread$1", ""}) {
        messages.output.clear();
        Cell& ap = aperture("circular-aperture", {{"outputfile", 0, bad}}, "Out1");
        EXPECT_TRUE(std::regex_match(std::string(data(ap).outputfile), dated)) << bad;
        EXPECT_NE(messages.output.find("[WARNING] Refused output file name"), std::string::npos)
            << bad;
    }
}

TEST_F(Apertures, AParticleStoppedBeforeThePlaneIsNeverRecorded) {
    struct Case {
        double share;  // when the other component intercepts, as a share of the step
        int32_t state;
        bool recorded;
    };
    // The muon reaches the plane 0.38 of the way through the step.
    for (Case c : {Case{0.2, StateStopped, false}, Case{0.2, StateActive, false},
                   Case{0.9, StateStopped, true}, Case{1.0, StateActive, true}}) {
        removeFile("out.csv");
        Cell& out = aperture("output-aperture", {{"radius", 0.2}, {"outputfile", 0, "out.csv"}});
        Cell& moments = aperture("moments-aperture", {});
        Cell& other = stub(c.share, c.state);
        cross(out, muonAt(0, 0), {&other, &out});
        cross(moments, muonAt(0, 0), {&out, &moments, &other});
        EXPECT_EQ(lines(fileText("out.csv")).size(), c.recorded ? 2u : 0u) << c.share;
        EXPECT_EQ(data(moments).sums[SumWeight], c.recorded ? 1 : 0) << c.share;
    }
}

TEST_F(Apertures, ThreadFilesAreMergedAfterTheRun) {
    appendToFile("out.csv", std::string(kHeader) + "\nan earlier run\n");
    // The run's thread count reaches the apertures through the step context.
    configuredThreads = 3;
    Cell& ap = aperture("output-aperture", {{"radius", 0.2}, {"outputfile", 0, "out.csv"}});
    for (int thread : {2, 0, 1, 2}) cross(ap, muonAt(0.001 * thread, 0), {}, thread);
    for (const char* name : {"out.csv$thread$0", "out.csv$thread$1", "out.csv$thread$2"}) {
        EXPECT_TRUE(fileExists(name)) << name;
    }
    mergeThreadOutputs();
    std::vector<std::string> merged = lines(fileText("out.csv"));
    // The earlier run's lines, then each thread file with its own header, in
    // thread order.
    ASSERT_EQ(merged.size(), 2u + 3 + 4);
    EXPECT_EQ(merged[1], "an earlier run");
    EXPECT_EQ(merged[2], kHeader);
    EXPECT_EQ(merged[3].substr(0, 2), "0,");
    EXPECT_EQ(merged[4], kHeader);
    EXPECT_EQ(merged[5].substr(0, 6), "0.001,");
    EXPECT_EQ(merged[6], kHeader);
    EXPECT_EQ(merged[7].substr(0, 6), "0.002,");
    EXPECT_EQ(listFolder(".", true), std::vector<std::string>{"out.csv"});
}

TEST_F(Apertures, MomentsSummariseTheWeightedBeam) {
    Cell& ap = aperture("moments-aperture", {}, "M1");
    ap.arcStart = 2;  // the plane lies 1 m into the element, 3 m along the line
    cross(ap, muonAt(0.01, 0, 1));
    cross(ap, muonAt(0.03, 0, 3));
    aperture("circular-aperture", {{"radius", 0.2}});  // not a moments aperture
    CellPtr root = cellCreate(Composite, "line");
    insertChild(*root, cells[0], -1);
    insertChild(*root, cells[1], -1);
    std::vector<MomentsSummary> all = momentsSummaries(*root);
    ASSERT_EQ(all.size(), 1u);
    const MomentsSummary& m = all[0];
    EXPECT_EQ(m.name, "M1");
    EXPECT_DOUBLE_EQ(m.s, 3);
    EXPECT_DOUBLE_EQ(m.weight, 4);
    // Mean (0.01 + 3 x 0.03)/4; rms sqrt((1e-4 + 3 x 9e-4)/4 - mean^2).
    EXPECT_NEAR(m.mean[0], 0.025, 1e-12);
    EXPECT_NEAR(m.rms[0], std::sqrt(7.5e-5), 1e-9);
    EXPECT_NEAR(m.rms[1], 0, 1e-12);
    EXPECT_NEAR(m.mean[2], kineticEnergy(muonAt(0, 0)) / kMeV, 1e-6);
    const std::string start = "moments M1 s=3 weight=4 x=0.025±0.00866 y=0±0 E=";
    EXPECT_EQ(momentsLine(m).substr(0, start.size()), start);
}

// The normalised rms emittance is the area of the beam's x-gbx ellipse about
// its centre: the spread of each alone when they are independent, nothing
// when the angle follows the position, whatever the centre.
TEST_F(Apertures, MomentsGiveNormalisedEmittances) {
    struct Point {
        double x, gbx;
    };
    struct Case {
        const char* what;
        std::vector<Point> points;
        double enxMm;
    };
    const double c = kSpeedOfLight;
    const Case cases[] = {
        {"independent", {{0.01, 0.2}, {-0.01, 0.2}, {0.01, -0.2}, {-0.01, -0.2}}, 0.01 * 0.2 * 1e3},
        {"off centre", {{0.03, 0.5}, {0.01, 0.5}, {0.03, 0.1}, {0.01, 0.1}}, 0.01 * 0.2 * 1e3},
        {"correlated", {{0.01, 0.2}, {-0.01, -0.2}, {0.02, 0.4}}, 0},
    };
    for (const Case& k : cases) {
        Cell& ap = aperture("moments-aperture", {}, "M");
        auto& d = runDataAs<ApertureData>(ap.runData);
        // The y plane gets the x plane's points doubled in size: four times the area.
        for (const Point& p : k.points) {
            momentsAdd(d, {p.x, 2 * p.x, 0}, {p.gbx * c, 2 * p.gbx * c, c}, 1e-11, 0, 1);
        }
        CellPtr root = cellCreate(Composite, "line");
        insertChild(*root, cells.back(), -1);
        std::vector<MomentsSummary> all = momentsSummaries(*root);
        ASSERT_EQ(all.size(), 1u) << k.what;
        EXPECT_NEAR(all[0].emittance[0], k.enxMm, 1e-6) << k.what;
        EXPECT_NEAR(all[0].emittance[1], 4 * k.enxMm, 1e-6) << k.what;
        EXPECT_NE(momentsLine(all[0]).find(
                      format(" enx=%.4g eny=%.4g mm", all[0].emittance[0], all[0].emittance[1])),
                  std::string::npos)
            << momentsLine(all[0]);
    }
}
