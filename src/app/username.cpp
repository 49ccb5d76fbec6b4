#include "app/username.hpp"

#include <algorithm>

#include "common/report.hpp"
#include "common/text.hpp"
#include "display/display.hpp"
#include "platform/console.hpp"
#include "platform/dialog.hpp"
#include "platform/files.hpp"
#include "platform/process.hpp"

std::string userName;

namespace {

constexpr size_t kMaxNameRead = 999;
constexpr size_t kMaxNameTyped = 199;
constexpr const char* kForbidden = "/\\:?*<>|";

std::string firstLine(const std::string& text) {
    size_t end = text.find_first_of("\r\n");
    std::string line = text.substr(0, std::min(end, kMaxNameRead));
    while (!line.empty() && (isBlank(line.back()) || line.back() == '\0')) line.pop_back();
    return line;
}

void writeUserName(const std::string& name) {
    if (!writeFileAtomic(kUserFile, name)) report("[FATAL] Could not write 'user.txt'");
}

}  // namespace

void askUserName() {
    std::string name;
    if (displayMode == DisplayBackground) {
        showMessageBox(
            "Please create a file called 'user.txt' in your Pelto directory and write your desired "
            "project username in it.",
            "Pelto Error: No username specified");
        endProcess(0);
    }
    if (displayMode == DisplayGraphics && displayIsOpen()) {
        if (!displayAskLine("Username: ",
                            "This will identify your results in the Pelto statistics.  Press "
                            "Enter to accept or Escape to exit.",
                            name, usernameEntryType)) {
            endProcess(1);
        }
        writeUserName(name);
        return;
    }
    consoleGoto(1, 2);
    consoleWrite(
        "This will identify your results in the Pelto statistics.\nEnter nothing to cancel.");
    consoleGoto(1, 1);
    consoleWrite("Username: ");
    ConsoleRead read = consoleReadLine(name, kMaxNameTyped);
    consoleClear();
    if (read == ConsoleRead::Stopped) endAtStopRequest();
    if (name.empty()) endProcess(0);
    writeUserName(name);
}

void readUserName() {
    for (;;) {
        std::string text;
        std::string name;
        if (readWholeFile(kUserFile, text, 1 << 20) == ReadStatus::Ok) name = firstLine(text);
        for (const char* c = kForbidden; *c; c++) {
            if (name.find(*c) != std::string::npos) {
                reportf("[FATAL] Bad character '%c' found in username '%s'", *c, name.c_str());
            }
        }
        if (!name.empty()) {
            userName = name;
            reportf("Hello, %s", userName.c_str());
            return;
        }
        askUserName();
    }
}

bool watchUserName(int64_t& knownTime) {
    int64_t now = fileModTime(kUserFile);
    if (now == knownTime) return false;
    knownTime = now;
    report("Username changed...");
    userName.clear();
    readUserName();
    return true;
}

bool usernameEntryType(std::string& name, std::string_view typed) {
    for (char c : typed) {
        if (c == '\r') return true;
        if (c == '\b') {
            if (!name.empty()) name.pop_back();
        } else if (name.size() < kMaxNameTyped) {
            name += c;
        }
    }
    return false;
}
