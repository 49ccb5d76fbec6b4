#include "platform/process.hpp"

#include <sched.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <thread>

std::string executableFolder() {
    char buffer[PATH_MAX + 1];
    ssize_t n = ::readlink("/proc/self/exe", buffer, PATH_MAX);
    if (n <= 0) return "";
    std::string path(buffer, static_cast<size_t>(n));
    size_t slash = path.rfind('/');
    if (slash == std::string::npos) return "";
    return slash == 0 ? "/" : path.substr(0, slash);
}

bool setCurrentFolder(const std::string& folder) {
    return !folder.empty() && ::chdir(folder.c_str()) == 0;
}

std::string currentFolder() {
    char buffer[PATH_MAX + 1];
    if (::getcwd(buffer, sizeof buffer) == nullptr) return "";
    return buffer;
}

int logicalProcessorCount() {
    unsigned n = std::thread::hardware_concurrency();
    return n == 0 ? 1 : static_cast<int>(n);
}

void setProcessPriority(PriorityClass processClass, ThreadPriority threadPriority) {
    int niceness = 0;
    if (processClass == PriorityClass::Idle || threadPriority == ThreadPriority::Idle) {
        niceness = 19;
    } else if (threadPriority == ThreadPriority::Lowest) {
        niceness = 10;
    }
    if (niceness > 0) {
        // Raising niceness never needs privileges; lowering it would, so only raise.
        int current = ::getpriority(PRIO_PROCESS, 0);
        if (current < niceness) ::setpriority(PRIO_PROCESS, 0, niceness);
    }
    if (processClass == PriorityClass::Idle) {
        struct sched_param param {};
        ::sched_setscheduler(0, SCHED_IDLE, &param);
    }
}

bool runningAtIdlePriority() {
    if (::sched_getscheduler(0) == SCHED_IDLE) return true;
    errno = 0;
    int nice = ::getpriority(PRIO_PROCESS, 0);
    return errno == 0 && nice >= 19;
}

void exitProcess(int status) {
    std::fflush(stdout);
    std::fflush(stderr);
    std::exit(status);
}
