// The keys of graphics mode: which key does what to the view settings and to
// the run. The window turns its events into a Keyboard; applyKeys is plain
// logic on it, so every rule can be exercised without a window.
#pragma once

#include <bitset>
#include <string>

#include "display/view_settings.hpp"

struct Cell;

enum Key : int {
    KeyNone = 0,
    KeyA,  // KeyA + n is the n-th letter
    KeyZ = KeyA + 25,
    Key0,  // Key0 + n is the digit n of the main keyboard
    Key9 = Key0 + 9,
    KeyF1,  // KeyF1 + n - 1 is Fn
    KeyF12 = KeyF1 + 11,
    KeyPad0,  // numeric keypad digits
    KeyPad9 = KeyPad0 + 9,
    KeySpace,
    KeyInsert,
    KeyHome,
    KeyEnd,
    KeyPageUp,
    KeyPageDown,
    KeyEscape,
    KeyEnter,
    KeyBackspace,
    KeyTab,
    KeyCtrl,
    KeyShift,
    KeyOther,  // any other key: only the screensaver cares
    KeyCount
};

inline constexpr Key letterKey(char c) {
    return static_cast<Key>(KeyA + (c - 'A'));
}

// The keyboard as one pass of the run loop sees it.
struct Keyboard {
    std::bitset<KeyCount> down;     // down now
    std::bitset<KeyCount> pressed;  // went down since the previous pass
    std::string typed;              // printable characters typed since then
    bool isDown(Key k) const { return down[k] || pressed[k]; }
    bool wasPressed(Key k) const { return pressed[k]; }
};

// What the cycle's run loop lends the keys for one pass.
struct RunControl {
    bool running = true;         // false while paused
    double elapsed = 0;          // seconds since the run (or its auto-save timer) started
    double elapsedAtPause = -1;  // recorded by the pause key for the display
};

// What the keys ask of the window and the cycle.
struct KeyResult {
    bool quit = false;
    bool screenshot = false;
    bool swallowEscape = false;  // an entry closed with Escape: it must not quit
};

// One pass of the key rules. root may be none (no beamline yet).
KeyResult applyKeys(const Keyboard& kb, ViewSettings& view, RunControl& run, Cell* root);

// The help screen, line by line (blank lines separate the groups).
extern const char* const kHelpLines[];
extern const int kHelpLineCount;
