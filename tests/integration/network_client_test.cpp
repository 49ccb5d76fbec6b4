// The client against servers on 127.0.0.1 that are hostile or broken: a
// server list whose fields would become FTP commands, upload servers that
// never finish their answer, and a lattice list that no longer names an
// author's own lattice.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>

#include "net/net_support.hpp"
#include "results/binary_results.hpp"
#include "results/score_line.hpp"
#include "support/test_support.hpp"

namespace {

std::string config(const std::string& upload, uint16_t proxyPort, int latticeHours = 0) {
    return "Auto-send results ([Y]es, [N]o): N\n"
           "Results upload method ('FTP' or 'HTTP'): " +
           upload +
           "\n"
           "Update lattice files from web every N hours (0=don't): " +
           std::to_string(latticeHours) +
           "\n"
           "Download sample results file after a number of hours (0=don't, min. 6): 0\n"
           "Use proxy server for HTTP downloads (server,port or 'no'): 127.0.0.1," +
           std::to_string(proxyPort) +
           "\n"
           "Threads (number or 'auto'): 1\n";
}

// Twelve records of a lattice this folder does not have: sent unchecked.
std::string resultsText() {
    std::string text;
    for (int i = 0; i < 12; i++) {
        text += "a=" + std::to_string(100 + i) + ";\r\n0." + std::to_string(10 + i) +
                " (1.0 Mpts) [v4.44d] <ghost>\r\n";
    }
    return text;
}

struct NetworkClient : ::testing::Test {
    ScratchFolder dir;     // the program folder
    ScratchFolder server;  // the servers' roots
    LoopbackServer http;

    void SetUp() override {
        std::filesystem::copy_file(PELTO_EXE, dir.file("pelto"));
        dir.write("user.txt", "Jo Smith");
        dir.write("results.txt", resultsText());
    }
    CommandResult run(const std::string& args, const std::string& env = "") const {
        return runCommand("cd / && env -u DISPLAY -u WAYLAND_DISPLAY " + env + " '" +
                          dir.file("pelto") + "' " + args);
    }
    bool startHttp() {
        std::string python = findPython("");
        return !python.empty() && http.start(python, "http_test_server.py", server.path());
    }
};

size_t occurrences(const std::string& text, const std::string& what) {
    size_t n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) n++;
    return n;
}

}  // namespace

// "servers.csv" comes over plain HTTP. Its fields become lines of the FTP
// script, and when the "open" line fails the FTP client reads the next lines
// as commands, "!" escaping to the shell. No such line may reach the script.
TEST_F(NetworkClient, ServerListFieldsNeverBecomeFtpCommands) {
    if (!haveCommand("ftp")) GTEST_SKIP() << "no command-line FTP client (ftp) is installed";
    const std::string marker = dir.file("PWNED");
    const std::string lines[] = {
        "127.0.0.1 9,!touch " + marker + ",!touch " + marker + "2",  // shell escapes
        "127.0.0.1 9,u,!touch " + marker,                            // in the password only
        "127.0.0.1 9,u\r!touch " + marker + ",p",                    // a line end's remnant
        "127.0.0.1 9,u,p \x0b!touch " + marker,                      // blanks before the "!"
        "127.0.0.1 9,u,pass word",                                   // a second word
        "127.0.0.1 9,u," + std::string(300, 'x'),                    // over-long
        "127.0.0.1;touch " + marker + ",u,p",                        // shell metacharacter
        "$(touch " + marker + "),u,p",                               // command substitution
    };
    dir.write("config.txt", config("FTP", 9));
    for (const std::string& line : lines) {
        SCOPED_TRACE(line);
        dir.write("servers.csv", line + "\n");
        CommandResult r = run("-c -s");
        EXPECT_EQ(r.status, 0) << r.output;
        for (const std::string& name : listFolder(dir.path(), false)) {
            EXPECT_EQ(name.find("PWNED"), std::string::npos) << name;
        }
        EXPECT_FALSE(std::filesystem::exists(dir.file("script.ftp")));
        EXPECT_FALSE(std::filesystem::exists(dir.file("ftp.log")));  // nothing was run
        EXPECT_EQ(dir.read("results.txt"), resultsText());
        EXPECT_EQ(occurrences(r.output, "servers.csv line 1 is not used"), 1u) << r.output;
    }
}

// A usable line whose server is not there: the FTP client runs, fails, and
// its chatter lands in "ftp.log", not on the console; the results stay.
TEST_F(NetworkClient, FtpClientOutputGoesToItsLog) {
    if (!haveCommand("ftp")) GTEST_SKIP() << "no command-line FTP client (ftp) is installed";
    dir.write("config.txt", config("FTP", 9));
    dir.write("servers.csv", "127.0.0.1 9,tester,secret\n");
    CommandResult r = run("-c -s");
    EXPECT_EQ(r.status, 0) << r.output;
    EXPECT_TRUE(std::filesystem::exists(dir.file("ftp.log")));
    EXPECT_EQ(r.output.find("Password:"), std::string::npos) << r.output;
    EXPECT_EQ(r.output.find("Name ("), std::string::npos) << r.output;
    EXPECT_EQ(loadResultsAny(dir.file("results.txt"), kProgramFormat).count(), 12u);
    EXPECT_FALSE(std::filesystem::exists(dir.file("script.ftp")));
}

TEST_F(NetworkClient, FtpUploadThroughTheRealClientAndServer) {
    if (!haveCommand("ftp")) GTEST_SKIP() << "no command-line FTP client (ftp) is installed";
    std::string python = findPython("pyftpdlib");
    if (python.empty()) GTEST_SKIP() << "python3-pyftpdlib is not installed";
    LoopbackServer ftp;
    ASSERT_TRUE(ftp.start(python, "ftp_test_server.py", server.path()));
    dir.write("config.txt", config("FTP", 9));
    dir.write("servers.csv", "127.0.0.1 " + std::to_string(ftp.port()) + ",tester,secret\n");
    CommandResult r = run("-c -s");
    EXPECT_EQ(r.status, 0) << r.output;
    EXPECT_NE(r.output.find("Results sent."), std::string::npos) << r.output << dir.read("ftp.log");
    EXPECT_EQ(r.output.find("Password:"), std::string::npos) << r.output;
    EXPECT_FALSE(std::filesystem::exists(dir.file("results.txt")));
    EXPECT_EQ(listFolder(server.path() + "/v4.4x", true).size(), 1u);
}

// Upload servers that hold the send: silent, dripping a byte at a time, or
// answering "100 Continue" for ever. One send gives up at its deadline, the
// results stay for the next one, and the program goes on.
TEST_F(NetworkClient, OneSendEndsAtItsDeadline) {
    if (!startHttp()) GTEST_SKIP() << "python3 is not installed or the server did not start";
    dir.write("config.txt", config("HTTP", http.port()));
    dir.write("servers.csv", "pelto.test,u,p\n");
    for (const char* mode : {"silent", "drip", "continue"}) {
        SCOPED_TRACE(mode);
        server.write("mode.txt", std::string(mode) + " uploadresults");
        auto start = std::chrono::steady_clock::now();
        CommandResult r = run("-c -s", "PELTO_SEND_DEADLINE=3");
        double seconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        EXPECT_EQ(r.status, 0) << r.output;
        EXPECT_LT(seconds, 15) << r.output;  // each wait alone would allow 30 s
        EXPECT_NE(r.output.find("Sending took longer than 3 seconds"), std::string::npos)
            << r.output;
        EXPECT_EQ(loadResultsAny(dir.file("results.txt"), kProgramFormat).count(), 12u);
    }
}

// The project's list no longer names a lattice an author keeps in the folder:
// it is moved to "lattices/retired", not deleted, and no run takes it.
TEST_F(NetworkClient, LatticeUpdateRetiresUnlistedLattices) {
    if (!startHttp()) GTEST_SKIP() << "python3 is not installed or the server did not start";
    const std::string lattice =
        "t_max=30ns\nseed=5\n{Drift(D) Length(m)}\n{particle(P) species Energy(MeV)}\n"
        "D1 1\nP1 'pi+' 300\nLINE: P1, D1;\nLINE\n";
    dir.write("config.txt", config("HTTP", http.port(), 12));
    dir.write("lattices/quick.txt", lattice);
    dir.write("lattices/mine.txt", "my own work\n");
    server.write("files/pelto/lattices/list.php", "quick\n");
    CommandResult r = run("-c -init");
    EXPECT_EQ(r.status, 0) << r.output;
    EXPECT_NE(r.output.find("Lattice 'mine' is not on the project's list; moved to "
                            "'lattices/retired/mine.txt'"),
              std::string::npos)
        << r.output;
    EXPECT_EQ(dir.read("lattices/retired/mine.txt"), "my own work\n");
    EXPECT_FALSE(std::filesystem::exists(dir.file("lattices/mine.txt")));
    EXPECT_EQ(dir.read("lattices/quick.txt"), lattice);
}
