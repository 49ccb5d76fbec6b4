// The demo lattices are what new users and the README examples run: they
// must interpret cleanly, with no warning, and make the beamlines they describe.
#include <gtest/gtest.h>

#include "lattice/parser.hpp"
#include "platform/process.hpp"
#include "support/test_support.hpp"

namespace {

struct DemoLattice : ::testing::Test {
    MessageRecorder rec;
    Genome genome;
    CellPtr params;
    std::string saved = currentFolder();

    void SetUp() override {
        setMissingLevelRule([](std::string_view, const Genome&) { return 0; });
        ASSERT_TRUE(setCurrentFolder(PELTO_SOURCE_DIR "/demo"));
    }
    void TearDown() override {
        setCurrentFolder(saved);
        resetMissingLevelRule();
    }
    std::vector<std::string> names(const Cell& line) {
        std::vector<std::string> out;
        for (const CellPtr& c : line.children) out.push_back(c->name);
        return out;
    }
};

}  // namespace

TEST_F(DemoLattice, DecayChannel) {
    CellPtr root = loadlattice("decay_channel", genome, true, &params);
    ASSERT_TRUE(root) << rec.output;
    EXPECT_EQ(rec.output.find("[WARNING]"), std::string::npos) << rec.output;
    EXPECT_EQ(names(*root),
              (std::vector<std::string>{"Rod1", "S0", "D0", "S1", "D1", "S2", "D2", "S3", "D3",
                                        "S4", "D4", "S4", "D4", "S4", "D4"}));
    EXPECT_EQ(genomeToText(genome),
              "capturefield=000;s1f=000;d1l=000;s2f=000;d2l=000;s3f=000;d3l=000;s4f=000;d4l=000;");
    EXPECT_DOUBLE_EQ(cellNumber(*root->children[1], "Field"), 8);
    EXPECT_DOUBLE_EQ(cellNumber(*root->children[3], "Field"), -5);
    EXPECT_EQ(*cellText(*root->children[0], "File"), "rod_piplus.csv");
    EXPECT_EQ(*cellText(*root->children[0], "Species"), "pi+");
    EXPECT_DOUBLE_EQ(cellNumber(*params, "t_max"), 2e-7);
    EXPECT_DOUBLE_EQ(cellNumber(*params, "dt"), 1e-11);
}

TEST_F(DemoLattice, Dogleg) {
    CellPtr root = loadlattice("dogleg", genome, false, &params);
    ASSERT_TRUE(root) << rec.output;
    EXPECT_EQ(rec.output.find("[WARNING]"), std::string::npos) << rec.output;
    EXPECT_EQ(names(*root), (std::vector<std::string>{"Rod1", "S0", "S11", "D11", "S12", "D12",
                                                      "S13", "D13", "D0", "B1", "D0", "~B1", "D0",
                                                      "D13", "S13", "D12", "S12", "D11", "S11"}));
    const Cell& bend = *root->children[9];
    const Cell& back = *root->children[11];
    EXPECT_EQ(bend.typeName, "BMagnet");
    EXPECT_DOUBLE_EQ(cellNumber(bend, "Angle"), 0.3);
    EXPECT_DOUBLE_EQ(cellNumber(back, "Angle"), -0.3);
    EXPECT_EQ(*cellText(back, "File4"), "dipole_y13.txt");
}

TEST_F(DemoLattice, MuonBendRf) {
    CellPtr root = loadlattice("muon_bend_rf", genome, false, &params);
    ASSERT_TRUE(root) << rec.output;
    EXPECT_EQ(rec.output.find("[WARNING]"), std::string::npos) << rec.output;
    std::vector<std::string> expected;
    for (int i = 0; i <= 10; i++) expected.push_back("MU" + std::to_string(i));
    for (const char* name : {"REF", "S1", "D1", "W1", "B1", "D2", "C1", "C2", "D3", "FIN1"}) {
        expected.push_back(name);
    }
    EXPECT_EQ(names(*root), expected);
    EXPECT_EQ(root->children[11]->typeName, "Synchronous-particle");
    EXPECT_EQ(*cellText(*root->children[11], "species"), "mu-");
    EXPECT_EQ(root->children[14]->typeName, "Annulus-blockage");
    EXPECT_DOUBLE_EQ(cellNumber(*root->children[15], "Angle"), -0.3);
    EXPECT_DOUBLE_EQ(cellNumber(*root->children[17], "Frequency"), 201.25e6);
    EXPECT_DOUBLE_EQ(cellNumber(*root->children[17], "Voltage"), 4e6);
}
