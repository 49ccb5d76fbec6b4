// The one way the program shows a message. Texts containing "[FATAL]" end the
// process with status 1; texts containing "[WARNING]" may ask the user whether
// to go on. Where the text goes depends only on the display mode.
#pragma once

#include <functional>
#include <string>
#include <string_view>

enum DisplayMode { DisplayGraphics, DisplayConsole, DisplayBackground };

// Process-wide display mode; the command-line scan sets it.
extern DisplayMode displayMode;

// Where messages go. The program installs console output; a graphics window
// adds its own drawing; tests install recorders and scripted key presses.
struct MessageSink {
    std::function<void(std::string_view)> write;         // raw text to the console
    std::function<void(std::string_view)> writeInPlace;  // progress line, replaces the last
    std::function<int()> readKey;                        // one key, -1 when none can come
    std::function<void(const std::string&)> messageBox;  // fatal text in background mode
    // Graphics mode only: draws a line in the message band, and shows a
    // progress line there. Empty until a window exists.
    std::function<void(std::string_view)> drawLine;
    std::function<void(std::string_view)> drawProgress;
    // Graphics mode: the key answering a warning (polling the window); -1 when
    // the window was closed or the user pressed Q or Escape.
    std::function<int()> graphicsKey;
    // Graphics mode: keep a fatal line on screen for a while before exiting.
    std::function<void()> holdFatal;
};

// Installs a sink; unset members fall back to the console versions.
void setMessageSink(MessageSink sink);
void resetMessageSink();

// Called instead of ending the process on a fatal message or refused warning.
// The default ends the process. A test hook may throw to get control back.
using ExitHook = std::function<void(int status)>;
void setExitHook(ExitHook hook);
void resetExitHook();
// Ends the process with `status`, through the exit hook when one is set.
[[noreturn]] void endProcess(int status);

// A stop signal (Ctrl-C, a service stop, a closed terminal) that arrives while
// the program waits at a prompt ends it at once, with status 0, after the
// saving hook has run: the main cycle installs one that saves the run in
// progress, as a stop during tracking would.
using StopSaveHook = std::function<void()>;
void setStopSaveHook(StopSaveHook hook);
[[noreturn]] void endAtStopRequest();

// Every text also goes to the log file when one is open, in every display
// mode, so that a background run leaves a trace.
void report(const std::string& text);
void reportf(const char* fmt, ...) __attribute__((format(printf, 1, 2)));
void reportProgress(const std::string& text);
// A notice the user must see even when nobody watches the console: one
// report line in the console and graphics modes, a message box (which also
// lands in the log) in background mode.
void reportNotice(const std::string& text, const std::string& caption);

// Forgets every "These"/"All" answer (a new process would start without them).
void resetWarningSuppression();

inline constexpr int kExitFatal = 1;
inline constexpr int kExitRefused = 2;
