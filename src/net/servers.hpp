// The list of upload servers, "servers.csv": host, FTP user and FTP password
// per line, separated by commas.
#pragma once

#include <optional>
#include <string>
#include <vector>

inline constexpr const char* kServersFile = "servers.csv";
inline constexpr const char* kServersPath = "/pelto/servers.csv";

struct UploadServer {
    std::string host;
    std::string ftpUser;
    std::string ftpPassword;
};

// The list comes over plain HTTP, and its fields become lines of the FTP
// script: a field that the FTP client could read as a command of its own
// ("!" escapes to the shell when the "open" line fails) must never get there.
// A host is a host name or address, optionally followed by a space and a
// port; a user name or password is 1 to 199 printable characters without
// blanks and without a leading "!". Returns why a field is refused, or
// nullptr when it is fine.
const char* badServerHost(const std::string& host);
const char* badServerLogin(const std::string& field);

struct ServerLine {
    std::optional<UploadServer> server;  // none: the line is not usable
    std::string problem;                 // why, for a line that is not blank
};
// One entry per line of the list.
std::vector<ServerLine> parseServerList(const std::string& text);
// A random usable line of the file; nullopt when there is none. Each line
// that is refused is reported, once per process.
std::optional<UploadServer> pickServer(const std::string& path = kServersFile);
