// Graphics mode as the rest of the program sees it: open the window, prepare
// the view of a run, draw frames, run the keys, show messages, close. The
// main cycle passes in everything it draws; nothing here reads the
// application's own settings.
//
// One pass of the cycle's run loop in graphics mode:
//   displayTopText(...) when there is a notice;
//   displayDrawFrame(displayFrameOf(simulation, storage), run);
//   quit = displayHandleKeys(run, simulation.root.get()) || displayQuitKeyDown();
// where `run.running` is the cycle's pause state, and the steps per pass,
// the automatic frame rate and the automatic view are those of
// viewSettings(), which the keys change.
#pragma once

#include <string>
#include <string_view>

#include "display/frame.hpp"
#include "display/keys.hpp"
#include "display/view_settings.hpp"

struct Cell;

struct DisplayOptions {
    std::string title;
    int width = 0, height = 0;  // 0: a size of our choosing
    bool screensaver = false;   // full screen, no pointer
};

// false when no window can be shown; whyNot then says why.
bool displayOpen(const DisplayOptions& options, std::string& whyNot);
void displayClose();
bool displayIsOpen();

// A new run: the view starts from the whole beamline. A restored run keeps
// the pan and zoom the user had.
void displayPrepare(const Cell* root, bool restored);
// A line shown at the top of the next frame (the new-version notice).
void displayTopText(std::string_view text);
// Draws one frame of the run and shows it; while recording, also appends the
// frame to the animation files.
void displayDrawFrame(const DisplayFrame& frame, const RunControl& run);

// The plan view's window onto the beamline at the last frame, in metres:
// z along the screen, x up it.
struct ViewWindow {
    double zFrom = 0, zTo = 0, xFrom = 0, xTo = 0;
};
ViewWindow displayViewWindow();

// Processes pending window messages; true once the window has been closed.
bool displayPumpMessages();
// The keys of one pass (after the frame). Returns true when the user asked
// to quit (the window was closed, or Q held).
bool displayHandleKeys(RunControl& run, Cell* root);
// Q or Escape down, as the cycle checks after the keys (not while an entry
// is being typed, nor for the Escape that closed one).
bool displayQuitKeyDown();
// Screensaver checks: any key down; the pointer moved further than a tenth
// of the window's width from where displayCentrePointer put it.
bool displayAnyKeyDown();
bool displayPointerMovedAway();
void displayCentrePointer();

// Saves the window as "screenshot%05d.bmp" with the next free number.
// Returns the file name, or empty on failure.
std::string displayScreenshot();

// The message band: a line of report(), a progress line that replaces the
// last one, a key answering a warning (-1 when the window was closed or Q
// or Escape pressed), and the pause that keeps a fatal message visible.
void displayMessageLine(std::string_view text);
void displayProgressLine(std::string_view text);
int displayWaitKey();
void displayHoldFatal();
// A message box drawn in the window: the caption, the text (split at line
// ends) and "Press Enter to continue". Waits for Enter, Space or Escape, the
// window being closed, or `timeoutMs` (0: no limit). Returns the closing
// key, or -1 when the window was closed or the time ran out.
int displayMessageBox(std::string_view text, std::string_view caption, uint32_t timeoutMs);

// A question answered in the window: the label, a box holding the text with
// a blinking cursor, and the hint on the line below, redrawn until `type`
// accepts the text. `type` applies the characters typed since the previous
// pass (printable ones as typed, Enter as '\r', Backspace as '\b', in order)
// and returns true to accept. Returns false when the window was closed or
// Escape is down.
using LineEntryType = bool (*)(std::string& text, std::string_view typed);
bool displayAskLine(std::string_view label, std::string_view hint, std::string& text,
                    LineEntryType type);
