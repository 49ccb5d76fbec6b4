// The text console: plain output, in-place progress lines and single-key reads.
// Cursor control is only sent to a terminal; redirected output stays plain text.
#pragma once

#include <string_view>

bool consoleIsTerminal();
void consoleWrite(std::string_view text);
// Writes "\r" + text and blanks the rest of the terminal line.
void consoleWriteInPlace(std::string_view text);
// One key without waiting for Enter when standard input is a terminal; one
// character otherwise. Returns -1 at end of input.
int consoleReadKey();
// Whether a key is waiting (never blocks); false when input is not a terminal.
bool consoleKeyWaiting();
