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

// One entry per line: a line with fewer than three fields gives nullopt.
std::vector<std::optional<UploadServer>> parseServerList(const std::string& text);
// A random usable line of the file; nullopt when there is none.
std::optional<UploadServer> pickServer(const std::string& path = kServersFile);
