#include "net/servers.hpp"

#include <cstdlib>
#include <set>

#include "common/random.hpp"
#include "common/report.hpp"
#include "net/text_lines.hpp"
#include "platform/files.hpp"

namespace {

constexpr size_t kMaxField = 199;
constexpr int64_t kMaxServerListBytes = 1 << 20;

bool hostChar(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.' ||
           c == '-' || c == ':' || c == '_';
}

// Lines already reported as unusable; the list is read at every attempt.
std::set<std::string>& reportedLines() {
    static std::set<std::string> lines;
    return lines;
}

}  // namespace

const char* badServerHost(const std::string& host) {
    if (host.empty()) return "no host";
    if (host.size() > kMaxField) return "host too long";
    size_t space = host.find(' ');
    std::string name = host.substr(0, space);
    // A leading "-" would read as an option of the FTP client's "open".
    if (name.empty() || name[0] == '-') return "bad host name";
    for (char c : name) {
        if (!hostChar(c)) return "bad host name";
    }
    if (space == std::string::npos) return nullptr;
    std::string port = host.substr(space + 1);
    if (port.empty() || port.size() > 5) return "bad port";
    for (char c : port) {
        if (c < '0' || c > '9') return "bad port";
    }
    long value = std::strtol(port.c_str(), nullptr, 10);
    if (value < 1 || value > 65535) return "bad port";
    return nullptr;
}

const char* badServerLogin(const std::string& field) {
    if (field.empty()) return "empty user name or password";
    if (field.size() > kMaxField) return "user name or password too long";
    // The FTP client takes "!" at the start of a line as a shell command.
    if (field[0] == '!') return "user name or password starting with '!'";
    for (unsigned char c : field) {
        // Printable, no blanks: a line of one word without a command's
        // arguments, and no control character that could end the line.
        if (c <= 32 || c >= 127) return "user name or password with blanks or control characters";
    }
    return nullptr;
}

std::vector<ServerLine> parseServerList(const std::string& text) {
    std::vector<ServerLine> lines;
    for (std::string line : textLines(text)) {
        while (!line.empty() && static_cast<unsigned char>(line.back()) <= ' ') line.pop_back();
        ServerLine entry;
        if (line.empty()) {
            lines.push_back(entry);
            continue;
        }
        std::vector<std::string> fields;
        size_t from = 0;
        for (;;) {
            size_t comma = line.find(',', from);
            fields.push_back(line.substr(from, comma - from));
            if (comma == std::string::npos) break;
            from = comma + 1;
        }
        const char* problem = fields.size() < 3 ? "fewer than three fields" : nullptr;
        if (!problem) problem = badServerHost(fields[0]);
        if (!problem) problem = badServerLogin(fields[1]);
        if (!problem) problem = badServerLogin(fields[2]);
        if (problem) {
            entry.problem = problem;
        } else {
            entry.server = UploadServer{fields[0], fields[1], fields[2]};
        }
        lines.push_back(entry);
    }
    return lines;
}

std::optional<UploadServer> pickServer(const std::string& path) {
    std::string text;
    if (readWholeFile(path, text, kMaxServerListBytes) != ReadStatus::Ok) return std::nullopt;
    std::vector<ServerLine> lines = parseServerList(text);
    std::vector<std::string> raw = textLines(text);
    std::vector<size_t> usable;
    for (size_t i = 0; i < lines.size(); i++) {
        if (lines[i].server) {
            usable.push_back(i);
        } else if (!lines[i].problem.empty() &&
                   reportedLines().insert(path + ":" + raw[i]).second) {
            // The line itself is not shown: it may hold anything.
            reportf("%s line %zu is not used (%s)", path.c_str(), i + 1, lines[i].problem.c_str());
        }
    }
    // Drawing among usable lines only ends even when no line is usable.
    if (usable.empty()) return std::nullopt;
    return lines[usable[static_cast<size_t>(randomBelow(static_cast<int64_t>(usable.size())))]]
        .server;
}
