// Load on pelto-server: uploads of 50 records per second sustained, then 50
// uploads at once, every record accounted for. The figures are printed; the
// README quotes them. PELTO_LOAD_SECONDS lengthens the sustained part.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <thread>
#include <vector>

#include "integration/server_support.hpp"
#include "net/http.hpp"
#include "platform/clock.hpp"
#include "server/server_fixture.hpp"

namespace {

TEST(ServerLoad, SustainedAndConcurrentUploadsAreAllAccountedFor) {
    ScratchFolder dir;
    makeProject(dir, "project");
    std::string root = dir.file("project");
    ServerProcess server;
    ASSERT_TRUE(server.start(root, "--uploads-per-hour 0"));
    const char* env = std::getenv("PELTO_LOAD_SECONDS");
    const int seconds = env ? std::max(1, std::atoi(env)) : 3;
    const int perUpload = 10, perSecond = 50;
    const int sustainedUploads = seconds * perSecond / perUpload;
    const int concurrent = 50, perConcurrent = 20;

    // Every record distinct: lattice, level and score vary.
    int next = 0;
    auto makeUpload = [&](int count) {
        InFolder in(root);
        MessageRecorder quiet{DisplayBackground};
        std::string text;
        for (int i = 0; i < count; i++, next++)
            text += recordText(
                clientRecord(next % 2 ? "alpha" : "beta", next % 1000, 1.0 + next * 1e-4));
        return text;
    };
    std::vector<std::string> files;
    for (int u = 0; u < sustainedUploads + concurrent; u++) {
        std::string name = dir.file("up" + std::to_string(u) + ".txt");
        std::FILE* f = std::fopen(name.c_str(), "wb");
        std::string body = makeUpload(u < sustainedUploads ? perUpload : perConcurrent);
        std::fwrite(body.data(), 1, body.size(), f);
        std::fclose(f);
        files.push_back(name);
    }
    HttpOptions o;
    o.postTimeout = o.connectTimeout = 30;
    auto send = [&](int u) {
        return httpPostFile(files[static_cast<size_t>(u)],
                            "v4.4x/20240101-120000-Ld" + std::to_string(1000 + u) + "-load.txt",
                            "http://pelto.test/pelto/uploadresults.php", "127.0.0.1", server.port(),
                            "Pelto", o)
            .ok;
    };

    // Sustained: one upload of 10 records every 0.2 s.
    double start = monotonicSeconds();
    double worst = 0;
    int sent = 0;
    for (int u = 0; u < sustainedUploads; u++) {
        double due = start + u * (double(perUpload) / perSecond);
        while (monotonicSeconds() < due) sleepMs(2);
        double t0 = monotonicSeconds();
        sent += send(u) ? 1 : 0;
        worst = std::max(worst, monotonicSeconds() - t0);
    }
    double sustainedTime = monotonicSeconds() - start;
    EXPECT_EQ(sent, sustainedUploads);
    EXPECT_LT(sustainedTime, seconds * 1.5) << "the server fell behind 50 records/s";

    // Concurrent: 50 uploads at once.
    std::atomic<int> ok{0};
    std::vector<std::thread> threads;
    double burst = monotonicSeconds();
    for (int c = 0; c < concurrent; c++)
        threads.emplace_back([&, c] { ok += send(sustainedUploads + c) ? 1 : 0; });
    for (std::thread& t : threads) t.join();
    double burstTime = monotonicSeconds() - burst;
    EXPECT_EQ(ok.load(), concurrent);

    EXPECT_EQ(server.stop(), 0);
    CommandResult check =
        runCommand("'" + std::string(PELTO_SERVER_EXE) + "' --root '" + root + "' --check");
    EXPECT_EQ(check.status, 0) << check.output;
    int64_t expected = int64_t{sustainedUploads} * perUpload + int64_t{concurrent} * perConcurrent;
    std::string want = std::to_string(sustainedUploads + concurrent) + " uploads, " +
                       std::to_string(expected) + " results";
    EXPECT_NE(check.output.find(want), std::string::npos) << check.output;
    std::printf(
        "load: %d uploads of %d records at %d records/s in %.2f s (slowest answer "
        "%.3f s); %d concurrent uploads of %d records answered in %.2f s; %lld "
        "records stored\n",
        sustainedUploads, perUpload, perSecond, sustainedTime, worst, concurrent, perConcurrent,
        burstTime, static_cast<long long>(expected));
}

}  // namespace
