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
// Reads at a prompt wait for input and for a stop signal (Ctrl-C, a service
// stop, a closed terminal) alike: a client left waiting at a prompt must
// still end when it is told to.
enum class ConsoleRead { Line, EndOfInput, Stopped };
// One line from standard input without its line end.
ConsoleRead consoleReadLine(std::string& line, size_t maxChars);

// What consoleReadKey returns when a stop signal came instead of a key.
inline constexpr int kConsoleKeyStopped = -2;
// One key without waiting for Enter when standard input is a terminal; one
// character otherwise. Returns -1 at end of input, kConsoleKeyStopped on a
// stop signal.
int consoleReadKey();
// Whether a key is waiting (never blocks); false when input is not a terminal.
bool consoleKeyWaiting();
