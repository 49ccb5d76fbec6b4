#include "common/report.hpp"

#include <cstdarg>

#include "common/list.hpp"
#include "common/text.hpp"
#include "platform/console.hpp"
#include "platform/dialog.hpp"
#include "platform/log_file.hpp"
#include "platform/process.hpp"
#include "platform/signals.hpp"

DisplayMode displayMode = DisplayConsole;

namespace {

MessageSink sink;
ExitHook exitHook;
StopSaveHook stopSaveHook;

// Warnings the user answered "These" to, and whether "All" was answered.
bool allWarningsAccepted = false;
bool suppressionCreated = false;
List<std::string> suppressedWarnings;

void fillDefaults(MessageSink& s) {
    if (!s.write) s.write = consoleWrite;
    if (!s.writeInPlace) s.writeInPlace = consoleWriteInPlace;
    if (!s.readKey) s.readKey = consoleReadKey;
    if (!s.messageBox) {
        s.messageBox = [](const std::string& text) { showMessageBox(text, "Pelto Error"); };
    }
}

MessageSink& activeSink() {
    if (!sink.write) fillDefaults(sink);
    return sink;
}

bool isSuppressed(const std::string& text) {
    if (allWarningsAccepted) return true;
    for (const std::string& s : suppressedWarnings) {
        if (equalNoCase(s, text)) return true;
    }
    return false;
}

}  // namespace

void setMessageSink(MessageSink newSink) {
    sink = std::move(newSink);
    fillDefaults(sink);
}

void resetMessageSink() {
    sink = MessageSink{};
    fillDefaults(sink);
}

void setExitHook(ExitHook hook) {
    exitHook = std::move(hook);
}
void resetExitHook() {
    exitHook = nullptr;
}

void endProcess(int status) {
    if (exitHook) exitHook(status);
    exitProcess(status);
}

void setStopSaveHook(StopSaveHook hook) {
    stopSaveHook = std::move(hook);
}

void endAtStopRequest() {
    // Run once: a second signal during the save must not save twice.
    StopSaveHook save = std::move(stopSaveHook);
    stopSaveHook = nullptr;
    if (save) save();
    endProcess(0);
}

void resetWarningSuppression() {
    allWarningsAccepted = false;
    suppressionCreated = false;
    listClear(suppressedWarnings);
}

void report(const std::string& text) {
    // Logged before it is shown: a fatal text ends the process below.
    logLine(text);
    MessageSink& s = activeSink();
    if (displayMode == DisplayGraphics && s.drawLine) s.drawLine(text);
    if (displayMode == DisplayGraphics || displayMode == DisplayConsole) s.write("\n" + text);

    if (text.find("[FATAL]") != std::string::npos) {
        if (displayMode == DisplayBackground) s.messageBox(text);
        if (displayMode == DisplayGraphics && s.holdFatal) s.holdFatal();
        endProcess(kExitFatal);
    }
    if (text.find("[WARNING]") == std::string::npos) return;

    if (!suppressionCreated) {
        listInit(suppressedWarnings);
        suppressionCreated = true;
    }
    if (displayMode == DisplayBackground || isSuppressed(text)) return;

    report("Continue (Y/N/These/All)? ");
    int key = (displayMode == DisplayGraphics && s.graphicsKey) ? s.graphicsKey() : s.readKey();
    if (key == kConsoleKeyStopped || (key < 0 && stopRequested())) endAtStopRequest();
    char answer = key < 0 ? 'n' : lowerAscii(static_cast<char>(key));
    if (answer == 't') {
        report("These");
        listAppend(suppressedWarnings, text);
    } else if (answer == 'a') {
        report("All");
        allWarningsAccepted = true;
    } else if (answer == 'y') {
        report("Y");
    } else {
        report("N");
        endProcess(kExitRefused);
    }
}

void reportf(const char* fmt, ...) {
    va_list args;
    va_start(args, fmt);
    std::string text = vformat(fmt, args);
    va_end(args);
    report(text);
}

void reportProgress(const std::string& text) {
    MessageSink& s = activeSink();
    if (displayMode == DisplayGraphics && s.drawProgress) s.drawProgress(text);
    if (displayMode == DisplayConsole) s.writeInPlace(text);
}

void reportNotice(const std::string& text, const std::string& caption) {
    if (displayMode == DisplayBackground) {
        showMessageBox(text, caption);
    } else {
        report(text);
    }
}
