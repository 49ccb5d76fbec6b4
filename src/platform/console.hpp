// The text console: plain output, in-place progress lines and single-key reads.
// Cursor control is only sent to a terminal; redirected output stays plain text.
#pragma once

#include <string>
#include <string_view>

bool consoleIsTerminal();
void consoleWrite(std::string_view text);
// Writes "\r" + text and blanks the rest of the terminal line.
void consoleWriteInPlace(std::string_view text);
// Text screens: 1-based cursor moves, clearing the rest of the line, clearing
// the screen. Nothing is sent when standard output is not a terminal.
void consoleGoto(int column, int row);
void consoleClearToEndOfLine();
void consoleClear();
// One line from standard input without its line end; false at end of input.
bool consoleReadLine(std::string& line, size_t maxChars);

// One key without waiting for Enter when standard input is a terminal; one
// character otherwise. Returns -1 at end of input.
int consoleReadKey();
// Whether a key is waiting (never blocks); false when input is not a terminal.
bool consoleKeyWaiting();
