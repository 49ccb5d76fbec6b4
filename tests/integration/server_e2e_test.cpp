// The whole network on 127.0.0.1: pelto-server serving a project of two short
// lattices, three real clients in program folders of their own pointed at it
// by the web-server entry of their config.txt (two send by HTTP, one by FTP
// through pyftpdlib into the server's incoming/), then every client's next
// sample download, and pelto-tool optimise drawing on those samples.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <map>
#include <set>
#include <sstream>

#include "common/text.hpp"
#include "integration/server_support.hpp"
#include "net/net_support.hpp"
#include "results/binary_results.hpp"
#include "results/checksum.hpp"
#include "results/text_results.hpp"

namespace {

// Two single particles and a drift each: a run takes a moment, and the
// drift's length is what the optimiser chooses.
const char* const kLattices[][3] = {
    {"drift_one", "l",
     "t_max=30ns\nseed=77\n{Drift(D) Length(m)}\n{particle(P) species Energy(MeV)}\n"
     "L=[0.5 2]\nD1 #L#\nP1 'pi+' 300\nP2 'mu+' 200\nLINE: P1, P2, D1;\nLINE\n"},
    {"drift_two", "m",
     "t_max=30ns\nseed=78\n{Drift(D) Length(m)}\n{particle(P) species Energy(MeV)}\n"
     "M=[1 3]\nD1 #M#\nP1 'pi+' 250\nP2 'mu+' 220\nLINE: P1, P2, D1;\nLINE\n"},
};
constexpr int kRunsPerClient = 10;  // a manual send refuses fewer

// A result as the client's duplicate test and the server tell results apart:
// its genes in name order (as a binary file stores them) and its score line
// up to the checksum, which a binary file's copy ends with a blank. Two runs
// that made the same genome the same way (a client's own, or two clients')
// made the same result, sent or stored once.
std::string recordKey(const ResultRecord& r) {
    std::vector<std::string> genes;
    std::stringstream genome(r.genomeLine);
    for (std::string gene; std::getline(genome, gene, ';');) {
        if (!gene.empty()) genes.push_back(lowerCopy(gene));
    }
    std::sort(genes.begin(), genes.end());
    std::string key;
    for (const std::string& g : genes) key += g + ";";
    std::string score = r.scoreLine.substr(0, r.scoreLine.find(" {"));
    while (!score.empty() && static_cast<unsigned char>(score.back()) <= ' ') score.pop_back();
    return key + " | " + lowerCopy(score);
}

struct Client {
    std::string name;
    bool ftp = false;
    ScratchFolder dir;
    std::set<std::string> sent;  // what its results.txt held when it sent
};

struct ServerEndToEnd : ::testing::Test {
    ScratchFolder project;
    std::string root = project.file("p");
    ServerProcess server;
    LoopbackServer ftp;
    MessageRecorder quiet{DisplayBackground};
    Client clients[3] = {{"alice", false, {}, {}}, {"bob", false, {}, {}}, {"carol", true, {}, {}}};

    CommandResult pelto(const Client& c, const std::string& args) const {
        return runCommand("cd / && env -u DISPLAY -u WAYLAND_DISPLAY '" + c.dir.file("pelto") +
                          "' " + args);
    }
    std::string webServer() const { return "127.0.0.1:" + std::to_string(server.port()); }

    void makeClient(Client& c) {
        std::filesystem::copy_file(PELTO_EXE, c.dir.file("pelto"));
        c.dir.write("user.txt", c.name);
        c.dir.write("config.txt",
                    "Project web server (host name or address, optional port): " + webServer() +
                        "\nResults upload method ('FTP' or 'HTTP'): " + (c.ftp ? "FTP" : "HTTP") +
                        "\nAuto-send results ([Y]es, [N]o): N\n"
                        "Update lattice files from web every N hours (0=don't): 12\n"
                        "Download sample results file after a number of hours (0=don't, min. "
                        "6): 6\n"
                        "Threads (number or 'auto'): 1\n");
        if (c.ftp) {
            // The project's list names the HTTP port; on the loopback the FTP
            // server has a port of its own, so this client keeps its own list
            // (a list is fetched only when missing or a day old).
            c.dir.write("servers.csv",
                        "127.0.0.1 " + std::to_string(ftp.port()) + ",tester,secret\n");
        }
        // A client that passed its rechecks long ago: a fully rechecked best
        // per lattice that no run reaches, so each run is stored and queued
        // for sending at once instead of being rerun five times first (the
        // quarantine has its own tests). Made where the project's lattices
        // are; the client's copies are the same bytes.
        InFolder in(root);
        for (const auto& lattice : kLattices) {
            Genome genome = genomeFromText(std::string("#runs=5;") + lattice[1] + "=500;", true);
            ResultRecord best =
                formatScoreLine(genome, 1000, 1, {std::string(kVersionText), lattice[0], {}},
                                recordChecksum, kProgramFormat);
            ASSERT_TRUE(appendResult(best, c.dir.file("results.dat")));
        }
    }
    // Records of the lattices, read in the folder as the program reads them.
    std::vector<ResultRecord> records(const Client& c, const std::string& file) const {
        InFolder in(c.dir.path());
        ResultsList list = loadResultsAny(file, kProgramFormat);
        return std::vector<ResultRecord>(list.begin(), list.end());
    }
    void runAndSend(Client& c) {
        SCOPED_TRACE(c.name);
        for (int run = 0; run < kRunsPerClient; run++) {
            CommandResult r = pelto(c, "-c -once");
            ASSERT_EQ(r.status, 0) << r.output;
        }
        std::vector<ResultRecord> queued = records(c, "results.txt");
        ASSERT_EQ(queued.size(), static_cast<size_t>(kRunsPerClient));
        for (const ResultRecord& r : queued) c.sent.insert(recordKey(r));
        CommandResult r = pelto(c, "-c -s");
        EXPECT_EQ(r.status, 0) << r.output;
        EXPECT_NE(r.output.find("Results sent."), std::string::npos)
            << r.output << (c.ftp ? c.dir.read("ftp.log") : "");
        EXPECT_FALSE(std::filesystem::exists(c.dir.file("results.txt")));
    }
    // Every record of the client's sample files, once per appearance.
    std::multiset<std::string> samples(const Client& c) const {
        std::multiset<std::string> keys;
        for (const auto& lattice : kLattices) {
            std::string file = std::string("samplefiles/") + lattice[0] + ".txt";
            for (const ResultRecord& r : records(c, file)) keys.insert(recordKey(r));
        }
        return keys;
    }
    int64_t storedResults() const {
        CommandResult r =
            runCommand("'" + std::string(PELTO_SERVER_EXE) + "' --root '" + root + "' --check");
        size_t at = r.output.find(" uploads, ");
        EXPECT_EQ(r.status, 0) << r.output;
        return at == std::string::npos ? -1 : std::atoll(r.output.c_str() + at + 10);
    }
    // The trial type of the first run of `pelto-tool optimise` in `folder`,
    // with the optimiser's draws fixed by `seed`.
    std::string firstTrialType(const ScratchFolder& folder, const std::string& lattice,
                               int seed) const {
        std::filesystem::remove(folder.file("results.dat"));
        CommandResult r =
            runCommand("cd '" + folder.path() + "' && '" PELTO_TOOL_EXE "' optimise " + lattice +
                       " --runs 1 --threads 1 --seed " + std::to_string(seed) + " 2>/dev/null");
        EXPECT_EQ(r.status, 0) << r.output;
        int run = 0;
        char type[32] = "";
        size_t line = r.output.find("\n1 ");
        if (line == std::string::npos ||
            std::sscanf(r.output.c_str() + line + 1, "%d %31s", &run, type) != 2) {
            ADD_FAILURE() << r.output;
        }
        return type;
    }
};

}  // namespace

TEST_F(ServerEndToEnd, ThreeClientsShareTheirResultsThroughTheProjectServer) {
    std::string python = findPython("pyftpdlib");
    if (python.empty()) GTEST_SKIP() << "python3-pyftpdlib is not installed";
    if (!haveCommand("ftp")) GTEST_SKIP() << "no command-line FTP client (ftp) is installed";

    std::filesystem::create_directories(root + "/lattices");
    std::filesystem::create_directories(root + "/incoming");
    for (const auto& lattice : kLattices) {
        project.write(std::string("p/lattices/") + lattice[0] + ".txt", lattice[2]);
    }
    project.write("p/signal.txt", "v4.44d\nThanks for running Pelto!\n");
    ASSERT_TRUE(server.start(root, "--settle 1")) << server.log();
    // Served as it is, read at every request: written once the port is known.
    project.write("p/servers.csv",
                  "127.0.0.1 " + std::to_string(server.port()) + ",pelto,secret\n");
    // The FTP root is incoming/; the FTP server's port file and log go
    // elsewhere (the later --root wins), out of the way of the ingest.
    ASSERT_TRUE(
        ftp.start(python, "ftp_test_server.py", project.path(), "--root '" + root + "/incoming'"));

    for (Client& c : clients) {
        makeClient(c);
        runAndSend(c);
        if (HasFatalFailure()) return;
        // Each client downloaded both lattices from the server, byte for byte.
        for (const auto& lattice : kLattices) {
            EXPECT_EQ(c.dir.read(std::string("lattices/") + lattice[0] + ".txt"), lattice[2]);
        }
    }
    // The FTP upload lands in incoming/ and is ingested once it has settled.
    double deadline = monotonicSeconds() + 20;
    auto ingested = [&] {
        std::string log = server.log();
        size_t at = log.find("ingest ftp ftp ");
        return at != std::string::npos && log.find("-carol.", at) != std::string::npos;
    };
    while (monotonicSeconds() < deadline && !ingested()) sleepMs(100);
    ASSERT_TRUE(ingested()) << server.log();

    std::set<std::string> all;
    for (const Client& c : clients) all.insert(c.sent.begin(), c.sent.end());

    // Each client's next sample download brings every record sent, the
    // others' included, each once.
    for (Client& c : clients) {
        SCOPED_TRACE(c.name);
        for (const auto& lattice : kLattices) {
            std::filesystem::path file =
                c.dir.file(std::string("samplefiles/") + lattice[0] + ".txt");
            if (std::filesystem::exists(file)) {
                std::filesystem::last_write_time(
                    file, std::filesystem::last_write_time(file) - std::chrono::hours(7));
            }
        }
        CommandResult r = pelto(c, "-c -init");
        ASSERT_EQ(r.status, 0) << r.output;
        std::multiset<std::string> got = samples(c);
        EXPECT_EQ(std::set<std::string>(got.begin(), got.end()), all);
        EXPECT_EQ(got.size(), all.size()) << server.log();
        for (const Client& other : clients) {
            if (&other == &c) continue;
            for (const std::string& key : other.sent) EXPECT_EQ(got.count(key), 1u) << key;
        }
    }

    // pelto-tool optimise in a folder with those samples and no results of
    // its own: with an empty pool every trial is Random, so a run of another
    // trial type made its genome from the downloaded records. The draws are
    // fixed by the seed; a pool of n records gives Random with chance
    // n^-0.4, so over eight seeds on the lattice with 15 samples or more,
    // all eight Random would be one chance in 5000.
    const auto& lattice =
        records(clients[0], "samplefiles/drift_one.txt").size() >= 15 ? kLattices[0] : kLattices[1];
    std::string latticeFile = std::string("lattices/") + lattice[0] + ".txt";
    ScratchFolder opt;
    opt.write(latticeFile, lattice[2]);
    opt.write("config.txt", "Threads (number or 'auto'): 1\n");
    std::set<std::string> withoutSamples, withSamples;
    for (int seed = 1; seed <= 8; seed++)
        withoutSamples.insert(firstTrialType(opt, latticeFile, seed));
    std::string sampleFile = std::string("samplefiles/") + lattice[0] + ".txt";
    opt.write(sampleFile, clients[0].dir.read(sampleFile));
    for (int seed = 1; seed <= 8; seed++)
        withSamples.insert(firstTrialType(opt, latticeFile, seed));
    EXPECT_EQ(withoutSamples, std::set<std::string>{"Random"});
    withSamples.erase("Random");
    EXPECT_FALSE(withSamples.empty());

    // The database holds every record sent, once; every upload was whole.
    EXPECT_EQ(server.stop(), 0);
    EXPECT_EQ(storedResults(), static_cast<int64_t>(all.size())) << server.log();
}
