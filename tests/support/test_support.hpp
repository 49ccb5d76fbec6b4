// Helpers shared by the tests: a scratch folder, a message recorder that can
// answer warnings, and a way to observe the process ending without ending it.
#pragma once

#include <deque>
#include <string>
#include <vector>

#include "common/report.hpp"

// Thrown by the test exit hook instead of ending the test process.
struct ProcessExit {
    int status;
};

// Captures every message and answers warning questions from a script of keys.
// Installs itself on construction and restores the console on destruction.
class MessageRecorder {
  public:
    explicit MessageRecorder(DisplayMode mode = DisplayConsole);
    ~MessageRecorder();
    std::string output;              // everything written, as the console would see it
    std::vector<std::string> boxes;  // message boxes shown
    std::deque<int> keys;            // answers to give, in order
};

// A fresh folder under the system temporary folder, removed on destruction.
class ScratchFolder {
  public:
    ScratchFolder();
    ~ScratchFolder();
    const std::string& path() const { return path_; }
    std::string file(const std::string& name) const { return path_ + "/" + name; }
    void write(const std::string& name, const std::string& contents) const;
    std::string read(const std::string& name) const;

  private:
    std::string path_;
};

// The working directory for the life of the object: a fresh scratch folder,
// or the folder given.
struct InFolder {
    ScratchFolder folder;
    std::string previous;
    InFolder();
    explicit InFolder(const std::string& path);
    ~InFolder();
    InFolder(const InFolder&) = delete;
    InFolder& operator=(const InFolder&) = delete;
};

struct CommandResult {
    int status = -1;
    std::string output;  // standard output and standard error together
};

// Runs a command line through the shell with standard input from `input`.
CommandResult runCommand(const std::string& command, const std::string& input = "");

// A command left running: started through the shell (which execs it, so the
// pid is the command's own), its standard input a pipe the test holds open so
// that a prompt waits, its output collected in a file.
class RunningCommand {
  public:
    explicit RunningCommand(const std::string& command);
    ~RunningCommand();
    RunningCommand(const RunningCommand&) = delete;
    RunningCommand& operator=(const RunningCommand&) = delete;
    // Whether the output holds `text` within `seconds`.
    bool waitForOutput(const std::string& text, double seconds) const;
    std::string output() const;
    void signal(int number) const;
    // The exit status, or -1 when the command had not ended within `seconds`.
    int wait(double seconds);
    bool running() const { return pid_ > 0; }

  private:
    ScratchFolder outputFolder_;
    int pid_ = -1;
    int input_ = -1;
    int status_ = -1;
};
