// The demo front end through pelto-tool run: a positive score that does not
// depend on the thread count, one moments line per moments aperture, and the
// output aperture's file; and an output aperture behind a wall.
#include <gtest/gtest.h>

#include <regex>

#include "support/test_support.hpp"

namespace {

struct FrontEnd : ::testing::Test {
    ScratchFolder dir;
    void SetUp() override {
        // The demo lattice as it is, with the first 300 pions of its list.
        const std::string demo = PELTO_SOURCE_DIR "/demo";
        CommandResult copy = runCommand(
            "cd '" + dir.path() + "' && mkdir -p lattices datafiles && cp '" + demo +
            "/lattices/front_end.txt' lattices/ && cp '" + demo + "'/datafiles/ta_pi_* '" + demo +
            "'/datafiles/dipole_y* datafiles/ && head -n 301 '" + demo +
            "/datafiles/rod_piminus.csv' > datafiles/rod_piminus.csv");
        ASSERT_EQ(copy.status, 0) << copy.output;
    }
    CommandResult tool(const std::string& args) {
        return runCommand("cd '" + dir.path() + "' && '" PELTO_TOOL_EXE "' run " + args);
    }
    static std::string field(const std::string& output, const std::string& pattern) {
        std::smatch m;
        return std::regex_search(output, m, std::regex(pattern)) ? m[1].str() : "";
    }
    // Lines of the file, and how many of them are headers.
    std::vector<std::string> lines(const std::string& name, int& headers) const {
        std::vector<std::string> out;
        std::string text = dir.read(name);
        headers = 0;
        size_t start = 0;
        for (size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1) {
            std::string line = text.substr(start, end - start);
            if (line == "x,y(m),t(s),Vx,Vy,Vz(gamma m/s),species,wt") {
                headers++;
            } else {
                out.push_back(line);
            }
        }
        return out;
    }
};

}  // namespace

TEST_F(FrontEnd, ScoresTheSameOnOneAndTwoThreadsAndRecordsTheBeam) {
    CommandResult one = tool("lattices/front_end.txt --seed 11 --level 500 --threads 1");
    ASSERT_EQ(one.status, 0) << one.output;
    const std::string score = field(one.output, "score (-?[0-9.]+)\n");
    ASSERT_FALSE(score.empty()) << one.output;
    EXPECT_GT(std::stod(score), 0) << one.output;

    // The three moments apertures, in beamline order.
    std::regex moments(
        "\nmoments (M0|M5|M10) s=(\\S+) weight=(\\S+) x=\\S+±\\S+ y=\\S+±\\S+ "
        "E=\\S+±\\S+ MeV");
    std::vector<std::string> names;
    for (auto it = std::sregex_iterator(one.output.begin(), one.output.end(), moments);
         it != std::sregex_iterator(); ++it) {
        names.push_back((*it)[1]);
        EXPECT_GT(std::stod((*it)[3]), 0) << (*it)[0];
    }
    EXPECT_EQ(names, (std::vector<std::string>{"M0", "M5", "M10"})) << one.output;

    // Every particle that reaches the output aperture goes on to the finish
    // aperture a few centimetres behind it, which either finishes it or
    // finds it outside its energy window.
    int headers = 0;
    std::vector<std::string> written = lines("front_end_out.csv", headers);
    EXPECT_EQ(headers, 1);
    int finished = std::stoi("0" + field(one.output, "\nFinished (\\d+) "));
    int wrong = std::stoi("0" + field(one.output, "\nWrongEnergy (\\d+) "));
    EXPECT_GT(finished, 0);
    EXPECT_EQ(static_cast<int>(written.size()), finished + wrong) << one.output;

    runCommand("rm '" + dir.file("front_end_out.csv") + "'");
    CommandResult two = tool("lattices/front_end.txt --seed 11 --level 500 --threads 2");
    ASSERT_EQ(two.status, 0) << two.output;
    EXPECT_EQ(field(two.output, "score (-?[0-9.]+)\n"), score) << two.output;
    // The thread files are merged into one file: the same particles, one
    // header per thread that wrote.
    std::vector<std::string> merged = lines("front_end_out.csv", headers);
    EXPECT_GE(headers, 1);
    EXPECT_LE(headers, 2);
    std::sort(written.begin(), written.end());
    std::sort(merged.begin(), merged.end());
    EXPECT_EQ(merged, written);
    EXPECT_EQ(runCommand("ls '" + dir.path() + "' | grep -c thread").output, "0\n");
}

TEST_F(FrontEnd, AnOutputApertureBehindAWallThatStopsEverythingWritesNoParticle) {
    struct Case {
        const char* absorption;  // metres; negative: the wall absorbs nothing
        size_t lines;
    };
    for (Case c : {Case{"1e-6", 0}, Case{"-1", 3}}) {
        dir.write("lattices/wall.txt",
                  std::string("t_max=5ns\n"
                              "{particle(P) species Energy(MeV) X(m)}\n"
                              "{Drift(D) Length(m)}\n"
                              "{Cylinder-blockage(W) Length(m) radius(m) AbsorptionLength(m)}\n"
                              "{output-aperture(OUT) radius(m) outputfile}\n"
                              "P1 'mu+' 200 0\nP2 'mu+' 200 0.01\nP3 'mu+' 200 -0.01\n"
                              "D1 0.1\nW1 0.2 0.3 ") +
                      c.absorption +
                      "\nD2 0.1\nOUT1 0.3 'wall.csv'\n"
                      "LINE: P1, P2, P3, D1, W1, D2, OUT1;\nLINE\n");
        runCommand("rm -f '" + dir.file("wall.csv") + "'");
        CommandResult r = tool("lattices/wall.txt --seed 3 --threads 1");
        ASSERT_EQ(r.status, 0) << r.output;
        int headers = 0;
        EXPECT_EQ(lines("wall.csv", headers).size(), c.lines) << c.absorption << r.output;
    }
}
