#include <cstdio>

#include "common/report.hpp"
#include "lattice/parser.hpp"
#include "platform/files.hpp"
#include "tool/tool.hpp"

void installToolMessageSink() {
    displayMode = DisplayConsole;
    MessageSink sink;
    // Messages arrive as a line end and then the text, so that console progress
    // can continue a line. A tool's results go to standard output between
    // messages, so each message here is a whole line of its own.
    sink.write = [](std::string_view text) {
        if (!text.empty() && text.front() == '\n') text.remove_prefix(1);
        std::fwrite(text.data(), 1, text.size(), stderr);
        if (text.empty() || text.back() != '\n') std::fputc('\n', stderr);
        std::fflush(stderr);
    };
    // Progress lines would only clutter a log; the final line of each step is
    // reported in full anyway.
    sink.writeInPlace = [](std::string_view) {};
    // Answer "All": warnings are shown once each and never wait for a key.
    sink.readKey = []() { return static_cast<int>('a'); };
    sink.messageBox = [](const std::string& text) { std::fprintf(stderr, "\n%s\n", text.c_str()); };
    setMessageSink(sink);
}

bool readToolLattice(const std::string& path, std::string& text) {
    if (readLatticeFile(path, text) == ReadStatus::Ok) return true;
    std::fprintf(stderr, "Cannot read lattice file '%s'\n", path.c_str());
    return false;
}

bool checkPlainFile(const std::string& path) {
    if (isRegularFile(path)) return true;
    std::fprintf(stderr,
                 fileExists(path) ? "Cannot open '%s': not a plain file\n" : "Cannot open '%s'\n",
                 path.c_str());
    return false;
}
