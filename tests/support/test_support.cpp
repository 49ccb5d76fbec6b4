#include "support/test_support.hpp"

#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "platform/process.hpp"

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
