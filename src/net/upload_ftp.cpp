#include <algorithm>

#include "common/random.hpp"
#include "common/text.hpp"
#include "net/upload.hpp"
#include "platform/child.hpp"
#include "platform/clock.hpp"
#include "platform/files.hpp"
#include "platform/log_file.hpp"
#include "platform/process.hpp"

namespace {

constexpr const char* kTestFolder = "testfiles";
constexpr const char* kScriptFile = "script.ftp";
// The log gets at most this much of what the FTP client wrote.
constexpr int64_t kMaxFtpLogBytes = 16 * 1024;

std::string testFileName() {
    std::string name = "testfile_";
    for (int i = 0; i < 11; i++) name += static_cast<char>('a' + randomBelow(26));
    return name + ".txt";
}

std::string ftpScript(const UploadServer& server, const std::string& uploadFile,
                      const std::string& testName, const NetSettings& net) {
    std::string folder = versionFolder(net.version);
    std::string script =
        "open " + server.host + "\n" + server.ftpUser + "\n" + server.ftpPassword + "\n";
    if (net.ftpPassive) script += "quote pasv\n";
    script +=
        "lcd " + currentFolder().substr(0, 999) + "\nmkdir " + folder + "\ncd " + folder + "\n";
    script += "binary\nput " + uploadFile + "\n";
    script += "cd ..\nget signal.dat\n";
    script += "mkdir testfiles\ncd testfiles\nlcd testfiles\nput " + testName + "\nlcd ..\nget " +
              testName + "\ndel " + testName + "\nquit\n";
    return script;
}

// Runs the FTP command until it ends or its deadline passes. Both ways of
// calling it get the deadline: a client left waiting for a server would
// otherwise hold the program for ever. Its prompts and messages go to the
// log, not onto the console.
void runFtpClient(const std::string& uploadFile, const NetSettings& net) {
    ChildProcess child = startShellCommand(net.ftpCommand, kFtpLogFile);
    if (child.pid <= 0) {
        reportf("Could not start the FTP command '%s'", net.ftpCommand.c_str());
        return;
    }
    int64_t size = fileSize(uploadFile);
    double deadline =
        monotonicSeconds() + net.ftpBaseDeadline + static_cast<double>(size > 0 ? size / 1024 : 0);
    if (net.http.deadline > 0) deadline = std::min(deadline, net.http.deadline);
    for (;;) {
        ChildState state = pollChild(child, nullptr);
        if (state == ChildState::Ended) {
            report("FTP process finished");
            return;
        }
        if (state == ChildState::Unknown)
            report("Could not tell whether the FTP client is still running");
        if (monotonicSeconds() > deadline) {
            report("FTP process timed out");
            terminateChild(child);
            return;
        }
        sleepMs(250);
    }
}

// The FTP client's own output (its prompts and server replies) goes to the
// program's log rather than the console; the password never does.
void logFtpOutput(const std::string& password) {
    std::string tail;
    int64_t start = 0;
    if (!readFileTail(kFtpLogFile, kMaxFtpLogBytes, tail, start) || tail.empty()) return;
    if (!password.empty()) {
        for (size_t at = tail.find(password); at != std::string::npos;
             at = tail.find(password, at + 3)) {
            tail.replace(at, password.size(), "***");
        }
    }
    std::string lines;
    for (size_t from = 0; from < tail.size();) {
        size_t end = tail.find('\n', from);
        if (end == std::string::npos) end = tail.size();
        if (end > from) lines += "FTP: " + tail.substr(from, end - from) + "\n";
        from = end + 1;
    }
    logLine(lines);
}

void removeTestFolder() {
    for (const std::string& name : listFolder(kTestFolder, true)) {
        removeFile(std::string(kTestFolder) + "/" + name);
    }
    removeDirectory(kTestFolder);
}

}  // namespace

bool ftpUpload(const std::string& uploadFile, const UploadServer& server, const NetSettings& net) {
    // Every field becomes a script line; one the FTP client could run as a
    // command never gets there, whoever built the server entry.
    const char* problem = badServerHost(server.host);
    if (!problem) problem = badServerLogin(server.ftpUser);
    if (!problem) problem = badServerLogin(server.ftpPassword);
    if (problem) {
        reportf("Upload server entry not used (%s)", problem);
        return false;
    }
    std::string testName = testFileName();
    std::string localTest = std::string(kTestFolder) + "/" + testName;
    makeDirectory(kTestFolder);
    if (!writeFileAtomic(localTest, "Test\n")) {
        report("Test file could not be created - check permissions");
        return false;
    }
    // Only a copy fetched back by this run may count as proof of a transfer.
    removeFile(testName);
    if (!writeFileAtomic(kScriptFile, ftpScript(server, uploadFile, testName, net))) {
        report("Could not write FTP script file - check permissions");
        removeFile(localTest);
        return false;
    }
    runFtpClient(uploadFile, net);
    logFtpOutput(server.ftpPassword);
    removeFile(kScriptFile);
    removeFile(localTest);

    std::string fetched;
    bool sent = readWholeFile(testName, fetched, 1024) == ReadStatus::Ok &&
                fetched.substr(0, fetched.find('\n') + 1) == "Test\n";
    removeFile(testName);
    removeTestFolder();
    return sent;
}
