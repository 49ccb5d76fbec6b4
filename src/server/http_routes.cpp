#include "server/http_routes.hpp"

#include <httplib.h>

#include <chrono>

#include "common/text.hpp"
#include "platform/files.hpp"
#include "server/pages.hpp"
#include "server/project.hpp"
#include "server/samples.hpp"

namespace {

// httplib matches its patterns against the whole target it received, which
// for an absolute-form request still carries the scheme and host.
std::string route(const std::string& path) {
    return "(?:[hH][tT][tT][pP]://[^/]*)?" + path;
}

bool serveFile(httplib::Response& res, const std::string& path, const char* type) {
    std::string body;
    if (readWholeFile(path, body, int64_t(64) << 20) != ReadStatus::Ok) return false;
    res.set_content(body, type);
    return true;
}

void notFound(httplib::Response& res) {
    res.status = 404;
    res.set_content("<html><body>Not found</body></html>\n", "text/html");
}

// The client reads at most 5000 bytes of an upload answer: keep it short.
std::string uploadAnswer(const std::string& text) {
    return "<html><body><p>" + htmlEscape(text) + "</p>\n" + signalBlock() + "\n</body></html>\n";
}

void handleUpload(ServerContext& context, const httplib::Request& req, httplib::Response& res) {
    if (!req.is_multipart_form_data() || !req.has_file("data")) {
        res.status = 400;
        res.set_content(uploadAnswer("refused: no results file in the form"), "text/html");
        return;
    }
    httplib::MultipartFormData data = req.get_file_value("data");
    if (!isAcceptableUploadName(data.filename)) {
        res.status = 400;
        res.set_content(uploadAnswer("refused: unacceptable upload name"), "text/html");
        return;
    }
    makeDirectory(kSpoolFolder);
    // The spool name is ours; the sender's name never becomes a path.
    std::string spool =
        format("%s/http-%lld.upload", kSpoolFolder, static_cast<long long>(++context.spoolCounter));
    if (!writeFileAtomic(spool, data.content)) {
        res.status = 503;
        res.set_content(uploadAnswer("refused: cannot store the upload now"), "text/html");
        return;
    }
    UploadSource source{"http", req.remote_addr, data.filename};
    IngestReport report = ingestAndPublish(context, spool, source);
    removeFile(spool);
    if (!report.refusal.empty()) {
        // A refusal the client should try again later gets a status that
        // makes it keep its results.
        res.status = containsNoCase(report.refusal, "too many")   ? 429
                     : containsNoCase(report.refusal, "database") ? 503
                                                                  : 413;
    }
    res.set_content(uploadAnswer(describeIngest(report)), "text/html");
}

}  // namespace

int64_t unixNow() {
    return std::chrono::duration_cast<std::chrono::seconds>(
               std::chrono::system_clock::now().time_since_epoch())
        .count();
}

std::string originPath(const std::string& target) {
    if (!startsWithNoCase(target, "http://")) return target;
    size_t slash = target.find('/', 7);
    return slash == std::string::npos ? "/" : target.substr(slash);
}

IngestReport ingestAndPublish(ServerContext& context, const std::string& path,
                              const UploadSource& source) {
    IngestReport report = ingestFile(*context.db, path, source, context.limits, unixNow());
    for (const std::string& lattice : report.changedLattices) {
        rebuildSampleFile(*context.db, lattice);
    }
    if (context.log) {
        context.log(format("ingest %s %s %s: %s", source.channel.c_str(), source.address.c_str(),
                           source.name.c_str(), describeIngest(report).c_str()));
    }
    return report;
}

void installRoutes(httplib::Server& server, ServerContext& context) {
    server.Get(route("/pelto/servers\\.csv"), [](const httplib::Request&, httplib::Response& res) {
        if (!serveFile(res, kServersFile, "text/plain")) notFound(res);
    });
    server.Get(route("/pelto/lattices/list\\.php"),
               [](const httplib::Request&, httplib::Response& res) {
                   std::string list;
                   for (const std::string& name : projectLattices()) list += name + "\n";
                   res.set_content(list, "text/plain");
               });
    server.Get(route("/pelto/lattices/([^/]+)\\.txt"),
               [](const httplib::Request& req, httplib::Response& res) {
                   std::optional<std::string> lattice = servedLattice(req.matches[1].str());
                   if (!lattice || !serveFile(res, "lattices/" + *lattice + ".txt", "text/plain")) {
                       notFound(res);
                   }
               });
    server.Get(route("/pelto/samplefiles/([^/]+)_100\\.bin"),
               [&context](const httplib::Request& req, httplib::Response& res) {
                   std::optional<std::string> lattice = servedLattice(req.matches[1].str());
                   if (!lattice) return notFound(res);
                   std::string path = sampleFilePath(*lattice);
                   if (!fileExists(path)) rebuildSampleFile(*context.db, *lattice);
                   if (!serveFile(res, path, "application/octet-stream")) notFound(res);
               });
    server.Post(route("/pelto/uploadresults\\.php"),
                [&context](const httplib::Request& req, httplib::Response& res) {
                    handleUpload(context, req, res);
                });
    auto index = [&context](const httplib::Request&, httplib::Response& res) {
        res.set_content(renderIndexPage(*context.db), "text/html; charset=utf-8");
    };
    server.Get(route("/"), index);
    server.Get(route("/pelto/?"), index);
    server.Get(route("/pelto/index\\.html"), index);
    server.Get(route("/pelto/lattice/([^/]+)"), [&context](const httplib::Request& req,
                                                           httplib::Response& res) {
        std::optional<std::string> page = renderLatticePage(*context.db, req.matches[1].str());
        if (!page) return notFound(res);
        res.set_content(*page, "text/html; charset=utf-8");
    });
    server.Get(route("/pelto/chart\\.js"),
               [&context](const httplib::Request&, httplib::Response& res) {
                   if (!serveFile(res, context.chartScriptPath, "application/javascript"))
                       notFound(res);
               });
}
