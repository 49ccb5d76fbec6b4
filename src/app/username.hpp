// The user's project name, which credits uploaded results. It lives in
// "user.txt"; when that is missing or empty the user is asked for it.
#pragma once

#include <string>

inline constexpr const char* kUserFile = "user.txt";

extern std::string userName;

// Makes userName valid, asking the user when needed. A name with a character
// that cannot go into a file name is fatal; refusing to give one ends the
// process.
void readUserName();
void askUserName();
