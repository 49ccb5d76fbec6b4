#include <chrono>
#include <filesystem>
#include <string>
#include <vector>

#include "net/download.hpp"
#include "net/net_support.hpp"
#include "results/binary_results.hpp"
#include "results/text_results.hpp"
#include "store/latticedir.hpp"

namespace {

// Makes the file look `hours` old.
void ageFile(const std::string& path, double hours) {
    namespace fs = std::filesystem;
    fs::last_write_time(path, fs::file_time_type::clock::now() -
                                  std::chrono::seconds(static_cast<int64_t>(hours * 3600)));
}

ResultRecord sample(int i) {
    std::string score = "0." + std::to_string(100000 + i);
    return {"a=" + std::to_string(100 + i) + ";b=500;", score + " (2.0 Mpts) [v4.44d] <demo>",
            std::stod(score)};
}

ResultsList samples(int from, int to) {
    ResultsList list;
    for (int i = from; i < to; i++) listAppend(list, sample(i));
    return list;
}

// The server's sample file of lattice "demo".
std::string demoSamples(const std::string& root) {
    std::filesystem::create_directories(root + "/files/pelto/samplefiles");
    return root + "/files/pelto/samplefiles/demo_100.bin";
}

// The records of a file as the reader returns them.
std::vector<std::string> recordsIn(const std::string& path) {
    std::vector<std::string> lines;
    for (const ResultRecord& r : loadResults(path, std::nullopt)) {
        lines.push_back(r.genomeLine + " | " + r.scoreLine);
    }
    return lines;
}

std::vector<std::string> sampleLines(int from, int to) {
    std::vector<std::string> lines;
    for (int i = from; i < to; i++)
        lines.push_back(sample(i).genomeLine + " | " + sample(i).scoreLine);
    return lines;
}

std::string samplesText(int from, int to) {
    std::string text;
    for (int i = from; i < to; i++) text += recordText(sample(i));
    return text;
}

TEST_F(NetTest, StaleCheckFollowsTheFileAge) {
    START_HTTP_SERVER();
    MessageRecorder messages;
    serve("pelto/lattices/list.php", "alpha\n");
    struct Case {
        double ageHours;
        bool fetched;
    } cases[] = {{11, false}, {13, true}};
    for (const Case& c : cases) {
        writeProg("latticelist.txt", "old\n");
        ageFile("latticelist.txt", c.ageHours);
        downloadIfStale("latticelist.txt", 12, "http://pelto.test/pelto/lattices/list.php",
                        std::nullopt, net());
        EXPECT_EQ(progFile("latticelist.txt"), c.fetched ? "alpha\n" : "old\n") << c.ageHours;
    }
    EXPECT_NE(messages.output.find("latticelist.txt older than 12 hours, attempting download..."),
              std::string::npos);
}

TEST_F(NetTest, LatticeUpdateFetchesListedAndRetiresUnlistedLattices) {
    START_HTTP_SERVER();
    MessageRecorder messages;
    for (const char* name : {"alpha", "beta", "delta", "epsilon"}) {
        serve(std::string("pelto/lattices/") + name + ".txt", std::string("lattice ") + name);
    }
    struct Case {
        const char* list;
        std::vector<std::string> before;
        std::vector<std::string> after;
    } cases[] = {
        {"alpha\r\nbeta\r\n",
         {"_draft.txt", "alpha.txt", "gamma.txt"},
         {"_draft.txt", "alpha.txt", "beta.txt", "retired"}},
        // Not one local lattice listed: nothing is deleted.
        {"delta\nepsilon\n",
         {"alpha.txt", "gamma.txt"},
         {"alpha.txt", "delta.txt", "epsilon.txt", "gamma.txt"}},
    };
    for (const Case& c : cases) {
        std::filesystem::remove_all("lattices");
        removeFile("latticelist.txt");
        makeDirectory("lattices");
        for (const std::string& f : c.before) writeProg("lattices/" + f, "local " + f);
        serve("pelto/lattices/list.php", c.list);
        updateLattices(12, false, "lattices", net());
        EXPECT_EQ(listFolder("lattices", false), c.after) << c.list;
        EXPECT_EQ(progFile("lattices/alpha.txt"),
                  fileExists("lattices/alpha.txt") ? "local alpha.txt" : "");
    }
    EXPECT_EQ(progFile("lattices/delta.txt"), "lattice delta");
    EXPECT_NE(messages.output.find("Lattice 'gamma' is not on the project's list; moved to "
                                   "'lattices/retired/gamma.txt'"),
              std::string::npos);
}

// An unlisted lattice may be an author's own: it is kept, and one retired
// before under the same name is not overwritten.
TEST_F(NetTest, RetiredLatticesAreNeverOverwrittenNorRun) {
    START_HTTP_SERVER();
    MessageRecorder messages;
    serve("pelto/lattices/alpha.txt", "lattice alpha");
    serve("pelto/lattices/list.php", "alpha\n");
    makeDirectory("lattices");
    writeProg("lattices/alpha.txt", "local alpha");
    writeProg("lattices/mine.txt", "my second draft");
    writeProg("lattices/retired/mine.txt", "my first draft");
    updateLattices(12, false, "lattices", net());
    EXPECT_EQ(progFile("lattices/retired/mine.txt"), "my first draft");
    EXPECT_EQ(progFile("lattices/retired/mine.1.txt"), "my second draft");
    EXPECT_FALSE(fileExists("lattices/mine.txt"));
    forgetlatticelist();
    EXPECT_EQ(listlattices("lattices"), std::vector<std::string>{"alpha"});
}

TEST_F(NetTest, LatticeNamesFromTheServerMustBePlainNames) {
    START_HTTP_SERVER();
    MessageRecorder messages;
    messages.keys.assign(10, 'y');
    serve("pelto/lattices/good.txt", "good lattice");
    serve("pelto/x.txt", "escaped");
    serve("pelto/lattices/a/b.txt", "nested");
    serve("pelto/lattices/list.php", "../x\n/tmp/x\na/b\na\\b\nbad\x01name\n..\ngood\n");
    makeDirectory("lattices");
    updateLattices(12, false, "lattices", net());
    EXPECT_EQ(listFolder("lattices", false), std::vector<std::string>{"good.txt"});
    EXPECT_EQ(listFolder(".", false), (std::vector<std::string>{"latticelist.txt", "lattices"}));
    std::string requests = serverFile("requests.log");
    EXPECT_EQ(requests.find("x.txt"), std::string::npos) << requests;
    EXPECT_EQ(requests.find("a/b"), std::string::npos) << requests;
    EXPECT_NE(messages.output.find("'../x', which is not a plain file name"), std::string::npos);
}

TEST_F(NetTest, BinarySamplesAreConvertedToTheLatticeTextFile) {
    START_HTTP_SERVER();
    MessageRecorder messages;
    ASSERT_TRUE(saveBinaryResults(samples(0, 5), demoSamples(serverRoot())));
    NetSettings n = net();
    downloadSamples("http://pelto.test/pelto/samplefiles/{lattice}_100.bin", 24, {"Demo"}, n);
    EXPECT_EQ(recordsIn("samplefiles/Demo.txt"), sampleLines(0, 5));
    EXPECT_EQ(listFolder("samplefiles", false), std::vector<std::string>{"Demo.txt"});
    EXPECT_NE(serverFile("requests.log").find("/pelto/samplefiles/demo_100.bin"),
              std::string::npos);
}

TEST_F(NetTest, AccumulatedSamplesAddOnlyNewRecords) {
    START_HTTP_SERVER();
    MessageRecorder messages;
    NetSettings n = net();
    n.sampleBehaviour = 'A';
    std::string url = "http://pelto.test/pelto/samplefiles/{lattice}_100.bin";
    ASSERT_TRUE(saveBinaryResults(samples(0, 4), demoSamples(serverRoot())));
    downloadSamples(url, 24, {"demo"}, n);
    ASSERT_TRUE(saveBinaryResults(samples(2, 7), demoSamples(serverRoot())));
    ageFile("samplefiles/demo.txt", 25);
    downloadSamples(url, 24, {"demo"}, n);
    EXPECT_EQ(recordsIn("samplefiles/demo.txt"), sampleLines(0, 7));
    EXPECT_EQ(listFolder("samplefiles", false), std::vector<std::string>{"demo.txt"});
}

TEST_F(NetTest, FailedSampleDownloadKeepsTheOldSamples) {
    START_HTTP_SERVER();
    MessageRecorder messages;
    ASSERT_TRUE(saveBinaryResults(samples(0, 50), demoSamples(serverRoot())));
    serve("pelto/samplefiles/demo_100.txt", samplesText(0, 50));
    makeDirectory("samplefiles");
    const char* modes[] = {"drop", "lie", "500", "cutchunk", "silent"};
    for (char behaviour : {'L', 'A'}) {
        for (const char* ext : {"bin", "txt"}) {
            for (const char* mode : modes) {
                NetSettings n = net();
                n.sampleBehaviour = behaviour;
                writeProg("samplefiles/demo.txt", samplesText(90, 92));
                ageFile("samplefiles/demo.txt", 30);
                setMode(mode);
                downloadSamples(
                    std::string("http://pelto.test/pelto/samplefiles/{lattice}_100.") + ext, 24,
                    {"demo"}, n);
                std::string what = std::string(mode) + " " + behaviour + " " + ext;
                EXPECT_EQ(progFile("samplefiles/demo.txt"), samplesText(90, 92)) << what;
                EXPECT_EQ(listFolder("samplefiles", false), std::vector<std::string>{"demo.txt"})
                    << what;
            }
        }
    }
    EXPECT_NE(messages.output.find("will try later."), std::string::npos);
}

TEST_F(NetTest, DownloadPastItsDeadlineIsAbandoned) {
    START_HTTP_SERVER();
    MessageRecorder messages;
    serve("pelto/servers.csv", "new\n");
    setMode("silent");
    NetSettings n = net();
    n.http.getTimeout = 60;
    n.downloadDeadline = 1;
    writeProg("servers.csv", "old\n");
    double start = monotonicSeconds();
    EXPECT_TRUE(
        downloadIfStale("servers.csv", -1, "http://pelto.test/pelto/servers.csv", std::nullopt, n));
    // Far below the minute the server stays silent: the transfer was abandoned.
    EXPECT_LT(monotonicSeconds() - start, 30);
    EXPECT_NE(messages.output.find("Terminating download."), std::string::npos);
    EXPECT_EQ(progFile("servers.csv"), "old\n");
    EXPECT_EQ(listFolder(".", false), std::vector<std::string>{"servers.csv"});
}

TEST(SampleNames, TemplateWithoutLatticeIsRefused) {
    MessageRecorder messages;
    messages.keys.push_back('y');
    // A named object: GCC 12 at -O2 takes a temporary's strings for uninitialised.
    const NetSettings settings;
    downloadSamples("http://pelto.test/pelto/samples.bin", 24, {"demo"}, settings);
    EXPECT_NE(messages.output.find("[WARNING] Sample files URL does not contain {lattice}"),
              std::string::npos);
}

TEST(ServerNames, UrlEncodingAndPlainNames) {
    EXPECT_EQ(urlEncodeName("My Lattice#1"), "My%20Lattice%231");
    struct Case {
        const char* name;
        bool plain;
    } cases[] = {{"demo", true},      {"v4.2 channel", true}, {"../x", false}, {"/tmp/x", false},
                 {"a/b", false},      {"a\\b", false},        {"..", false},   {"", false},
                 {"tab\there", false}};
    for (const Case& c : cases) EXPECT_EQ(isPlainServerName(c.name), c.plain) << c.name;
}

}  // namespace
