// Child processes run through the shell, for the external FTP client. The
// child gets a session of its own: it has no controlling terminal, so a
// program that would ask the terminal for a password reads its input instead,
// and the whole group can be ended at once.
#pragma once

#include <string>

struct ChildProcess {
    int pid = -1;
};

enum class ChildState { Running, Ended, Unknown };

// Starts "/bin/sh -c command"; pid -1 when it could not be started.
ChildProcess startShellCommand(const std::string& command);
// Whether the child has ended; its exit status goes to *status.
ChildState pollChild(ChildProcess& child, int* status);
// Ends the child's process group and collects it.
void terminateChild(ChildProcess& child);
// Runs the command through the shell and waits for it without a time limit.
int runShellCommand(const std::string& command);
