#include "support/sdl_events.hpp"

#include <cstdlib>

void pushKey(SDL_Keycode key, bool down, Uint16 mods) {
    SDL_Event e{};
    e.type = down ? SDL_KEYDOWN : SDL_KEYUP;
    e.key.state = down ? SDL_PRESSED : SDL_RELEASED;
    e.key.keysym.sym = key;
    e.key.keysym.scancode = SDL_GetScancodeFromKey(key);
    e.key.keysym.mod = mods;
    SDL_PushEvent(&e);
}

void tapKey(SDL_Keycode key, Uint16 mods) {
    pushKey(key, true, mods);
    pushKey(key, false, mods);
}

void useHeadlessVideo() {
    setenv("SDL_VIDEODRIVER", "dummy", 0);
}

void pushWindowClose() {
    SDL_Event e{};
    e.type = SDL_QUIT;
    SDL_PushEvent(&e);
}
