#include "platform/console.hpp"

#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <cstdio>

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
        unsigned char c;
        ssize_t n = ::read(STDIN_FILENO, &c, 1);
        return n == 1 ? c : -1;
    }
    struct termios saved {};
    ::tcgetattr(STDIN_FILENO, &saved);
    struct termios raw = saved;
    raw.c_lflag &= static_cast<tcflag_t>(~(ICANON | ECHO));
    raw.c_cc[VMIN] = 1;
    raw.c_cc[VTIME] = 0;
    ::tcsetattr(STDIN_FILENO, TCSANOW, &raw);
    unsigned char c = 0;
    ssize_t n = ::read(STDIN_FILENO, &c, 1);
    ::tcsetattr(STDIN_FILENO, TCSANOW, &saved);
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

bool consoleReadLine(std::string& line, size_t maxChars) {
    std::fflush(stdout);
    line.clear();
    int c;
    bool any = false;
    while ((c = std::getchar()) != EOF) {
        any = true;
        if (c == '\n') break;
        if (c != '\r' && line.size() < maxChars) line += static_cast<char>(c);
    }
    return any;
}
