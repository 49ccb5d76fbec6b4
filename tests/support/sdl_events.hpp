// Events pushed into SDL's queue, as a person at the real (headless) window
// would cause them.
#pragma once

#include <SDL.h>

// Key events as a person typing would cause them.
void pushKey(SDL_Keycode key, bool down, Uint16 mods = KMOD_NONE);
void tapKey(SDL_Keycode key, Uint16 mods = KMOD_NONE);
// The window's close button.
void pushWindowClose();

// Uses SDL's window-less video driver unless the tester chose one.
void useHeadlessVideo();
