#include "support/test_support.hpp"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <thread>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "platform/process.hpp"

extern char** environ;

MessageRecorder::MessageRecorder(DisplayMode mode) {
    displayMode = mode;
    resetWarningSuppression();
    MessageSink sink;
    sink.write = [this](std::string_view t) { output += t; };
    sink.writeInPlace = [this](std::string_view t) { output += "\r" + std::string(t); };
    sink.readKey = [this]() {
        if (keys.empty()) return -1;
        int k = keys.front();
        keys.pop_front();
        return k;
    };
    sink.messageBox = [this](const std::string& t) { boxes.push_back(t); };
    setMessageSink(sink);
    setExitHook([](int status) { throw ProcessExit{status}; });
}

MessageRecorder::~MessageRecorder() {
    resetMessageSink();
    resetExitHook();
    resetWarningSuppression();
    displayMode = DisplayConsole;
}

ScratchFolder::ScratchFolder() {
    std::string templ = (std::filesystem::temp_directory_path() / "pelto-test-XXXXXX").string();
    if (char* made = mkdtemp(templ.data())) path_ = made;
}

ScratchFolder::~ScratchFolder() {
    std::error_code ec;
    if (!path_.empty()) std::filesystem::remove_all(path_, ec);
}

void ScratchFolder::write(const std::string& name, const std::string& contents) const {
    std::filesystem::path p = std::filesystem::path(path_) / name;
    std::filesystem::create_directories(p.parent_path());
    std::ofstream(p, std::ios::binary) << contents;
}

std::string ScratchFolder::read(const std::string& name) const {
    std::ifstream in(std::filesystem::path(path_) / name, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

// Not a delegating constructor: the scratch folder must exist before it is entered.
InFolder::InFolder() : previous(currentFolder()) {
    setCurrentFolder(folder.path());
}

InFolder::InFolder(const std::string& path) : previous(currentFolder()) {
    setCurrentFolder(path);
}

InFolder::~InFolder() {
    setCurrentFolder(previous);
}

CommandResult runCommand(const std::string& command, const std::string& input) {
    CommandResult result;
    std::string full = "(" + command + ") 2>&1";
    std::string inputFile;
    {
        char name[] = "/tmp/pelto-input-XXXXXX";
        int fd = mkstemp(name);
        if (fd >= 0) {
            FILE* f = fdopen(fd, "wb");
            std::fwrite(input.data(), 1, input.size(), f);
            std::fclose(f);
            inputFile = name;
            full += " < " + inputFile;
        }
    }
    FILE* pipe = popen(full.c_str(), "r");
    if (pipe) {
        char buffer[4096];
        size_t n;
        while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0)
            result.output.append(buffer, n);
        int raw = pclose(pipe);
        result.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    }
    if (!inputFile.empty()) std::remove(inputFile.c_str());
    return result;
}

RunningCommand::RunningCommand(const std::string& command) {
    int pipeEnds[2];
    if (::pipe(pipeEnds) != 0) return;
    input_ = pipeEnds[1];
    ::fcntl(input_, F_SETFD, FD_CLOEXEC);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pipeEnds[0], STDIN_FILENO);
    posix_spawn_file_actions_addclose(&actions, pipeEnds[0]);
    std::string out = outputFolder_.file("output.txt");
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, out.c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_adddup2(&actions, STDOUT_FILENO, STDERR_FILENO);
    std::string line = "exec " + command;
    const char* argv[] = {"sh", "-c", line.c_str(), nullptr};
    pid_t pid = -1;
    if (posix_spawn(&pid, "/bin/sh", &actions, nullptr, const_cast<char* const*>(argv), environ) ==
        0) {
        pid_ = pid;
    }
    posix_spawn_file_actions_destroy(&actions);
    ::close(pipeEnds[0]);
}

RunningCommand::~RunningCommand() {
    if (pid_ > 0) {
        ::kill(pid_, SIGKILL);
        ::waitpid(pid_, nullptr, 0);
    }
    if (input_ >= 0) ::close(input_);
}

std::string RunningCommand::output() const {
    return outputFolder_.read("output.txt");
}

bool RunningCommand::waitForOutput(const std::string& text, double seconds) const {
    auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    while (std::chrono::steady_clock::now() < end) {
        if (output().find(text) != std::string::npos) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return output().find(text) != std::string::npos;
}

void RunningCommand::signal(int number) const {
    if (pid_ > 0) ::kill(pid_, number);
}

int RunningCommand::wait(double seconds) {
    auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    while (pid_ > 0) {
        int raw = 0;
        pid_t r = ::waitpid(pid_, &raw, WNOHANG);
        if (r == pid_) {
            status_ = WIFEXITED(raw) ? WEXITSTATUS(raw) : 128 + WTERMSIG(raw);
            pid_ = -1;
            break;
        }
        if (std::chrono::steady_clock::now() >= end) return -1;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return status_;
}
