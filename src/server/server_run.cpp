#include "server/server_run.hpp"

#include <httplib.h>

#include <cstdio>
#include <filesystem>
#include <mutex>
#include <thread>

#include "common/report.hpp"
#include "common/text.hpp"
#include "platform/clock.hpp"
#include "platform/files.hpp"
#include "platform/signals.hpp"
#include "server/http_routes.hpp"
#include "server/incoming.hpp"
#include "server/project.hpp"
#include "server/samples.hpp"

namespace {

std::mutex logLock;

void logLine(const std::string& text) {
    std::lock_guard<std::mutex> guard(logLock);
    std::time_t t = std::time(nullptr);
    char when[32];
    std::strftime(when, sizeof when, "%Y-%m-%dT%H:%M:%SZ", std::gmtime(&t));
    std::fprintf(stderr, "%s %s\n", when, text.c_str());
    std::fflush(stderr);
}

// Messages of the shared code (warnings of the checksum, progress of the
// binary reader) go to the log; progress lines are dropped.
void installLogSink() {
    displayMode = DisplayBackground;
    MessageSink sink;
    sink.write = [](std::string_view text) {
        std::string line = trimBlanks(text);
        if (!line.empty()) logLine(line);
    };
    sink.writeInPlace = [](std::string_view) {};
    sink.readKey = [] { return -1; };
    sink.messageBox = [](const std::string& text) { logLine(text); };
    setMessageSink(std::move(sink));
}

// An FTP upload caught by a killed server between its move into the spool
// and the end of its ingest is ingested again; one already committed is
// recognised by its name. HTTP spool files are dropped: their sender got no
// answer and sends them again.
void recoverSpool(ServerContext& context) {
    for (const std::string& name : listFolder(kSpoolFolder, true)) {
        std::string path = std::string(kSpoolFolder) + "/" + name;
        if (startsWithNoCase(name, "ftp-")) {
            std::string upload = name.substr(4);
            Stmt s = dbPrepare(*context.db,
                               "SELECT COUNT(*) FROM uploads WHERE channel='ftp' AND name=?");
            bool done = false;
            if (s) {
                dbBind(s.get(), 1, upload);
                done = dbStep(s.get()) && dbInt(s.get(), 0) > 0;
            }
            if (!done) ingestAndPublish(context, path, UploadSource{"ftp", "ftp", upload});
        }
        removeFile(path);
    }
}

void watchIncoming(ServerContext& context, double settle, const std::atomic<bool>& stop) {
    IncomingWatch watch;
    watch.settleSeconds = settle;
    while (!stop.load()) {
        publishFtpSignal();
        for (const std::string& path : completeIncomingFiles(watch, monotonicSeconds())) {
            std::string name = path.substr(path.rfind('/') + 1);
            // The FTP upload name is unique (time, random letters, user); a
            // second file of the same name is a resend and lands the same way.
            std::string spool = std::string(kSpoolFolder) + "/ftp-" + name;
            if (!renameFile(path, spool)) continue;
            ingestAndPublish(context, spool, UploadSource{"ftp", "ftp", name});
            removeFile(spool);
        }
        for (int i = 0; i < 5 && !stop.load(); i++) sleepMs(100);
    }
}

}  // namespace

int runServer(const ServerOptions& options) {
    std::error_code ec;
    std::filesystem::current_path(options.root, ec);
    if (ec) {
        std::fprintf(stderr, "pelto-server: cannot enter %s: %s\n", options.root.c_str(),
                     ec.message().c_str());
        return 1;
    }
    installLogSink();
    ProjectDb db;
    if (!dbOpen(db, kDatabaseFile)) {
        logLine("cannot open " + std::string(kDatabaseFile) + ": " + db.error);
        return 1;
    }
    if (options.check) {
        std::vector<std::string> problems = dbCheck(db);
        for (const std::string& p : problems) std::printf("%s\n", p.c_str());
        std::printf("%s: %lld uploads, %lld results, %s\n", kDatabaseFile,
                    static_cast<long long>(dbScalar(db, "SELECT COUNT(*) FROM uploads")),
                    static_cast<long long>(dbScalar(db, "SELECT COUNT(*) FROM results")),
                    problems.empty() ? "ok" : "PROBLEMS FOUND");
        return problems.empty() ? 0 : 1;
    }
    if (!options.backup.empty()) {
        std::filesystem::path target =
            std::filesystem::absolute(std::filesystem::path(options.backup));
        if (!dbBackup(db, target.string())) {
            logLine("backup failed: " + db.error);
            return 1;
        }
        logLine("backup written to " + target.string());
        return 0;
    }

    ServerContext context;
    context.db = &db;
    context.limits = options.limits;
    context.chartScriptPath = options.chartDir + "/chart.min.js";
    context.log = logLine;
    makeDirectory(kSpoolFolder);
    makeDirectory(kIncomingFolder);
    recoverSpool(context);
    rebuildAllSampleFiles(db, projectLattices());

    httplib::Server server;
    // The client reads an answer until the server closes: one request per
    // connection, or every upload would wait for the keep-alive time-out.
    server.set_keep_alive_max_count(1);
    server.set_payload_max_length(static_cast<size_t>(options.limits.maxBytes) + 65536);
    server.set_read_timeout(30, 0);
    server.set_logger([](const httplib::Request& req, const httplib::Response& res) {
        logLine(format("%s %s %s %d %zu", req.remote_addr.c_str(), req.method.c_str(),
                       req.target.c_str(), res.status, res.body.size()));
    });
    installRoutes(server, context);

    int port = options.port;
    if (port == 0) {
        port = server.bind_to_any_port(options.bind.c_str());
    } else if (!server.bind_to_port(options.bind.c_str(), port)) {
        port = -1;
    }
    if (port <= 0) {
        logLine(format("cannot listen on %s:%d", options.bind.c_str(), options.port));
        return 1;
    }
    if (!options.portFile.empty()) writeFileAtomic(options.portFile, std::to_string(port) + "\n");
    logLine(format("serving %s on %s:%d", options.root.c_str(), options.bind.c_str(), port));

    installStopSignals();
    std::atomic<bool> stop{false};
    std::thread incoming([&] { watchIncoming(context, options.settleSeconds, stop); });
    std::thread stopper([&] {
        while (!stop.load() && !stopRequested()) sleepMs(100);
        server.stop();
    });
    server.listen_after_bind();
    stop.store(true);
    stopper.join();
    incoming.join();
    {
        std::lock_guard<std::mutex> guard(db.lock);
        dbExec(db, "PRAGMA wal_checkpoint(TRUNCATE)");
    }
    logLine("stopped");
    return 0;
}
