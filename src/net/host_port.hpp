// "host" or "host:port": the address of a web server as a setting or a URL
// names it. Settings come from a hand-edited file and URLs from servers, so
// only plain host names and IPv4 addresses with a decimal port are taken.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

struct HostPort {
    std::string host;
    uint16_t port = 80;
};

// A host name or address (letters, digits, "." and "-", not starting with
// "." or "-", at most 253 characters), optionally followed by ":" and a
// port from 1 to 65535. Anything else (paths, blanks, user names, IPv6
// literals, a trailing ":") gives nullopt.
std::optional<HostPort> parseHostPort(std::string_view text);

// Where a connection to the host part of a URL goes: the parsed host and
// port, or the text as it is on port 80 when it is not of that form.
HostPort connectionTarget(const std::string& urlHost);
