// A pelto-server process on 127.0.0.1 for the integration tests, and raw
// requests for what the client never sends.
#pragma once

#include <string>

#include "platform/child.hpp"
#include "support/test_support.hpp"

class ServerProcess {
  public:
    ServerProcess() = default;
    ServerProcess(const ServerProcess&) = delete;
    ServerProcess& operator=(const ServerProcess&) = delete;
    ~ServerProcess() { kill(); }
    // Starts pelto-server on a free port; false when it reports none in ten seconds.
    bool start(const std::string& root, const std::string& extra = "");
    void kill() { terminateChild(child_); }
    // SIGTERM, then the exit status (-1 when it did not end within ten seconds).
    int stop();
    uint16_t port() const { return static_cast<uint16_t>(port_); }
    std::string log() const;

  private:
    ChildProcess child_;
    std::string root_;
    int port_ = 0;
};

// Sends bytes to 127.0.0.1:port and returns what came back until the server
// closed (or five seconds of silence). Stops sending when the server closes.
std::string rawExchange(uint16_t port, const std::string& request);
// The status code of an answer, 0 when there is none.
int statusOf(const std::string& answer);
// A project folder with the two lattices of the server tests and a signal.
void makeProject(const ScratchFolder& dir, const std::string& root);
