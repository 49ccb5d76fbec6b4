// pelto-server as a program on 127.0.0.1: the client's own HTTP code talks to
// it, hostile uploads are survived, a killed server keeps each upload whole.
#include <gtest/gtest.h>

#include <filesystem>
#include <random>
#include <thread>

#include "integration/server_support.hpp"
#include "net/http.hpp"
#include "platform/clock.hpp"
#include "platform/files.hpp"
#include "results/binary_results.hpp"
#include "results/record_check.hpp"
#include "server/server_fixture.hpp"

namespace {

struct ServerTest : ::testing::Test {
    ScratchFolder dir;
    std::string root = dir.file("project");
    ServerProcess server;
    MessageRecorder quiet{DisplayBackground};

    void SetUp() override {
        makeProject(dir, "project");
        ASSERT_TRUE(server.start(root, "--settle 1")) << server.log();
    }
    HttpOptions viaProxy() const {
        HttpOptions o;
        o.proxyHost = "127.0.0.1";
        o.proxyPort = server.port();
        o.getTimeout = o.postTimeout = o.connectTimeout = 5;
        return o;
    }
    // Records made where the project's lattices are, as a client with the
    // same lattice files makes them.
    std::string records(int first, int count, const std::string& lattice = "alpha") {
        InFolder in(root);
        std::string text;
        for (int i = first; i < first + count; i++)
            text += recordText(clientRecord(lattice, i % 1000, 1.0 + i * 0.001));
        return text;
    }
    HttpAnswer upload(const std::string& body, const std::string& name) {
        dir.write("out.txt", body);
        return httpPostFile(dir.file("out.txt"), "v4.4x/" + name,
                            "http://pelto.test/pelto/uploadresults.php", "127.0.0.1", server.port(),
                            "Pelto", viaProxy());
    }
    int64_t countResults() {
        CommandResult r =
            runCommand("'" + std::string(PELTO_SERVER_EXE) + "' --root '" + root + "' --check");
        size_t at = r.output.find(" uploads, ");
        EXPECT_EQ(r.status, 0) << r.output;
        return at == std::string::npos ? -1 : std::atoll(r.output.c_str() + at + 10);
    }
};

TEST_F(ServerTest, ServesTheClientsPathsInBothRequestForms) {
    std::optional<std::string> list =
        httpGet("http://pelto.test/pelto/lattices/list.php", viaProxy());
    ASSERT_TRUE(list);
    EXPECT_EQ(*list, "alpha\nbeta\n");
    EXPECT_EQ(httpGet("http://pelto.test/pelto/lattices/BETA.txt", viaProxy()),
              std::optional<std::string>("M=[1 3]\nD2 #M#\n"));
    EXPECT_EQ(httpGet("http://pelto.test/pelto/servers.csv", viaProxy()),
              std::optional<std::string>("127.0.0.1,tester,secret\n"));
    std::string origin = rawExchange(server.port(),
                                     "GET /pelto/lattices/alpha.txt HTTP/1.1\r\n"
                                     "Host: x\r\nConnection: close\r\n\r\n");
    EXPECT_EQ(statusOf(origin), 200);
    for (const char* target :
         {"/pelto/lattices/../pelto.db", "/pelto/lattices/%2e%2e%2fpelto.db.txt",
          "/pelto/lattices/gamma.txt", "/pelto/samplefiles/x_100.bin"}) {
        std::string a = rawExchange(server.port(),
                                    std::string("GET ") + target + " HTTP/1.1\r\nHost: x\r\n\r\n");
        EXPECT_EQ(statusOf(a), 404) << target;
    }
}

TEST_F(ServerTest, AnUploadIsStoredAnsweredWithTheSignalAndComesBackInTheSample) {
    HttpAnswer a = upload(records(0, 30), "20240101-120000-AbCdE-Jo_Smith.txt");
    ASSERT_TRUE(a.ok) << a.statusLine;
    ASSERT_TRUE(a.body);
    EXPECT_NE(a.body->find("<pre id='signal'>v4.50a\nA new version is out.</pre>"),
              std::string::npos);
    EXPECT_NE(a.body->find("30 accepted"), std::string::npos) << *a.body;
    ASSERT_TRUE(httpGetToFile("http://pelto.test/pelto/samplefiles/alpha_100.bin",
                              dir.file("alpha.bin"), viaProxy()));
    ResultsList sample = loadBinaryResults(dir.file("alpha.bin"), kProgramFormat);
    ASSERT_EQ(sample.count(), 30u);
    InFolder in(root);
    for (size_t i = 0; i < sample.count(); i++)
        EXPECT_EQ(checkRecord(sample[i].genomeLine, sample[i].scoreLine).verdict,
                  CheckVerdict::Accepted);
}

TEST_F(ServerTest, HostileUploadsAreRefusedOrSurvivedAndNothingLandsOutsideTheProject) {
    std::string good = records(0, 5);
    std::string lying = good;
    lying.replace(lying.find("\r\n") + 2, 1, "9");  // the first score made better
    HttpAnswer a = upload(lying, "20240101-120000-AbCdE-liar.txt");
    ASSERT_TRUE(a.ok);
    EXPECT_NE(a.body->find("4 accepted"), std::string::npos) << *a.body;
    EXPECT_NE(a.body->find("1 bad checksum"), std::string::npos) << *a.body;
    a = upload(records(100, 3, "gamma"), "20240101-120000-AbCdE-x.txt");
    EXPECT_NE(a.body->find("3 unknown lattice"), std::string::npos) << *a.body;

    // A file name that climbs out of the folder is refused before anything is written.
    std::string body =
        "--Pelto12345\r\nContent-Disposition: form-data; name=\"data\"; "
        "filename=\"../../escape.txt\"\r\n\r\n" +
        good + "\r\n--Pelto12345--\r\n";
    std::string head =
        "POST /pelto/uploadresults.php HTTP/1.1\r\nHost: x\r\nContent-Type: "
        "multipart/form-data; boundary=Pelto12345\r\nContent-Length: " +
        std::to_string(body.size()) + "\r\n\r\n";
    EXPECT_EQ(statusOf(rawExchange(server.port(), head + body)), 400);

    // A body of 100 MB is refused without being read: the answer is 413, or
    // the connection is closed under the sender, which loses the answer.
    double started = monotonicSeconds();
    std::string huge =
        "POST /pelto/uploadresults.php HTTP/1.1\r\nHost: x\r\nContent-Type: "
        "multipart/form-data; boundary=B\r\nContent-Length: 104857600\r\n\r\n" +
        std::string(size_t(4) << 20, 'x');
    int hugeStatus = statusOf(rawExchange(server.port(), huge));
    EXPECT_TRUE(hugeStatus == 413 || hugeStatus == 0) << hugeStatus;
    EXPECT_LT(monotonicSeconds() - started, 10);

    // Fuzzed forms: bytes flipped, cut or repeated in a valid upload.
    std::string valid =
        "--Pelto12345\r\nContent-Disposition: form-data; name=\"folder\"\r\n\r\n"
        "v4.4x\r\n--Pelto12345\r\nContent-Disposition: form-data; name=\"data\"; "
        "filename=\"20240101-120000-AbCdE-fz.txt\"\r\n\r\n" +
        good + "\r\n--Pelto12345--\r\n";
    std::mt19937 random(27);
    for (int round = 0; round < 60; round++) {
        std::string fuzzed = valid;
        int edits = 1 + static_cast<int>(random() % 8);
        for (int e = 0; e < edits; e++) {
            size_t at = random() % fuzzed.size();
            switch (random() % 3) {
                case 0:
                    fuzzed[at] = static_cast<char>(random() % 256);
                    break;
                case 1:
                    fuzzed.erase(at, random() % 40);
                    break;
                default:
                    fuzzed.insert(at, fuzzed.substr(at, random() % 40));
                    break;
            }
        }
        std::string request =
            "POST /pelto/uploadresults.php HTTP/1.1\r\nHost: x\r\n"
            "Content-Type: multipart/form-data; boundary=Pelto12345\r\n"
            "Content-Length: " +
            std::to_string(fuzzed.size()) + "\r\n\r\n" + fuzzed;
        int status = statusOf(rawExchange(server.port(), request));
        EXPECT_TRUE(status == 200 || status == 400) << status;
    }
    // Still serving; the good records are in once; the folder holds only the project.
    EXPECT_TRUE(httpGet("http://pelto.test/pelto/lattices/list.php", viaProxy()));
    EXPECT_EQ(upload(good, "20240101-120000-AbCdE-ok.txt").ok, true);
    // A fuzzed record may still pass the client's checksum (it covers the
    // numbers, not the wording around them); whatever is stored must pass it.
    ASSERT_TRUE(httpGetToFile("http://pelto.test/pelto/samplefiles/alpha_100.bin",
                              dir.file("alpha.bin"), viaProxy()));
    ResultsList sample = loadBinaryResults(dir.file("alpha.bin"), kProgramFormat);
    removeFile(dir.file("alpha.bin"));
    EXPECT_GE(sample.count(), 5u);
    {
        InFolder in(root);
        for (size_t i = 0; i < sample.count(); i++)
            EXPECT_EQ(checkRecord(sample[i].genomeLine, sample[i].scoreLine).verdict,
                      CheckVerdict::Accepted);
    }
    EXPECT_EQ(server.stop(), 0);
    EXPECT_EQ(countResults(), static_cast<int64_t>(sample.count())) << server.log();
    std::vector<std::string> outside = listFolder(dir.path(), false);
    std::sort(outside.begin(), outside.end());
    EXPECT_EQ(outside, (std::vector<std::string>{"out.txt", "project"}));
    EXPECT_FALSE(fileExists(root + "/escape.txt"));
    EXPECT_TRUE(listFolder(root + "/spool", false).empty());
}

TEST_F(ServerTest, AServerKilledMidIngestKeepsEachUploadWholeOrNotAtAll) {
    std::string big = records(0, 3000);
    dir.write("big.txt", big);
    std::string body =
        "--Pelto12345\r\nContent-Disposition: form-data; name=\"data\"; "
        "filename=\"20240101-120000-AbCdE-big.txt\"\r\n\r\n" +
        big + "\r\n--Pelto12345--\r\n";
    std::string request =
        "POST /pelto/uploadresults.php HTTP/1.1\r\nHost: x\r\nContent-Type: "
        "multipart/form-data; boundary=Pelto12345\r\nContent-Length: " +
        std::to_string(body.size()) + "\r\n\r\n" + body;
    std::thread send([&] { rawExchange(server.port(), request); });
    sleepMs(150);
    server.kill();
    send.join();
    int64_t after = countResults();
    EXPECT_TRUE(after == 0 || after == 3000) << after;
    // The sender got no answer and sends again: stored once, nothing lost.
    ASSERT_TRUE(server.start(root, "--settle 1"));
    EXPECT_TRUE(upload(big, "20240101-120000-AbCdE-big.txt").ok);
    EXPECT_EQ(server.stop(), 0);
    EXPECT_EQ(countResults(), 3000);
}

TEST_F(ServerTest, FtpUploadsAreIngestedOnceCompleteAndTheSignalIsPublished) {
    std::filesystem::create_directories(root + "/incoming/v4.4x");
    std::filesystem::create_directories(root + "/incoming/testfiles");
    dir.write("project/incoming/testfiles/testfile_abc.txt", "Test\n");
    dir.write("project/incoming/v4.4x/20240101-120000-AbCdE-ftpuser.txt", records(50, 7, "beta"));
    // Not in a version folder: the operator's or the FTP server's file, left alone.
    dir.write("project/incoming/20240101-120000-AbCdE-loose.txt", records(50, 3, "beta"));
    double deadline = monotonicSeconds() + 15;
    // Logged once its transaction is committed.
    while (monotonicSeconds() < deadline && server.log().find("ingest ftp") == std::string::npos)
        sleepMs(100);
    EXPECT_FALSE(fileExists(root + "/incoming/v4.4x/20240101-120000-AbCdE-ftpuser.txt"));
    EXPECT_TRUE(fileExists(root + "/incoming/testfiles/testfile_abc.txt"));
    EXPECT_TRUE(fileExists(root + "/incoming/20240101-120000-AbCdE-loose.txt"));
    EXPECT_EQ(dir.read("project/incoming/signal.dat"), "v4.50a\nA new version is out.\n");
    // A backup taken while the server runs is a sound database of its own.
    CommandResult b = runCommand("'" + std::string(PELTO_SERVER_EXE) + "' --root '" + root +
                                 "' --backup '" + dir.file("copy.db") + "'");
    EXPECT_EQ(b.status, 0) << b.output;
    EXPECT_EQ(server.stop(), 0);
    EXPECT_EQ(countResults(), 7);
    std::string log = server.log();
    EXPECT_NE(log.find("ingest ftp ftp 20240101-120000-AbCdE-ftpuser.txt"), std::string::npos);
    makeProject(dir, "restored");
    std::filesystem::copy_file(dir.file("copy.db"), dir.file("restored/pelto.db"));
    CommandResult c = runCommand("'" + std::string(PELTO_SERVER_EXE) + "' --root '" +
                                 dir.file("restored") + "' --check");
    EXPECT_EQ(c.status, 0) << c.output;
    EXPECT_NE(c.output.find("1 uploads, 7 results"), std::string::npos) << c.output;
}

}  // namespace
