#include "net/servers.hpp"

#include "common/random.hpp"
#include "net/text_lines.hpp"
#include "platform/files.hpp"

namespace {

constexpr size_t kMaxField = 199;
constexpr int64_t kMaxServerListBytes = 1 << 20;

// Fields go into the FTP script and the request header, one per line: a
// control character inside one would start a command of its own.
bool plainField(const std::string& field) {
    for (unsigned char c : field) {
        if (c < 32 || c == 127) return false;
    }
    return true;
}

}  // namespace

std::vector<std::optional<UploadServer>> parseServerList(const std::string& text) {
    std::vector<std::optional<UploadServer>> lines;
    for (std::string line : textLines(text)) {
        while (!line.empty() && static_cast<unsigned char>(line.back()) <= ' ') line.pop_back();
        std::vector<std::string> fields;
        size_t from = 0;
        for (;;) {
            size_t comma = line.find(',', from);
            fields.push_back(line.substr(from, comma - from).substr(0, kMaxField));
            if (comma == std::string::npos) break;
            from = comma + 1;
        }
        if (fields.size() >= 3 && !fields[0].empty() && plainField(fields[0]) &&
            plainField(fields[1]) && plainField(fields[2])) {
            lines.push_back(UploadServer{fields[0], fields[1], fields[2]});
        } else {
            lines.push_back(std::nullopt);
        }
    }
    return lines;
}

std::optional<UploadServer> pickServer(const std::string& path) {
    std::string text;
    if (readWholeFile(path, text, kMaxServerListBytes) != ReadStatus::Ok) return std::nullopt;
    std::vector<std::optional<UploadServer>> lines = parseServerList(text);
    std::vector<size_t> usable;
    for (size_t i = 0; i < lines.size(); i++) {
        if (lines[i]) usable.push_back(i);
    }
    // Drawing among usable lines only ends even when no line is usable.
    if (usable.empty()) return std::nullopt;
    return lines[usable[static_cast<size_t>(randomBelow(static_cast<int64_t>(usable.size())))]];
}
