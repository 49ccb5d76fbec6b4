// Graphics mode at start-up and at the end: the window, the message band that
// report() draws into, and the display settings kept in "display.dat". The
// main cycle does the drawing itself through display/display.hpp.
#pragma once

// Opens the window at the configured resolution (full screen for the
// screensaver) and routes messages into it. false when no window can be
// shown; the caller then runs in console mode.
bool openGraphics();
// Reads "display.dat" when it exists. Its values replace the defaults, but a
// switch that turns the automatic frame rate or view off (-g shows every
// time step) wins over the file for this process.
void loadDisplaySettingsAtStart();
// Stores the view settings in "display.dat" (when the user quits). In
// graphics mode the keys change the automatic frame rate and view in the
// view settings (display/view_settings.hpp): the main cycle reads them there.
// What a switch forced is not stored; what the keys changed is.
void storeDisplaySettings();
// Closes the window and sends messages to the console again.
void closeGraphics();
// Screensaver mode: a key pressed or the pointer moved more than a tenth of
// the screen's width from where the run put it ends the program.
bool screensaverWantsToQuit();
