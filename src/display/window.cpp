#include "display/window.hpp"

#include <SDL.h>

#include <algorithm>
#include <cstdlib>

namespace {

struct WindowState {
    SDL_Window* window = nullptr;
    bool closed = false;
    Keyboard keyboard;
    MouseState mouse;
    bool leftButton = false;
    Canvas canvas;
};

WindowState state;

Key keyOfScancode(SDL_Scancode sc) {
    if (sc >= SDL_SCANCODE_A && sc <= SDL_SCANCODE_Z)
        return static_cast<Key>(KeyA + (sc - SDL_SCANCODE_A));
    if (sc >= SDL_SCANCODE_1 && sc <= SDL_SCANCODE_9)
        return static_cast<Key>(Key0 + 1 + (sc - SDL_SCANCODE_1));
    if (sc == SDL_SCANCODE_0) return Key0;
    if (sc >= SDL_SCANCODE_F1 && sc <= SDL_SCANCODE_F12)
        return static_cast<Key>(KeyF1 + (sc - SDL_SCANCODE_F1));
    if (sc >= SDL_SCANCODE_KP_1 && sc <= SDL_SCANCODE_KP_9) {
        return static_cast<Key>(KeyPad0 + 1 + (sc - SDL_SCANCODE_KP_1));
    }
    switch (sc) {
        case SDL_SCANCODE_KP_0:
            return KeyPad0;
        case SDL_SCANCODE_SPACE:
            return KeySpace;
        case SDL_SCANCODE_INSERT:
            return KeyInsert;
        case SDL_SCANCODE_HOME:
            return KeyHome;
        case SDL_SCANCODE_END:
            return KeyEnd;
        case SDL_SCANCODE_PAGEUP:
            return KeyPageUp;
        case SDL_SCANCODE_PAGEDOWN:
            return KeyPageDown;
        case SDL_SCANCODE_ESCAPE:
            return KeyEscape;
        case SDL_SCANCODE_RETURN:
        case SDL_SCANCODE_KP_ENTER:
            return KeyEnter;
        case SDL_SCANCODE_BACKSPACE:
            return KeyBackspace;
        case SDL_SCANCODE_TAB:
            return KeyTab;
        case SDL_SCANCODE_LCTRL:
        case SDL_SCANCODE_RCTRL:
            return KeyCtrl;
        case SDL_SCANCODE_LSHIFT:
        case SDL_SCANCODE_RSHIFT:
            return KeyShift;
        case SDL_SCANCODE_UNKNOWN:
            return KeyNone;
        default:
            return KeyOther;
    }
}

// Letters and digits follow the key's label (the keyboard layout), the rest
// its position.
Key keyOf(const SDL_Keysym& ks) {
    if (ks.sym >= SDLK_a && ks.sym <= SDLK_z) return static_cast<Key>(KeyA + (ks.sym - SDLK_a));
    if (ks.sym >= SDLK_0 && ks.sym <= SDLK_9) return static_cast<Key>(Key0 + (ks.sym - SDLK_0));
    return keyOfScancode(ks.scancode);
}

void onKey(const SDL_KeyboardEvent& e) {
    Key k = keyOf(e.keysym);
    if (k == KeyNone) return;
    Keyboard& kb = state.keyboard;
    if (e.type == SDL_KEYUP) {
        kb.down[k] = false;
        return;
    }
    if (!e.repeat) kb.pressed[k] = true;
    kb.down[k] = true;
    // The modifier state says Ctrl is down even when its own key event went
    // to another window before this one had the focus.
    if (e.keysym.mod & KMOD_CTRL) kb.pressed[KeyCtrl] = true;
    // Typed text for the entries; a Ctrl chord is a command, not text.
    bool ctrl = (e.keysym.mod & KMOD_CTRL) || kb.down[KeyCtrl];
    SDL_Keycode sym = e.keysym.sym;
    // Enter and Backspace go into the typed text too, so that a line entry
    // sees them in their place among the characters.
    if ((k == KeyEnter || k == KeyBackspace) && kb.typed.size() < 256) {
        kb.typed += k == KeyEnter ? '\r' : '\b';
    }
    if (!ctrl && sym >= 32 && sym <= 126) {
        char c = static_cast<char>(sym);
        bool shift = (e.keysym.mod & KMOD_SHIFT) || kb.down[KeyShift];
        if (shift && c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
        if (kb.typed.size() < 256) kb.typed += c;
    }
}

void onEvent(const SDL_Event& e) {
    switch (e.type) {
        case SDL_QUIT:
            state.closed = true;
            break;
        case SDL_WINDOWEVENT:
            if (e.window.event == SDL_WINDOWEVENT_CLOSE) state.closed = true;
            break;
        case SDL_KEYDOWN:
        case SDL_KEYUP:
            onKey(e.key);
            break;
        case SDL_MOUSEMOTION:
            state.mouse.x = e.motion.x;
            state.mouse.y = e.motion.y;
            state.mouse.seen = true;
            if (state.leftButton)
                state.mouse.dragX += e.motion.xrel, state.mouse.dragY += e.motion.yrel;
            break;
        case SDL_MOUSEBUTTONDOWN:
        case SDL_MOUSEBUTTONUP:
            if (e.button.button == SDL_BUTTON_LEFT)
                state.leftButton = e.type == SDL_MOUSEBUTTONDOWN;
            break;
        case SDL_MOUSEWHEEL:
            state.mouse.wheel += e.wheel.y;
            break;
        default:
            break;
    }
}

void fitCanvas() {
    int w = 0, h = 0;
    SDL_GetWindowSize(state.window, &w, &h);
    if (w != state.canvas.width || h != state.canvas.height) canvasResize(state.canvas, w, h);
}

bool envSet(const char* name) {
    const char* v = std::getenv(name);
    return v && *v;
}

}  // namespace

bool windowSystemPresent() {
    return envSet("DISPLAY") || envSet("WAYLAND_DISPLAY") || envSet("SDL_VIDEODRIVER");
}

bool windowOpen(const WindowOptions& options, std::string& whyNot) {
    if (state.window) return true;
    if (!windowSystemPresent()) {
        whyNot = "no display";
        return false;
    }
    if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) {
        whyNot = SDL_GetError();
        return false;
    }
    int w = options.width, h = options.height;
    Uint32 flags = SDL_WINDOW_SHOWN;
    if (options.fullScreen) {
        flags |= (w > 0 && h > 0) ? SDL_WINDOW_FULLSCREEN : SDL_WINDOW_FULLSCREEN_DESKTOP;
    } else {
        flags |= SDL_WINDOW_RESIZABLE;
    }
    if (w <= 0 || h <= 0) {
        SDL_DisplayMode mode;
        bool known = SDL_GetDesktopDisplayMode(0, &mode) == 0 && mode.w > 0 && mode.h > 0;
        w = options.fullScreen && known ? mode.w : 1024;
        h = options.fullScreen && known ? mode.h : 768;
        if (known && !options.fullScreen) w = std::min(w, mode.w), h = std::min(h, mode.h);
    }
    state = WindowState{};
    state.window = SDL_CreateWindow(options.title.c_str(), SDL_WINDOWPOS_CENTERED,
                                    SDL_WINDOWPOS_CENTERED, w, h, flags);
    if (!state.window) {
        whyNot = SDL_GetError();
        SDL_QuitSubSystem(SDL_INIT_VIDEO);
        return false;
    }
    if (options.fullScreen) SDL_ShowCursor(SDL_DISABLE);
    fitCanvas();
    return true;
}

void windowClose() {
    if (!state.window) return;
    SDL_DestroyWindow(state.window);
    state.window = nullptr;
    SDL_QuitSubSystem(SDL_INIT_VIDEO);
}

bool windowIsOpen() {
    return state.window != nullptr;
}

bool windowPump() {
    if (!state.window) return true;
    SDL_Event e;
    while (SDL_PollEvent(&e)) onEvent(e);
    return state.closed;
}

Keyboard windowTakeKeyboard() {
    Keyboard kb = state.keyboard;
    state.keyboard.pressed.reset();
    state.keyboard.typed.clear();
    return kb;
}

bool windowKeyDown(Key key) {
    return state.keyboard.isDown(key);
}

bool windowAnyKeyDown() {
    return state.keyboard.down.any() || state.keyboard.pressed.any();
}

MouseState windowTakeMouse() {
    MouseState m = state.mouse;
    state.mouse.wheel = state.mouse.dragX = state.mouse.dragY = 0;
    return m;
}

MouseState windowMouse() {
    return state.mouse;
}

void windowWarpMouse(int x, int y) {
    if (state.window) SDL_WarpMouseInWindow(state.window, x, y);
    // Events of the warp itself must not count as the user moving the mouse.
    SDL_FlushEvent(SDL_MOUSEMOTION);
    state.mouse.x = x;
    state.mouse.y = y;
    state.mouse.seen = false;
}

Canvas& windowCanvas() {
    if (state.window) fitCanvas();
    return state.canvas;
}

void windowPresent() {
    if (!state.window) return;
    SDL_Surface* surface = SDL_GetWindowSurface(state.window);
    if (!surface) return;
    const Canvas& c = state.canvas;
    int w = std::min(c.width, surface->w), h = std::min(c.height, surface->h);
    SDL_ConvertPixels(w, h, SDL_PIXELFORMAT_RGB888, c.pixels.data(), c.width * 4,
                      surface->format->format, surface->pixels, surface->pitch);
    SDL_UpdateWindowSurface(state.window);
}

bool windowSaveBmp(const std::string& path) {
    Canvas& c = state.canvas;
    if (c.pixels.empty()) return false;
    SDL_Surface* view = SDL_CreateRGBSurfaceWithFormatFrom(c.pixels.data(), c.width, c.height, 32,
                                                           c.width * 4, SDL_PIXELFORMAT_RGB888);
    if (!view) return false;
    // 24-bit BMP: what every image viewer reads.
    SDL_Surface* rgb = SDL_ConvertSurfaceFormat(view, SDL_PIXELFORMAT_BGR24, 0);
    SDL_FreeSurface(view);
    if (!rgb) return false;
    bool ok = SDL_SaveBMP(rgb, path.c_str()) == 0;
    SDL_FreeSurface(rgb);
    return ok;
}
