// Child processes run through the shell, for the external FTP client. The
// child gets a session of its own: it has no controlling terminal, so a
// program that would ask the terminal for a password reads its input instead,
// and the whole group can be ended at once.
#pragma once

#include <string>
#include <vector>

struct ChildProcess {
    int pid = -1;
};

enum class ChildState { Running, Ended, Unknown };

// Starts "/bin/sh -c command"; pid -1 when it could not be started. With an
// output path, the child's standard output and error go to that file
// (replaced) and its standard input is empty, so that it neither writes on
// the user's console nor reads from it.
ChildProcess startShellCommand(const std::string& command, const std::string& outputPath = "");
// Whether the child has ended; its exit status goes to *status.
ChildState pollChild(ChildProcess& child, int* status);
// Ends the child's process group and collects it.
void terminateChild(ChildProcess& child);

// Runs a program looked up on PATH with these arguments (argv[0] names it),
// its output and input shared with ours, and waits for it to end. Its exit
// status, or -1 when it could not be started (not installed). No shell sees
// the arguments, so file names need no quoting.
int runProgram(const std::vector<std::string>& argv);
