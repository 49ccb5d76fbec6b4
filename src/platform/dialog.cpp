#include "platform/dialog.hpp"

#include <cstdio>
#include <ctime>

#include "platform/files.hpp"
#include "platform/log_file.hpp"

void showMessageBox(const std::string& text, const std::string& caption) {
    std::fprintf(stderr, "%s: %s\n", caption.c_str(), text.c_str());
    std::fflush(stderr);
    logLine(caption + ": " + text);
    std::time_t now = std::time(nullptr);
    char stamp[32] = "";
    struct tm local {};
    if (localtime_r(&now, &local) != nullptr) {
        std::strftime(stamp, sizeof stamp, "%Y-%m-%d %H:%M:%S", &local);
    }
    appendToFile(kMessageBoxLog, std::string(stamp) + " " + caption + ": " + text + "\n");
}
