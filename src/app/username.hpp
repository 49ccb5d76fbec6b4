// The user's project name, which credits uploaded results. It lives in
// "user.txt"; when that is missing or empty the user is asked for it.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

inline constexpr const char* kUserFile = "user.txt";

extern std::string userName;

// Makes userName valid, asking the user when needed. A name with a character
// that cannot go into a file name is fatal; refusing to give one ends the
// process.
void readUserName();
void askUserName();

// Re-reads the name when "user.txt" was written since `knownTime` (its last
// write time, -1 while the file is missing), and updates `knownTime`.
// Returns whether the file had changed.
bool watchUserName(int64_t& knownTime);

// The graphics entry line: applies the characters typed since the last pass
// to `name` (backspace removes, others append up to the typed-name limit) and
// returns true once a carriage return accepts the name. Characters after the
// carriage return are left unread.
bool usernameEntryType(std::string& name, std::string_view typed);
