// pelto-tool run, as lattice authors and scripts run it.
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "beamline/tracking/simd.hpp"
#include "support/test_support.hpp"

namespace {

struct RunTool : ::testing::Test {
    ScratchFolder dir;
    CommandResult tool(const std::string& args, const std::string& environment = "") {
        return runCommand("cd '" + dir.path() + "' && " + environment +
                          " '" PELTO_TOOL_EXE "' run " + args);
    }
    static bool has(const CommandResult& r, const std::string& text) {
        return r.output.find(text) != std::string::npos;
    }
};

const char* const kDriftAndParticle =
    "t_max=2ns\n"
    "{Drift(D) Length(m)}\n"
    "{particle(P) species Energy(MeV)}\n"
    "D1 1\n"
    "P1 'mu+' 200\n"
    "LINE: P1, D1;\n"
    "LINE\n";

}  // namespace

TEST_F(RunTool, BuildsADriftAndAParticleCell) {
    dir.write("lattices/one.txt", kDriftAndParticle);
    CommandResult r =
        tool("lattices/one.txt --seed 17 --threads 1 -param:D1.length=2 --dump b.csv");
    EXPECT_TRUE(has(r, "Using seed 17\n")) << r.output;
    EXPECT_TRUE(has(r, "Done adding components")) << r.output;
    EXPECT_TRUE(has(r, "genome \n")) << r.output;
    EXPECT_EQ(dir.read("b.csv").substr(0, 52),
              "id,species,state,weight,x,y,z,ux,uy,uz,t,properTime\n");
    EXPECT_EQ(r.status, 0) << r.output;
    EXPECT_TRUE(has(r, "score ")) << r.output;
    EXPECT_TRUE(has(r, "Mpts/s on 1 threads\n")) << r.output;
    EXPECT_TRUE(has(r, "end time ")) << r.output;
}

TEST_F(RunTool, FailuresEndWithStatusOne) {
    dir.write("lattices/empty.txt", "");
    CommandResult r = tool("lattices/empty.txt");
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(has(r, "[FATAL] parser.machine is still NULL")) << r.output;

    dir.write("lattices/new.txt", "!MINVER 99\nD1 1\nL: D1, D1;\nL\n");
    r = tool("lattices/new.txt");
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(has(r, "could not be interpreted; no run was built")) << r.output;

    EXPECT_EQ(tool("lattices/absent.txt").status, 1);
    EXPECT_EQ(tool("").status, 1);
    dir.write("lattices/one.txt", kDriftAndParticle);
    EXPECT_EQ(tool("lattices/one.txt --threads 0").status, 1);
    EXPECT_EQ(tool("lattices/one.txt --seed x").status, 1);
    r = tool("lattices/one.txt --dump /tmp/pelto-outside.csv");
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(has(r, "Refused dump file name")) << r.output;
}

TEST_F(RunTool, MatterNamesItsScatteringTable) {
    dir.write("lattices/one.txt", kDriftAndParticle);
    runCommand("mkdir -p '" + dir.path() +
               "/datafiles' && cp '" PELTO_SOURCE_DIR "'/demo/datafiles/be_mu_* '" + dir.path() +
               "/datafiles/'");
    CommandResult r = tool("lattices/one.txt \"-param:D1.ScatterData='be_mu_%d.dat'\"");
    EXPECT_TRUE(has(r, "Done adding components")) << r.output;
    EXPECT_FALSE(has(r, "[WARNING]")) << r.output;

    r = tool("lattices/one.txt \"-param:D1.ScatterData='../be_mu_%d.dat'\"");
    EXPECT_TRUE(has(r, "[WARNING] Refused scattering table name '../be_mu_%d.dat'")) << r.output;
    r = tool("lattices/one.txt \"-param:D1.ScatterData='none_%d.dat'\"");
    EXPECT_TRUE(has(r, "[WARNING]")) << r.output;
}

TEST_F(RunTool, DemoDecayChannelGivesTheSameRunOnAnyThreadsAndVectorWidth) {
    // The first ns of the demo channel (its 4000 rod-source pions start at
    // 5 ns): 100 steps with decays. Score line and final beam must not
    // depend on the threads, nor on the vector width PELTO_SIMD forces.
    runCommand("cp -r '" PELTO_SOURCE_DIR "'/demo/lattices '" PELTO_SOURCE_DIR
               "'/demo/datafiles '" +
               dir.path() + "/'");
    std::vector<std::pair<std::string, int>> runs{{"scalar", 1}, {"scalar", 2}, {"scalar", 3}};
    for (const std::string& width : simdAvailable()) {
        if (width != "scalar") runs.push_back({width, 1});
    }
    runs.push_back({"auto", 3});
    std::string score[2], dump[2];
    for (size_t i = 0; i < runs.size(); i++) {
        const auto& [width, threads] = runs[i];
        const std::string file = "d" + std::to_string(i) + ".csv";
        CommandResult r = tool("lattices/decay_channel.txt --seed 5 --level 500 --threads " +
                                   std::to_string(threads) + " -param:t_max=6e-9 --dump " + file,
                               "PELTO_SIMD=" + width);
        ASSERT_EQ(r.status, 0) << r.output;
        ASSERT_NE(r.output.find("after 100 steps"), std::string::npos) << r.output;
        size_t at = r.output.find("score ");
        ASSERT_NE(at, std::string::npos) << r.output;
        const size_t k = i == 0 ? 0 : 1;
        score[k] = r.output.substr(at, r.output.find('\n', at) - at);
        dump[k] = dir.read(file);
        if (dump[k].find('\n') + 1 == dump[k].size()) {
            GTEST_SKIP() << "this build cannot make the demo channel's beam";
        }
        EXPECT_EQ(score[k], score[0]) << width << " on " << threads << " threads";
        EXPECT_TRUE(dump[k] == dump[0]) << width << " on " << threads << " threads";
    }
}

TEST_F(RunTool, DemoBendAndRfLatticeTracks) {
    // The demo's bunch through its collimator, bend and two cavities: the
    // synchronous particle reaches both cavities, the collimator stops the
    // outer muons and the rest go on.
    runCommand("cp -r '" PELTO_SOURCE_DIR "'/demo/lattices '" PELTO_SOURCE_DIR
               "'/demo/datafiles '" +
               dir.path() + "/'");
    CommandResult r = tool(
        "lattices/muon_bend_rf.txt --seed 3 --level 500 --threads 1 "
        "-param:t_max=15e-9");
    ASSERT_EQ(r.status, 0) << r.output;
    EXPECT_TRUE(has(r, "Tracking central particle to synchronise RF phases... Done")) << r.output;
    EXPECT_FALSE(has(r, "falling back")) << r.output;
    EXPECT_TRUE(has(r, "\nActive 8 ")) << r.output;
    EXPECT_TRUE(has(r, "\nStopped 3 ")) << r.output;
}

TEST_F(RunTool, ParamValuesTakeTheirUnits) {
    dir.write("lattices/one.txt", kDriftAndParticle);
    // 0.5 ns, not 0.5 s: the particle is still in the drift when the run ends.
    CommandResult r = tool("lattices/one.txt --seed 1 --threads 1 -param:t_max=0.5ns");
    ASSERT_EQ(r.status, 0) << r.output;
    EXPECT_TRUE(has(r, "end time 0.5")) << r.output;
    // An attribute in MeV is the same run as one in joules, and not one of
    // as many joules.
    std::string dumps[3];
    const char* energies[3] = {"100MeV", "1.602176462e-11", "100"};
    for (int i = 0; i < 3; i++) {
        r = tool(std::string("lattices/one.txt --seed 1 --threads 1 -param:t_max=3ns --dump d.csv "
                             "-param:P1.Energy=") +
                 energies[i]);
        ASSERT_EQ(r.status, 0) << r.output;
        dumps[i] = dir.read("d.csv");
    }
    EXPECT_TRUE(dumps[0] == dumps[1]);
    EXPECT_FALSE(dumps[0] == dumps[2]);
    r = tool("lattices/one.txt --seed 1 -param:t_max=5xs");
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(has(r, "[FATAL] -param:t_max=5xs: '5xs' is not a number with a known unit"))
        << r.output;
}
