// Building a run from lattice text: overrides, simulation parameters, seeds,
// legacy lattices, inserted cells and the build proper.
#include "beamline/build/setup.hpp"

#include <gtest/gtest.h>

#include "model/cell_submap.hpp"
#include "support/test_support.hpp"

namespace {

const char* const kLattice =
    "t_max=1us\n"
    "seed=1000\n"
    "seedpitch=7\n"
    "{Drift(D) Length(m)}\n"
    "{Solenoid-extra(Sol) Radius(m) Field(T) Length(m)}\n"
    "{circular-aperture(Ap) Radius(m)}\n"
    "D1 1.5\n"
    "Sol1 0.3 1 1.5\n"
    "Ap 0.2\n"
    "LINE: Ap, D1, Sol1;\n"
    "LINE\n";

struct Setup : ::testing::Test {
    MessageRecorder messages;
    Genome genome;
    SetupOutcome outcome;

    Simulation build(const std::string& text, const std::string& name = "plain",
                     const std::string& commandLine = "", bool recheck = false, uint32_t run = 0) {
        messages.keys = {'a'};
        SetupRequest request;
        request.latticeName = name;
        request.latticeText = text;
        request.commandLine = commandLine;
        request.recheck = recheck;
        request.recheckRun = run;
        request.verbose = false;
        return setupSimulation(request, genome, &outcome);
    }
    bool said(const std::string& text) const {
        return messages.output.find(text) != std::string::npos;
    }
    static std::vector<std::string> names(const Cell& root) {
        std::vector<std::string> out;
        for (const CellPtr& c : root.children) out.push_back(c->name);
        return out;
    }
};

}  // namespace

TEST_F(Setup, ParameterOverridesChangeWhatTheyNameAndCount) {
    Simulation s = build(kLattice, "plain", "pelto -c -param:dt=5e-12 -PARAM:Sol1.field=2");
    ASSERT_TRUE(s.root);
    EXPECT_EQ(outcome.overrides, 2);
    EXPECT_EQ(s.dt, 5e-12);
    EXPECT_EQ(s.t_max, 1e-6);  // from the lattice, untouched
    Cell* sol = findChild(*s.root, "Sol1");
    ASSERT_TRUE(sol);
    EXPECT_EQ(cellAttributeKind(*sol, "field"), AttributeNumber);
    EXPECT_EQ(cellNumber(*sol, "Field"), 2);

    s = build(kLattice, "plain", "-param:Ap.outputfile='x.csv' -param:Ap.label=\"a b\"");
    Cell* ap = findChild(*s.root, "Ap");
    ASSERT_TRUE(ap && cellText(*ap, "outputfile"));
    EXPECT_EQ(*cellText(*ap, "outputfile"), "x.csv");
    // A token ends at the first blank, quotes or not: "a loses its quote
    // and its last letter.
    EXPECT_EQ(*cellText(*ap, "label"), "");

    // Without "=" nothing changes, but the word still counts; so does one
    // naming a cell the lattice lacks.
    s = build(kLattice, "plain", "-param:dt -param:Nobody.x=3 -param:n_decays=4.9");
    EXPECT_EQ(outcome.overrides, 3);
    EXPECT_EQ(s.dt, 1e-11);
    EXPECT_EQ(s.n_decays, 4);
}

TEST_F(Setup, SimulationParametersAndAllowMasks) {
    Simulation s = build(kLattice, "plain",
                         "-param:allow_mu-=0 -param:allow_nothing=0 -param:decays_off=3 "
                         "-param:errrate=0.5 -param:seed=-1");
    EXPECT_EQ(s.decays_off, 1);
    EXPECT_EQ(s.scattering_off, 0);
    EXPECT_EQ(s.errrate, 0.5);
    EXPECT_EQ(s.seed, 4294967295u);  // -1 as an unsigned 32-bit number
    EXPECT_FALSE(speciesAllowed(s, MuMinus));
    EXPECT_TRUE(speciesAllowed(s, MuPlus));
    EXPECT_TRUE(said("[WARNING] Unrecognised particle species 'nothing'"));
}

TEST_F(Setup, RecheckRunsOffsetTheSeed) {
    Simulation s = build(kLattice, "plain", "", true, 3);
    EXPECT_EQ(s.seed, 1000u);
    EXPECT_EQ(s.effectiveSeed, 1021u);
    EXPECT_TRUE(said("Using seed 1000+7*3 = 1021"));

    messages.output.clear();
    s = build(kLattice, "plain", "", false, 3);
    EXPECT_EQ(s.effectiveSeed, 1000u);
    EXPECT_TRUE(said("Using seed 1000"));
    EXPECT_FALSE(said("Using seed 1000+"));
}

TEST_F(Setup, LegacyLatticesGetTheirFixedSettings) {
    struct Case {
        const char* name;
        double tMax;
        double bore;  // of the drift D1; -1 when it has none
    };
    const Case cases[] = {
        {"SolenoidsTo15cm", 2e-7, 0.5},
        {"solenoidsonly", 2e-7, 0.5},
        {"chicanelinacb7", 1.2e-6, 1},
        {"ChicaneLattice2b", 3e-7, -1},
        {"v4.2best_x", 3e-7, -1},
        {"v4.2bestlinac", 1e-6, -1},
        {"plain", 1e-6, -1},
    };
    for (const Case& c : cases) {
        Simulation s = build(kLattice, c.name);
        EXPECT_EQ(s.t_max, c.tMax) << c.name;
        Cell* drift = findChild(*s.root, "D1");
        EXPECT_EQ(cellHas(*drift, "Bore") ? cellNumber(*drift, "Bore") : -1, c.bore) << c.name;
    }
    // An existing bore is kept where only missing ones are set.
    Simulation s =
        build(std::string("{Drift(D) Length(m) Bore(m)}\nD1 1 0.2\nD2 1\nL: D1, D2;\nL\n"),
              "chicanelinacb");
    ASSERT_TRUE(findChild(*s.root, "D1") && findChild(*s.root, "D2"));
    EXPECT_EQ(cellNumber(*findChild(*s.root, "D1"), "Bore"), 0.2);
    EXPECT_EQ(cellNumber(*findChild(*s.root, "D2"), "Bore"), 1);
}

TEST_F(Setup, DomeLatticesGetTwoBlockagesInFront) {
    Simulation s = build(kLattice, "DecayRotB");
    ASSERT_GE(s.root->childCount(), 2);
    const Cell& annulus = *s.root->children[0];
    const Cell& cylinder = *s.root->children[1];
    EXPECT_EQ(annulus.name, "dome_annulus");
    EXPECT_EQ(annulus.typeName, "Annulus-blockage");
    EXPECT_EQ(cellNumber(annulus, "InnerRadius"), 0.4);
    EXPECT_EQ(cellNumber(annulus, "Z"), -0.1);
    EXPECT_EQ(cylinder.name, "dome_cylinder");
    EXPECT_EQ(cellNumber(cylinder, "radius"), 0.5);
    EXPECT_EQ(cellNumber(cylinder, "Z"), -0.2);
    EXPECT_EQ(build(kLattice, "decayrotb2").root->children[0]->name, "Ap");
}

TEST_F(Setup, MomentsAperturesEveryTwissInterval) {
    // Two elements of length 1.5 and interval 1: apertures at arclengths 0,
    // 1, 2 and 3, two before each element.
    Simulation s = build(kLattice, "plain", "-param:twiss_interval=1");
    EXPECT_EQ(names(*s.root), (std::vector<std::string>{"Ap", "auto-twiss", "auto-twiss", "D1",
                                                        "auto-twiss", "auto-twiss", "Sol1"}));
    const double z[] = {0, 1, 0.5, 1.5};
    const int at[] = {1, 2, 4, 5};
    for (int i = 0; i < 4; i++) {
        const Cell& aperture = *s.root->children[at[i]];
        EXPECT_EQ(aperture.typeName, "moments-aperture");
        EXPECT_EQ(cellNumber(aperture, "Z"), z[i]);
        // Placed where its element starts.
        EXPECT_EQ(aperture.arcStart, i < 2 ? 0 : 1.5);
    }
}

TEST_F(Setup, TheBuildPlacesTypesAndGrids) {
    std::string text = std::string(kLattice);
    text.replace(text.find("LINE: Ap, D1, Sol1;"), 19, "LINE: Ap, D1, Sol1, Q1;");
    text = "{Quadrupole(Q) Length(m)}\nQ1 1\n" + text;
    Simulation s = build(text);
    ASSERT_TRUE(s.root);
    EXPECT_TRUE(said("[WARNING] Unknown cell type: Quadrupole"));
    EXPECT_FALSE(said("Unknown cell type: Solenoid-extra"));
    EXPECT_FALSE(said("Unknown cell type: circular-aperture"));
    EXPECT_TRUE(said("Adding components to simulation space"));
    EXPECT_TRUE(said("Done adding components"));
    EXPECT_TRUE(said("Normalising beam..."));
    EXPECT_TRUE(s.root->subMap);
    EXPECT_EQ(findChild(*s.root, "Q1")->arcStart, 3);
    // No source in the lattice: an empty beam starts at the far future.
    EXPECT_EQ(s.beam.particles.size(), 0u);
    EXPECT_EQ(s.time, 1e20);
}

TEST_F(Setup, ALatticeThatCannotBeInterpretedBuildsNothing) {
    MessageRecorder local;
    local.keys = {'a'};
    setExitHook([](int status) { throw ProcessExit{status}; });
    SetupRequest request;
    request.latticeName = "empty";
    request.latticeText = "";
    request.verbose = false;
    Simulation s;
    EXPECT_THROW(s = setupSimulation(request, genome), ProcessExit);
    resetExitHook();
    EXPECT_FALSE(s.root);
}
