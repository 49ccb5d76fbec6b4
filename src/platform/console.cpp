#include "platform/console.hpp"

#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include "platform/signals.hpp"

namespace {

// The signal handlers restart interrupted reads, so a read that blocks would
// never see a stop request; poll is never restarted, and a short period
// catches a signal that lands just before the wait begins.
constexpr int kStopCheckMs = 200;

// True when input is waiting (or the end of input, or an error for read to
// report); false when a stop was requested first.
bool waitForInput() {
    for (;;) {
        if (stopRequested()) return false;
        struct pollfd p {
            STDIN_FILENO, POLLIN, 0
        };
        int n = ::poll(&p, 1, kStopCheckMs);
        if (n > 0) return true;
        if (n < 0 && errno != EINTR) return true;
    }
}

ssize_t readOne(unsigned char& c) {
    for (;;) {
        ssize_t n = ::read(STDIN_FILENO, &c, 1);
        if (n >= 0 || errno != EINTR) return n;
    }
}

}  // namespace

bool consoleIsTerminal() {
    return ::isatty(STDOUT_FILENO) == 1;
}

void consoleWrite(std::string_view text) {
    std::fwrite(text.data(), 1, text.size(), stdout);
    std::fflush(stdout);
}

void consoleWriteInPlace(std::string_view text) {
    std::fputc('\r', stdout);
    std::fwrite(text.data(), 1, text.size(), stdout);
    // Erase to the end of the line so a shorter text leaves nothing behind.
    if (consoleIsTerminal()) std::fputs("\x1b[K", stdout);
    std::fflush(stdout);
}

int consoleReadKey() {
    std::fflush(stdout);
    if (::isatty(STDIN_FILENO) != 1) {
        if (!waitForInput()) return kConsoleKeyStopped;
        unsigned char c;
        return readOne(c) == 1 ? c : -1;
    }
    struct termios saved {};
    ::tcgetattr(STDIN_FILENO, &saved);
    struct termios raw = saved;
    raw.c_lflag &= static_cast<tcflag_t>(~(ICANON | ECHO));
    raw.c_cc[VMIN] = 1;
    raw.c_cc[VTIME] = 0;
    ::tcsetattr(STDIN_FILENO, TCSANOW, &raw);
    unsigned char c = 0;
    bool ready = waitForInput();
    ssize_t n = ready ? readOne(c) : 0;
    ::tcsetattr(STDIN_FILENO, TCSANOW, &saved);
    if (!ready) return kConsoleKeyStopped;
    return n == 1 ? c : -1;
}

bool consoleKeyWaiting() {
    if (::isatty(STDIN_FILENO) != 1) return false;
    struct pollfd p {
        STDIN_FILENO, POLLIN, 0
    };
    return ::poll(&p, 1, 0) == 1 && (p.revents & POLLIN) != 0;
}

void consoleGoto(int column, int row) {
    if (consoleIsTerminal()) std::printf("\x1b[%d;%dH", row, column);
}

void consoleClearToEndOfLine() {
    if (consoleIsTerminal()) std::fputs("\x1b[K", stdout);
}

void consoleClear() {
    if (consoleIsTerminal()) std::fputs("\x1b[2J\x1b[H", stdout);
    std::fflush(stdout);
}

ConsoleRead consoleReadLine(std::string& line, size_t maxChars) {
    std::fflush(stdout);
    line.clear();
    bool any = false;
    // Byte by byte from the descriptor: nothing past the line end is taken
    // into a buffer that a later read would not see.
    for (;;) {
        if (!waitForInput()) return ConsoleRead::Stopped;
        unsigned char c = 0;
        if (readOne(c) != 1) break;
        any = true;
        if (c == '\n') break;
        if (c != '\r' && line.size() < maxChars) line += static_cast<char>(c);
    }
    return any ? ConsoleRead::Line : ConsoleRead::EndOfInput;
}
