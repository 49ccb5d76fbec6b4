// Loopback servers for the network tests: the HTTP test server from tools/
// and an FTP server from the distribution, each started by the test on a
// port of 127.0.0.1 that the system chooses, and stopped when it ends.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <string>

#include "net/net_settings.hpp"
#include "platform/child.hpp"
#include "platform/clock.hpp"
#include "platform/files.hpp"
#include "platform/process.hpp"
#include "support/test_support.hpp"

// A Python interpreter that can import `module` ("" for none), or "".
inline std::string findPython(const std::string& module) {
    for (const char* candidate : {"python3", "/usr/bin/python3"}) {
        std::string check = std::string(candidate) + " -c 'import sys" +
                            (module.empty() ? "" : ", " + module) + "' >/dev/null 2>&1";
        if (std::system(check.c_str()) == 0) return candidate;
    }
    return "";
}

inline bool haveCommand(const std::string& name) {
    return std::system(("command -v " + name + " >/dev/null 2>&1").c_str()) == 0;
}

class LoopbackServer {
  public:
    LoopbackServer() = default;
    LoopbackServer(const LoopbackServer&) = delete;
    LoopbackServer& operator=(const LoopbackServer&) = delete;
    ~LoopbackServer() { stop(); }

    // Starts `script` from tools/ with --root and --port-file; false when it
    // does not report a port within ten seconds.
    bool start(const std::string& python, const std::string& script, const std::string& root,
               const std::string& extra = "") {
        std::string portFile = root + "/port.txt";
        removeFile(portFile);
        child_ = startShellCommand("exec " + python + " " + PELTO_SOURCE_DIR + "/tools/" + script +
                                   " --root '" + root + "' --port-file '" + portFile + "' " +
                                   extra + " >'" + root + "/server.log' 2>&1");
        double deadline = monotonicSeconds() + 10;
        while (monotonicSeconds() < deadline) {
            std::ifstream in(portFile);
            if (in >> port_ && port_ > 0) return true;
            sleepMs(20);
        }
        return false;
    }
    void stop() { terminateChild(child_); }
    uint16_t port() const { return static_cast<uint16_t>(port_); }

  private:
    ChildProcess child_;
    int port_ = 0;
};

// Settings that reach the loopback server through the proxy setting (every
// request carries its absolute URL), with short time-outs.
inline NetSettings loopbackSettings(uint16_t port) {
    NetSettings net;
    net.http.proxyHost = "127.0.0.1";
    net.http.proxyPort = port;
    net.http.connectTimeout = 2;
    net.http.getTimeout = 2;
    net.http.postTimeout = 2;
    net.webServer = "pelto.test";
    net.userName = "Jo Smith";
    net.downloadDeadline = 10;
    return net;
}

// A port on 127.0.0.1 where nothing listens (bound once, then released).
uint16_t closedPort();

// Each test runs with a program folder ("prog", the working folder) and a
// server root ("server", its files served from "server/files").
class NetTest : public ::testing::Test {
  protected:
    void SetUp() override {
        previous_ = currentFolder();
        makeDirectory(scratch_.file("prog"));
        makeDirectory(scratch_.file("server"));
        setCurrentFolder(scratch_.file("prog"));
    }
    void TearDown() override {
        http_.stop();
        setCurrentFolder(previous_);
    }
    std::string serverRoot() const { return scratch_.file("server"); }
    void serve(const std::string& path, const std::string& contents) const {
        scratch_.write("server/files/" + path, contents);
    }
    void setMode(const std::string& mode) const { scratch_.write("server/mode.txt", mode); }
    std::string serverFile(const std::string& name) const {
        return scratch_.read("server/" + name);
    }
    std::string progFile(const std::string& name) const { return scratch_.read("prog/" + name); }
    void writeProg(const std::string& name, const std::string& contents) const {
        scratch_.write("prog/" + name, contents);
    }
    NetSettings net() const { return loopbackSettings(http_.port()); }

    ScratchFolder scratch_;
    LoopbackServer http_;
    std::string previous_;
};

// Skips when there is no Python to run the test server; fails when it is
// there and the server does not start.
#define START_HTTP_SERVER()                                                    \
    do {                                                                       \
        std::string python_ = findPython("");                                  \
        if (python_.empty()) GTEST_SKIP() << "python3 is not installed";       \
        ASSERT_TRUE(http_.start(python_, "http_test_server.py", serverRoot())) \
            << serverFile("server.log");                                       \
    } while (0)
