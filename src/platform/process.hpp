// The running process: where its executable lives, its working folder, the
// processor count and the scheduling priority.
#pragma once

#include <string>

// Folder of the running executable (from /proc/self/exe), empty if unknown.
std::string executableFolder();
bool setCurrentFolder(const std::string& folder);
std::string currentFolder();
int logicalProcessorCount();

enum class PriorityClass { Idle, Normal };
enum class ThreadPriority { Idle, Lowest, Normal };
// Lowers the priority of the process and its main thread. Raising it again is
// not possible for an unprivileged process, which is fine: it only ever drops.
void setProcessPriority(PriorityClass processClass, ThreadPriority threadPriority);
// True when the process runs at idle priority (the idle scheduling class or
// the lowest niceness), where it should take only time nobody else wants.
bool runningAtIdlePriority();

// Ends the process at once with the given status, flushing standard streams.
[[noreturn]] void exitProcess(int status);
