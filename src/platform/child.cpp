#include "platform/child.hpp"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <vector>

extern char** environ;

ChildProcess startShellCommand(const std::string& command, const std::string& outputPath) {
    ChildProcess child;
    posix_spawnattr_t attr;
    if (posix_spawnattr_init(&attr) != 0) return child;
    posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSID);
    posix_spawn_file_actions_t actions;
    if (posix_spawn_file_actions_init(&actions) != 0) {
        posix_spawnattr_destroy(&attr);
        return child;
    }
    if (!outputPath.empty()) {
        posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
        posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, outputPath.c_str(),
                                         O_WRONLY | O_CREAT | O_TRUNC, 0666);
        posix_spawn_file_actions_adddup2(&actions, STDOUT_FILENO, STDERR_FILENO);
    }
    const char* argv[] = {"sh", "-c", command.c_str(), nullptr};
    pid_t pid = -1;
    // posix_spawn takes char* const[] for historical reasons; it does not write.
    if (posix_spawn(&pid, "/bin/sh", &actions, &attr, const_cast<char* const*>(argv), environ) ==
        0) {
        child.pid = pid;
    }
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attr);
    return child;
}

ChildState pollChild(ChildProcess& child, int* status) {
    if (child.pid <= 0) return ChildState::Ended;
    int raw = 0;
    pid_t r = ::waitpid(child.pid, &raw, WNOHANG);
    if (r == 0) return ChildState::Running;
    if (r < 0) return errno == ECHILD ? ChildState::Ended : ChildState::Unknown;
    if (status != nullptr) *status = WIFEXITED(raw) ? WEXITSTATUS(raw) : 1;
    child.pid = -1;
    return ChildState::Ended;
}

void terminateChild(ChildProcess& child) {
    if (child.pid <= 0) return;
    // The child leads its own session, so its group id is its pid.
    ::kill(-child.pid, SIGKILL);
    while (::waitpid(child.pid, nullptr, 0) < 0 && errno == EINTR) {
    }
    child.pid = -1;
}

int runProgram(const std::vector<std::string>& argv) {
    if (argv.empty()) return -1;
    std::vector<char*> args;
    // posix_spawnp takes char* const[] for historical reasons; it does not write.
    for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    pid_t pid = -1;
    if (posix_spawnp(&pid, args[0], nullptr, nullptr, args.data(), environ) != 0) return -1;
    int raw = 0;
    while (::waitpid(pid, &raw, 0) < 0) {
        if (errno != EINTR) return -1;
    }
    if (WIFEXITED(raw)) return WEXITSTATUS(raw) == 127 ? -1 : WEXITSTATUS(raw);
    return 1;
}
