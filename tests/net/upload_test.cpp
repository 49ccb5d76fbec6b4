#include <atomic>
#include <filesystem>
#include <regex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "net/net_support.hpp"
#include "net/upload.hpp"
#include "platform/log_file.hpp"
#include "results/binary_results.hpp"
#include "results/text_results.hpp"

namespace {

// A record of a lattice that is not installed here, so the upload's checksum
// test accepts it unchecked. `genes` makes the genome line longer.
ResultRecord result(int i, int genes = 2) {
    std::string genome;
    for (int g = 0; g < genes; g++)
        genome += "p" + std::to_string(g) + "=" + std::to_string(100 + (i + g) % 900) + ";";
    genome += "#run=" + std::to_string(i) + ";";
    std::string score = "0." + std::to_string(200000 + i);
    return {genome, score + " (3.0 Mpts) [v4.44d] <ghost>", std::stod(score)};
}

std::string resultsText(int from, int to, int genes = 2) {
    std::string text;
    for (int i = from; i < to; i++) text += recordText(result(i, genes));
    return text;
}

// Records as a set of texts that do not depend on the file form: a binary
// file stores the genome sorted and ends score lines with a blank.
std::multiset<std::string> recordSet(const ResultsList& list) {
    std::multiset<std::string> set;
    for (const ResultRecord& r : list) {
        std::multiset<std::string> genes;
        std::string genome = r.genomeLine;
        for (size_t start = 0, end; start < genome.size(); start = end + 1) {
            end = genome.find(';', start);
            if (end == std::string::npos) end = genome.size();
            genes.insert(genome.substr(start, end - start));
        }
        std::string key;
        for (const std::string& g : genes) key += g + ";";
        std::string score = r.scoreLine;
        while (!score.empty() && score.back() == ' ') score.pop_back();
        set.insert(key + " | " + score);
    }
    return set;
}

std::multiset<std::string> expectedSet(int from, int to, int genes = 2) {
    ResultsList list;
    for (int i = from; i < to; i++) listAppend(list, result(i, genes));
    return recordSet(list);
}

// Every file the server received, with its records.
struct Received {
    std::vector<std::string> names;
    std::multiset<std::string> records;
};

Received received(const std::string& root) {
    Received r;
    std::error_code ec;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(root + "/uploads", ec)) {
        if (!entry.is_regular_file()) continue;
        std::string path = entry.path().string();
        r.names.push_back(path.substr(root.size() + 9));
        for (const std::string& s : recordSet(loadResultsAny(path, kProgramFormat)))
            r.records.insert(s);
    }
    return r;
}

class UploadTest : public NetTest {
  protected:
    void SetUp() override {
        NetTest::SetUp();
        writeProg("servers.csv", "pelto.test,user,password\r\n");
    }
};

TEST(UploadNames, VersionFolderAndBaseName) {
    struct Case {
        const char* version;
        const char* folder;
    } cases[] = {{"v4.44d", "v4.4x"}, {"v4", "v4.0x"},          {"v44", "v44"}, {"v4.4", "v4.4x"},
                 {"v 4.4", "v_4.x"},  {"v4.44dev", "v4.44dev"}, {"v", "v"}};
    for (const Case& c : cases) EXPECT_EQ(versionFolder(c.version), c.folder) << c.version;
    std::string base = uploadBaseName("20261208", "101502", "Jo Smith");
    EXPECT_TRUE(std::regex_match(base, std::regex("20261208-101502-[A-Za-z0-9]{5}-Jo_Smith")))
        << base;
}

TEST(UploadNames, SignalText) {
    EXPECT_EQ(signalText("<html><pre id='signal'>v5\nnews</pre></html>"), "v5\nnews");
    EXPECT_EQ(signalText("<pre id='signal'>v5 to the end"), "v5 to the end");
    EXPECT_EQ(signalText("<pre>v5</pre>"), std::nullopt);
}

TEST(ServerList, UsableLinesHaveThreePlainFields) {
    auto lines = parseServerList("a.org,u,p\r\nb.org,u\nc.org,u,p,extra \n\nd.org,u\rquit,p\n");
    ASSERT_EQ(lines.size(), 5u);
    EXPECT_EQ(lines[0].server->host, "a.org");
    EXPECT_FALSE(lines[1].server);
    EXPECT_EQ(lines[2].server->ftpPassword, "p");
    EXPECT_FALSE(lines[3].server);
    EXPECT_TRUE(lines[3].problem.empty());  // a blank line is not worth a message
    EXPECT_FALSE(lines[4].server);  // a control character would start an FTP command of its own
    EXPECT_FALSE(lines[4].problem.empty());
}

// Each field ends up on a line of its own in the FTP script; when the "open"
// line fails, the client reads the next lines as commands.
TEST(ServerList, FieldsTheFtpClientCouldRunAreRefused) {
    struct Case {
        const char* line;
        bool usable;
    };
    const std::string longField(200, 'x');
    const std::string longestField(199, 'x');
    const Case cases[] = {
        {"ftp.example.org,anonymous,guest@example.org", true},
        {"127.0.0.1 2121,u,p", true},
        {"::1 21,u,p", true},
        {"127.0.0.1 2121,u,p!ss", true},  // "!" only counts at the start of a line
        {"127.0.0.1,!touch PWNED,p", false},
        {"127.0.0.1,u,!sh", false},
        {"127.0.0.1,u,pass word", false},     // a second word is a command's argument
        {"127.0.0.1,u\tx,p", false},          // tab
        {"127.0.0.1,u,p\rquit", false},       // remnant of a line end
        {"127.0.0.1;touch X,u,p", false},     // shell metacharacter in the host
        {"127.0.0.1 $(touch X),u,p", false},  // not a port
        {"127.0.0.1 99999,u,p", false},       // port out of range
        {"-d host,u,p", false},               // would read as an option of "open"
        {"host\x7f,u,p", false},
        {",u,p", false},
        {"h,,p", false},
    };
    for (const Case& c : cases) {
        auto lines = parseServerList(c.line);
        ASSERT_EQ(lines.size(), 1u) << c.line;
        EXPECT_EQ(lines[0].server.has_value(), c.usable) << c.line;
    }
    EXPECT_FALSE(parseServerList("h,u," + longField)[0].server);  // refused, not cut
    EXPECT_TRUE(parseServerList("h,u," + longestField)[0].server);
}

TEST_F(UploadTest, HttpUploadSendsTheSmallerCopyAndReadsTheSignal) {
    START_HTTP_SERVER();
    MessageRecorder messages;
    scratch_.write("server/signal.txt", "v9.99\r\nPlease upgrade\r\n");
    std::string text = resultsText(0, 20);
    ResultRecord ranked = result(50);
    ranked.scoreLine += " Rank 3";
    text += recordText(result(3)) + recordText(ranked);  // a duplicate and a ranking record
    writeProg(kResultsToSend, text);
    versionNotice = VersionNotice{};

    EXPECT_EQ(sendResults(kResultsToSend, net()), SendOutcome::AllSent);

    Received got = received(serverRoot());
    ASSERT_EQ(got.names.size(), 1u);
    std::smatch m;
    ASSERT_TRUE(std::regex_match(
        got.names[0], m, std::regex(R"(v4\.4x/\d{8}-\d{6}-[A-Za-z0-9]{5}-Jo_Smith\.(txt|bin))")))
        << got.names[0];
    EXPECT_EQ(got.records, expectedSet(0, 20));
    // Byte-equal to the smaller of the two copies.
    ResultsList sent;
    for (int i = 0; i < 20; i++) listAppend(sent, result(i));
    ASSERT_TRUE(saveBinaryResults(sent, "check.bin"));
    std::string binary = progFile("check.bin");
    std::string textCopy = resultsText(0, 20);
    std::string uploaded = serverFile("uploads/" + got.names[0]);
    EXPECT_EQ(uploaded, textCopy.size() < binary.size() ? textCopy : binary);
    EXPECT_EQ(m[1], textCopy.size() < binary.size() ? "txt" : "bin");

    EXPECT_FALSE(fileExists(kResultsToSend));
    EXPECT_FALSE(fileExists(kSignalFile));
    EXPECT_TRUE(std::regex_match(progFile(kSendLog),
                                 std::regex(R"(\d{8}-\d{6} 20 results sent to pelto\.test\n)")))
        << progFile(kSendLog);
    EXPECT_EQ(versionNotice.latestVersion, "v9.99");
    EXPECT_EQ(versionNotice.versionMessage, "Please upgrade");
    // One line of its own, not a message box, in the console.
    EXPECT_NE(messages.output.find("\nNew version v9.99 is available from the website (you are "
                                   "using version v4.44d): Please upgrade"),
              std::string::npos)
        << messages.output;
    EXPECT_NE(messages.output.find("Results sent."), std::string::npos);
    removeFile("check.bin");
    EXPECT_EQ(listFolder(".", false), (std::vector<std::string>{"sendlog.log", "servers.csv"}));
}

TEST_F(UploadTest, OfflineSendKeepsEveryRecordAndALaterSendDeliversThemOnce) {
    MessageRecorder messages;
    std::string text = resultsText(0, 30);
    ResultRecord ranked = result(40);
    ranked.scoreLine += " rANK 1";
    // The duplicate and the ranking record are dropped, the rest comes back.
    writeProg(kResultsToSend, text + recordText(result(7)) + recordText(ranked));
    NetSettings offline = loopbackSettings(closedPort());
    EXPECT_EQ(sendResults(kResultsToSend, offline), SendOutcome::NotSent);
    EXPECT_EQ(progFile(kResultsToSend), text);
    EXPECT_NE(messages.output.find("Retrying: attempt 10 of 10"), std::string::npos);
    EXPECT_NE(messages.output.find("Currently offline.  Will try again later."), std::string::npos);
    EXPECT_EQ(listFolder(".", false), (std::vector<std::string>{"results.txt", "servers.csv"}));

    START_HTTP_SERVER();
    EXPECT_EQ(sendResults(kResultsToSend, net()), SendOutcome::AllSent);
    EXPECT_EQ(received(serverRoot()).records, expectedSet(0, 30));
    EXPECT_FALSE(fileExists(kResultsToSend));
}

// A server that misbehaves in any way leaves every record in the results file.
TEST_F(UploadTest, MisbehavingServerLosesNoRecord) {
    START_HTTP_SERVER();
    MessageRecorder messages;
    std::string text = resultsText(0, 12);
    for (const char* mode : {"500", "garbage", "drop", "silent"}) {
        writeProg(kResultsToSend, text);
        setMode(mode);
        NetSettings n = net();
        n.http.postTimeout = 0.3;
        EXPECT_EQ(uploadResults(kResultsToSend, {"pelto.test", "u", "p"}, kUploadPath, n),
                  kUploadNotSent)
            << mode;
        EXPECT_EQ(progFile(kResultsToSend), text) << mode;
        EXPECT_EQ(listFolder(".", false), (std::vector<std::string>{"results.txt", "servers.csv"}))
            << mode;
    }
    EXPECT_TRUE(received(serverRoot()).names.empty());
}

// While the transfer is under way the results file is untouched: a crash or
// power cut at that moment loses nothing.
TEST_F(UploadTest, ResultsFileIsWholeWhileTheUploadRuns) {
    START_HTTP_SERVER();
    MessageRecorder messages;
    std::string text = resultsText(0, 12);
    writeProg(kResultsToSend, text);
    setMode("silent");
    NetSettings n = net();
    n.http.postTimeout = 3;
    std::atomic<int> result{-5};
    std::thread upload([&]() {
        result = uploadResults(kResultsToSend, {"pelto.test", "u", "p"}, kUploadPath, n);
    });
    // Wait until the server has the request: the transfer is under way.
    while (result == -5 && serverFile("requests.log").find("POST") == std::string::npos) {
        sleepMs(10);
    }
    EXPECT_EQ(result, -5);
    std::string during = progFile(kResultsToSend);
    upload.join();
    EXPECT_EQ(during, text);
    EXPECT_EQ(result, kUploadNotSent);
    EXPECT_EQ(progFile(kResultsToSend), text);
}

TEST_F(UploadTest, LargeFileGoesInParts) {
    START_HTTP_SERVER();
    MessageRecorder messages;
    const int count = 4500;  // about 180 bytes a record: twice the per-upload limit and more
    writeProg(kResultsToSend, resultsText(0, count, 18));
    ASSERT_GT(fileSize(kResultsToSend), 2 * kHttpUploadLimit);
    EXPECT_EQ(sendResults(kResultsToSend, net()), SendOutcome::AllSent);
    Received got = received(serverRoot());
    EXPECT_EQ(got.names.size(), 3u);
    EXPECT_EQ(got.records, expectedSet(0, count, 18));
    EXPECT_NE(messages.output.find("Some results sent."), std::string::npos);
    EXPECT_FALSE(fileExists(kResultsToSend));
    EXPECT_FALSE(fileExists(kOverflowFile));
}

// No proxy: a web server named "host:port" is reached on its port, and so is
// an upload server whose host field carries a port, in the FTP form "host
// port" or as "host:port". Each request names the port in its URL and Host.
TEST_F(UploadTest, WithoutAProxyTheServersOwnPortIsUsed) {
    START_HTTP_SERVER();
    MessageRecorder messages;
    std::string hostPort = "127.0.0.1:" + std::to_string(http_.port());
    NetSettings direct = net();
    direct.http.proxyHost.clear();
    direct.http.proxyPort = 0;
    direct.webServer = hostPort;
    removeFile("servers.csv");
    serve("pelto/servers.csv", "127.0.0.1 " + std::to_string(http_.port()) + ",u,p\n");
    writeProg(kResultsToSend, resultsText(0, 12));
    EXPECT_EQ(sendResults(kResultsToSend, direct), SendOutcome::AllSent);  // fetches the list
    writeProg("servers.csv", hostPort + ",u,p\n");
    writeProg(kResultsToSend, resultsText(12, 24));
    EXPECT_EQ(sendResults(kResultsToSend, direct), SendOutcome::AllSent);
    EXPECT_EQ(received(serverRoot()).records, expectedSet(0, 24));
    std::string log = serverFile("requests.log");
    EXPECT_NE(log.find("GET http://" + hostPort + "/pelto/servers.csv Host=" + hostPort),
              std::string::npos)
        << log;
    EXPECT_NE(log.find("POST http://" + hostPort + "/pelto/uploadresults.php Host=" + hostPort),
              std::string::npos)
        << log;
}

TEST_F(UploadTest, ManualSendRefusesAShortFile) {
    START_HTTP_SERVER();
    MessageRecorder messages;
    writeProg(kResultsToSend, resultsText(0, 3));
    EXPECT_EQ(manualSend(net()), 1);
    EXPECT_NE(messages.output.find("\nNot sent: 'results.txt' is shorter than 10000 bytes and "
                                   "holds fewer than 10 results"),
              std::string::npos)
        << messages.output;
    EXPECT_TRUE(received(serverRoot()).names.empty());
    writeProg(kResultsToSend, resultsText(0, 12));
    EXPECT_EQ(manualSend(net()), 0);
    EXPECT_EQ(received(serverRoot()).records, expectedSet(0, 12));
}

TEST_F(UploadTest, MissingResultsFileIsNothingToSend) {
    START_HTTP_SERVER();
    MessageRecorder messages;
    EXPECT_EQ(sendResults(kResultsToSend, net()), SendOutcome::NothingToSend);
    EXPECT_NE(messages.output.find("\nNo results to send: 'results.txt' does not exist."),
              std::string::npos)
        << messages.output;
}

TEST_F(UploadTest, FtpUploadGoesThroughTheFtpClient) {
    std::string python = findPython("pyftpdlib");
    if (python.empty()) GTEST_SKIP() << "python3-pyftpdlib is not installed";
    if (!haveCommand("ftp")) GTEST_SKIP() << "no command-line FTP client (ftp) is installed";
    MessageRecorder messages;
    LoopbackServer ftp;
    ASSERT_TRUE(ftp.start(python, "ftp_test_server.py", serverRoot()));
    writeProg("servers.csv", "127.0.0.1 " + std::to_string(ftp.port()) + ",tester,secret\n");
    writeProg(kResultsToSend, resultsText(0, 15));
    NetSettings n = loopbackSettings(closedPort());
    n.uploadByHttp = false;
    n.ftpCommand = "ftp < script.ftp > ftp.log 2>&1";
    n.ftpBaseDeadline = 20;
    EXPECT_EQ(uploadResults(kResultsToSend, *pickServer(), kUploadPath, n), kUploadAllSent)
        << progFile("ftp.log");
    std::vector<std::string> files = listFolder(serverRoot() + "/v4.4x", true);
    ASSERT_EQ(files.size(), 1u);
    EXPECT_EQ(recordSet(loadResultsAny(serverRoot() + "/v4.4x/" + files[0], kProgramFormat)),
              expectedSet(0, 15));
    EXPECT_FALSE(fileExists(kResultsToSend));
    EXPECT_FALSE(fileExists("script.ftp"));
    EXPECT_FALSE(fileExists("testfiles"));
    EXPECT_TRUE(listFolder(serverRoot() + "/testfiles", false).empty());
    EXPECT_NE(messages.output.find("FTP process finished"), std::string::npos);
}

TEST_F(UploadTest, TheFtpClientsOwnOutputGoesToTheLogNotTheConsole) {
    MessageRecorder messages;
    writeProg(kResultsToSend, resultsText(0, 5));
    logFileOpen();
    NetSettings n = loopbackSettings(closedPort());
    n.uploadByHttp = false;
    // What a command-line FTP client prints while it works through a script.
    n.ftpCommand =
        "echo 'Connected to 127.0.0.1.'; echo 'Name (127.0.0.1:jo): Password: hush-42'; "
        "echo 'ftp> 230 Login successful.'";
    n.ftpBaseDeadline = 10;
    EXPECT_EQ(uploadResults(kResultsToSend, {"127.0.0.1", "u", "hush-42"}, kUploadPath, n),
              kUploadNotSent);
    logFileClose();
    std::string log = progFile(kLogFile);
    EXPECT_NE(log.find(" FTP: Connected to 127.0.0.1.\n"), std::string::npos) << log;
    EXPECT_NE(log.find(" FTP: ftp> 230 Login successful.\n"), std::string::npos) << log;
    EXPECT_NE(log.find("Password: ***"), std::string::npos) << log;
    EXPECT_EQ(log.find("hush-42"), std::string::npos) << log;
    EXPECT_EQ(messages.output.find("Connected to"), std::string::npos) << messages.output;
    EXPECT_NE(messages.output.find("FTP process finished"), std::string::npos);
}

TEST_F(UploadTest, HangingFtpClientIsStoppedAtItsDeadline) {
    MessageRecorder messages;
    std::string text = resultsText(0, 5);
    writeProg(kResultsToSend, text);
    NetSettings n = loopbackSettings(closedPort());
    n.uploadByHttp = false;
    n.ftpCommand = "sleep 30";
    n.ftpBaseDeadline = 0.5;
    double start = monotonicSeconds();
    EXPECT_EQ(uploadResults(kResultsToSend, {"127.0.0.1", "u", "p"}, kUploadPath, n),
              kUploadNotSent);
    EXPECT_LT(monotonicSeconds() - start, 20);  // the command would sleep 30 s
    EXPECT_NE(messages.output.find("FTP process timed out"), std::string::npos);
    EXPECT_EQ(progFile(kResultsToSend), text);
    // Only the client's log is left beside the results.
    EXPECT_EQ(listFolder(".", false),
              (std::vector<std::string>{"ftp.log", "results.txt", "servers.csv"}));
}

}  // namespace
