// The one window of graphics mode, on SDL2 with a software frame buffer. It
// shows a Canvas, and turns window events into a Keyboard and mouse state.
// Nothing else in the program talks to SDL.
#pragma once

#include <string>

#include "display/canvas.hpp"
#include "display/keys.hpp"

struct WindowOptions {
    std::string title;
    int width = 0, height = 0;  // 0: a size of our choosing (the desktop when full screen)
    bool fullScreen = false;
};

// Whether a window could be shown at all: a display server is named in the
// environment (or a video driver is chosen explicitly, as tests do).
bool windowSystemPresent();
// Opens the window; on failure `whyNot` says what went wrong.
bool windowOpen(const WindowOptions& options, std::string& whyNot);
void windowClose();
bool windowIsOpen();

// Processes pending events. Returns true once the window has been closed.
bool windowPump();
// The keyboard since the last take: keys down now, keys pressed since, typed
// text. Taking clears the pressed keys and the typed text.
Keyboard windowTakeKeyboard();
// Keys down right now (including ones pressed and released since the last take).
bool windowKeyDown(Key key);
bool windowAnyKeyDown();

struct MouseState {
    int x = 0, y = 0;          // pointer position in the window
    bool seen = false;         // a motion event has arrived since the pointer was placed
    int wheel = 0;             // wheel clicks since the last take, up positive
    int dragX = 0, dragY = 0;  // movement with the left button down since the last take
};
MouseState windowTakeMouse();
MouseState windowMouse();
void windowWarpMouse(int x, int y);

// The canvas the frame is drawn into, sized to the window.
Canvas& windowCanvas();
// Shows the canvas in the window.
void windowPresent();
// Writes the canvas to a BMP file of the window's size.
bool windowSaveBmp(const std::string& path);
