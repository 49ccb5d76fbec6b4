// Stand-in for a message box: there may be nobody watching a background run,
// so the text goes to standard error and to a log file in the program folder.
#pragma once

#include <string>

inline constexpr const char* kMessageBoxLog = "messages.log";

void showMessageBox(const std::string& text, const std::string& caption);
