// The HTTP side of the server: the client's paths (downloads and the upload
// form), the web pages and the chart library.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>

#include "server/db.hpp"
#include "server/ingest.hpp"

namespace httplib {
class Server;
}

struct ServerContext {
    ProjectDb* db = nullptr;
    IngestLimits limits;
    std::string chartScriptPath;  // the distribution's Chart.js
    std::atomic<int64_t> spoolCounter{0};
    std::function<void(const std::string&)> log;
};

// A request target in absolute form ("http://host/pelto/x", as a client
// behind a proxy setting sends it) reduced to its path; other targets as
// they are.
std::string originPath(const std::string& target);

// Routes for both target forms: the regular expressions httplib matches
// against the path are given an optional "http://host" in front.
void installRoutes(httplib::Server& server, ServerContext& context);

// Ingests one spooled upload and rebuilds the sample files it changed.
IngestReport ingestAndPublish(ServerContext& context, const std::string& path,
                              const UploadSource& source);

// Seconds since 1970.
int64_t unixNow();
