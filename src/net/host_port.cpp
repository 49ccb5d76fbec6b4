#include "net/host_port.hpp"

namespace {

constexpr size_t kMaxHostName = 253;

bool hostNameChar(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.' ||
           c == '-';
}

}  // namespace

std::optional<HostPort> parseHostPort(std::string_view text) {
    size_t colon = text.find(':');
    std::string_view name = text.substr(0, colon);
    if (name.empty() || name.size() > kMaxHostName || name[0] == '.' || name[0] == '-') {
        return std::nullopt;
    }
    for (char c : name) {
        if (!hostNameChar(c)) return std::nullopt;
    }
    HostPort out{std::string(name), 80};
    if (colon == std::string_view::npos) return out;
    std::string_view port = text.substr(colon + 1);
    if (port.empty() || port.size() > 5) return std::nullopt;
    unsigned value = 0;
    for (char c : port) {
        if (c < '0' || c > '9') return std::nullopt;
        value = value * 10 + static_cast<unsigned>(c - '0');
    }
    if (value < 1 || value > 65535) return std::nullopt;
    out.port = static_cast<uint16_t>(value);
    return out;
}

HostPort connectionTarget(const std::string& urlHost) {
    if (std::optional<HostPort> parsed = parseHostPort(urlHost)) return *parsed;
    return HostPort{urlHost, 80};
}
