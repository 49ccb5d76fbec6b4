// Start-up: working folder, configuration, switches, display and process set-up.
#pragma once

// The whole program: start-up, then the main cycle. Returns the exit status.
int peltoMain(int argc, const char* const* argv);
