#include "platform/log_file.hpp"

#include <mutex>
#include <optional>

#include "platform/clock.hpp"
#include "platform/files.hpp"

namespace {

// A longer line is cut: a message that quotes a whole request or file must
// not fill the log.
constexpr size_t kMaxLineChars = 2000;

// Recursive: a failed write reports itself through report, which comes back
// here on the same thread and is turned away by `writing`.
std::recursive_mutex logMutex;
std::optional<LogFileSettings> active;
bool writing = false;

std::string oldName(const std::string& path, int k) {
    return path + "." + std::to_string(k);
}

void rotate(const LogFileSettings& s) {
    if (s.keep <= 0) {
        removeFile(s.path);
        return;
    }
    removeFile(oldName(s.path, s.keep));
    for (int k = s.keep - 1; k >= 1; k--) {
        if (fileExists(oldName(s.path, k))) renameFile(oldName(s.path, k), oldName(s.path, k + 1));
    }
    renameFile(s.path, oldName(s.path, 1));
}

std::string cleanLine(std::string_view line) {
    std::string out(line.substr(0, kMaxLineChars));
    for (char& c : out) {
        if (static_cast<unsigned char>(c) < 32 || c == 127) c = ' ';
    }
    while (!out.empty() && out.back() == ' ') out.pop_back();
    if (line.size() > kMaxLineChars) out += " ...";
    return out;
}

}  // namespace

void logFileOpen(const LogFileSettings& settings) {
    std::lock_guard<std::recursive_mutex> lock(logMutex);
    active = settings;
}

void logFileClose() {
    std::lock_guard<std::recursive_mutex> lock(logMutex);
    active.reset();
}

bool logFileActive() {
    std::lock_guard<std::recursive_mutex> lock(logMutex);
    return active.has_value();
}

void logLine(std::string_view text) {
    std::lock_guard<std::recursive_mutex> lock(logMutex);
    if (!active || writing) return;
    std::string stamp = localDateTimeText() + " ";
    std::string block;
    size_t start = 0;
    while (start <= text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string_view::npos) end = text.size();
        std::string line = cleanLine(text.substr(start, end - start));
        size_t first = line.find_first_not_of(' ');
        if (first != std::string::npos) block += stamp + line.substr(first) + "\n";
        start = end + 1;
    }
    if (block.empty()) return;
    writing = true;
    int64_t size = fileSize(active->path);
    // Only a plain file is rotated: a folder or a FIFO put in its place is
    // left where it is, and the append below refuses it.
    if (size > 0 && size + static_cast<int64_t>(block.size()) > active->maxBytes &&
        isRegularFile(active->path)) {
        rotate(*active);
    }
    appendToFile(active->path, block);
    writing = false;
}
