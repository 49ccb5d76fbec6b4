#include "app/cmdline.hpp"

#include <vector>

#include "common/text.hpp"
#include "platform/files.hpp"
#include "platform/process.hpp"
#include "store/latticedir.hpp"

namespace {

// Start and end of each word, quotes included.
std::vector<std::pair<size_t, size_t>> wordSpans(std::string_view line) {
    std::vector<std::pair<size_t, size_t>> spans;
    size_t i = 0;
    while (i < line.size()) {
        while (i < line.size() && line[i] == ' ') i++;
        if (i >= line.size()) break;
        size_t start = i;
        bool quoted = false;
        while (i < line.size() && (quoted || line[i] != ' ')) {
            if (line[i] == '"') quoted = !quoted;
            i++;
        }
        spans.emplace_back(start, i);
    }
    return spans;
}

}  // namespace

std::string buildCommandLine(int argc, const char* const* argv) {
    std::string line;
    for (int i = 0; i < argc; i++) {
        std::string arg = argv[i] ? argv[i] : "";
        if (i > 0) line += ' ';
        bool quote = arg.find(' ') != std::string::npos && arg.find('"') == std::string::npos;
        line += quote ? "\"" + arg + "\"" : arg;
    }
    return line;
}

std::string setWorkingFolder(const std::string& commandLine) {
    std::string folder = executableFolder();
    if (folder.empty()) {
        std::string path = word(commandLine, 0);
        size_t cut = path.find_last_of("/\\");
        if (cut == std::string::npos) return "";
        folder = path.substr(0, cut == 0 ? 1 : cut);
    }
    return setCurrentFolder(folder) ? folder : "";
}

bool hasSwitch(std::string_view commandLine, std::string_view name) {
    std::string needle = " -" + std::string(name);
    size_t at = findNoCase(commandLine, needle);
    if (at == std::string_view::npos) return false;
    size_t after = at + needle.size();
    return after == commandLine.size() || isBlank(commandLine[after]);
}

int countWords(std::string_view commandLine) {
    return static_cast<int>(wordSpans(commandLine).size());
}

std::string word(std::string_view commandLine, int n) {
    auto spans = wordSpans(commandLine);
    if (n < 0 || static_cast<size_t>(n) >= spans.size()) return "";
    std::string_view w = commandLine.substr(
        spans[static_cast<size_t>(n)].first,
        spans[static_cast<size_t>(n)].second - spans[static_cast<size_t>(n)].first);
    if (w.size() >= 2 && w.front() == '"' && w.back() == '"') w = w.substr(1, w.size() - 2);
    return std::string(w);
}

std::optional<std::string> firstPlainWord(std::string_view commandLine) {
    int words = countWords(commandLine);
    for (int n = 1; n < words; n++) {
        std::string w = word(commandLine, n);
        if (!w.empty() && w[0] != '-') return w;
    }
    return std::nullopt;
}

std::string latticeSpelling(const std::string& typed) {
    for (const std::string& name : listlattices(kLatticeFolder)) {
        if (equalNoCase(name, typed)) return name;
    }
    return typed;
}

std::optional<std::string> latticeFromCommandLine(std::string_view commandLine) {
    std::optional<std::string> typed = firstPlainWord(commandLine);
    if (!typed) return std::nullopt;
    return latticeSpelling(*typed);
}
