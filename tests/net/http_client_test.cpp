#include <optional>
#include <string>
#include <vector>

#include "common/random.hpp"
#include "net/http.hpp"
#include "net/net_support.hpp"

namespace {

TEST(UrlHost, TakesTheTextBetweenTheSlashesAndNeedsAPath) {
    struct Case {
        const char* url;
        std::optional<std::string> host;
    } cases[] = {
        {"http://example.org/a/b.txt", "example.org"},
        {"http://example.org:8080/x", "example.org:8080"},
        {"http://example.org", std::nullopt},  // no "/" after the host
        {"http:///path", std::nullopt},
        {"example.org/path", std::nullopt},
    };
    for (const Case& c : cases) EXPECT_EQ(urlHost(c.url), c.host) << c.url;
}

TEST(Dechunk, JoinsChunksAndRefusesBodiesThatEndEarly) {
    std::string a26(26, 'a');
    struct Case {
        std::string body;
        std::optional<std::string> data;
    } cases[] = {
        {"1A\r\n" + a26 + "\r\n5\r\nbbbbb\r\n0\r\n\r\n", a26 + "bbbbb"},  // 31 bytes
        {"1a;ext=1\r\n" + a26 + "\r\n0\r\n\r\n", a26},                    // extensions ignored
        {"0\r\n\r\n", ""},
        {"1A\r\n" + a26 + "\r\n5\r\nbbbbb\r\n", std::nullopt},  // no last chunk
        {"1A\r\n" + a26 + "\r\nzz\r\nbbbbb\r\n0\r\n\r\n", std::nullopt},
        {"FF\r\nshort\r\n0\r\n\r\n", std::nullopt},  // size beyond the data
        {"FFFFFFFFFFFFFFFFFFFF\r\nx\r\n", std::nullopt},
        {"", std::nullopt},
    };
    for (const Case& c : cases) EXPECT_EQ(dechunk(c.body), c.data) << c.body;
}

TEST(Multipart, BoundaryStartsWithThePrefixAndAvoidsTheData) {
    seedRandom(7);
    std::vector<MultipartPart> parts{{"data", "f.txt", "payload"}};
    for (int i = 0; i < 50; i++) {
        std::string b = multipartBoundary("Pelto", parts);
        ASSERT_EQ(b.size(), 10u);
        EXPECT_EQ(b.substr(0, 5), "Pelto");
        for (char c : b.substr(5)) EXPECT_TRUE((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'));
    }
    // With only one free letter, data holding 25 of the 52 choices forces redraws.
    std::string data;
    for (char c = 'a'; c < 'z'; c++) data += std::string("PeltoPelt") + c + " ";
    std::vector<MultipartPart> crowded{{"data", "f", data}};
    for (int i = 0; i < 50; i++) {
        std::string b = multipartBoundary("PeltoPelt", crowded);
        EXPECT_EQ(data.find(b), std::string::npos) << b;
    }
}

TEST(Multipart, BodyCarriesTheFolderFieldAndTheFile) {
    std::vector<MultipartPart> parts{{"folder", std::nullopt, "v4.4x"}, {"data", "r.txt", "x\r\n"}};
    EXPECT_EQ(multipartBody("B", parts),
              "--B\r\nContent-Disposition: form-data; name=\"folder\"\r\n\r\nv4.4x\r\n"
              "--B\r\nContent-Disposition: form-data; name=\"data\"; filename=\"r.txt\"\r\n\r\n"
              "x\r\n\r\n--B--\r\n");
}

TEST_F(NetTest, GetGoesThroughTheProxyWithTheAbsoluteUrl) {
    START_HTTP_SERVER();
    std::string contents = "line one\r\nline two\r\n" + std::string(5000, 'z');
    serve("pelto/lattices/demo.txt", contents);
    EXPECT_EQ(httpGet("http://pelto.test/pelto/lattices/demo.txt", net().http), contents);
    EXPECT_NE(serverFile("requests.log")
                  .find("GET http://pelto.test/pelto/lattices/demo.txt Host=pelto.test"),
              std::string::npos)
        << serverFile("requests.log");
    EXPECT_EQ(httpGet("http://pelto.test/missing.txt", net().http), std::nullopt);
    EXPECT_FALSE(httpGetToFile("http://pelto.test/missing.txt", "missing.txt", net().http));
    EXPECT_FALSE(fileExists("missing.txt"));
}

TEST_F(NetTest, ChunkedAnswerIsJoined) {
    START_HTTP_SERVER();
    serve("a.txt", "0123456789abcdefghij");
    setMode("chunked");
    EXPECT_EQ(httpGet("http://pelto.test/a.txt", net().http), "0123456789abcdefghij");
}

// Whatever goes wrong, the file already there stays as it was and nothing
// else is left in its folder.
TEST_F(NetTest, FailedGetLeavesTheOldFileAndNoPartialOne) {
    START_HTTP_SERVER();
    serve("pelto/lattices/demo.txt", std::string(20000, 'n'));
    makeDirectory("lattices");
    const char* modes[] = {"drop", "lie", "500", "cutchunk", "garbage", "silent"};
    for (const char* mode : modes) {
        writeProg("lattices/demo.txt", "old lattice\n");
        setMode(mode);
        double start = monotonicSeconds();
        EXPECT_FALSE(httpGetToFile("http://pelto.test/pelto/lattices/demo.txt", "lattices/demo.txt",
                                   net().http))
            << mode;
        EXPECT_LT(monotonicSeconds() - start, 30) << mode;  // the silent server waits 60 s
        EXPECT_EQ(progFile("lattices/demo.txt"), "old lattice\n") << mode;
        EXPECT_EQ(listFolder("lattices", false), std::vector<std::string>{"demo.txt"}) << mode;
    }
    setMode("");
    EXPECT_TRUE(httpGetToFile("http://pelto.test/pelto/lattices/demo.txt", "lattices/demo.txt",
                              net().http));
    EXPECT_EQ(progFile("lattices/demo.txt"), std::string(20000, 'n'));
}

TEST_F(NetTest, NoServerFailsAtOnce) {
    HttpOptions options;
    options.proxyHost = "127.0.0.1";
    options.proxyPort = closedPort();
    double start = monotonicSeconds();
    EXPECT_EQ(httpGet("http://pelto.test/a.txt", options), std::nullopt);
    writeProg("up.txt", "data");
    EXPECT_FALSE(httpPostFile("up.txt", "up.txt", "http://pelto.test/u", "127.0.0.1",
                              options.proxyPort, "Pelto", options)
                     .ok);
    EXPECT_LT(monotonicSeconds() - start, 20);  // no waiting out a time-out
}

TEST_F(NetTest, PostDeliversTheFileAndReportsTheAnswer) {
    START_HTTP_SERVER();
    std::string data = "genome\r\nscore\r\n";
    data += std::string("\0\x01\xff--Pelto", 11);  // binary bytes and a boundary look-alike
    writeProg("20260101-000000-AbCdE-me.bin", data);
    HttpAnswer answer =
        httpPostFile("20260101-000000-AbCdE-me.bin", "v4.4x/20260101-000000-AbCdE-me.bin",
                     "http://pelto.test/pelto/uploadresults.php", "127.0.0.1", http_.port(),
                     "Pelto", net().http);
    EXPECT_TRUE(answer.ok);
    EXPECT_EQ(answer.statusLine, "HTTP/1.1 200 OK");
    ASSERT_TRUE(answer.body.has_value());
    EXPECT_NE(answer.body->find("Thank you"), std::string::npos);
    EXPECT_EQ(serverFile("uploads/v4.4x/20260101-000000-AbCdE-me.bin"), data);

    setMode("500");
    answer = httpPostFile("20260101-000000-AbCdE-me.bin", "x.bin",
                          "http://pelto.test/pelto/uploadresults.php", "127.0.0.1", http_.port(),
                          "Pelto", net().http);
    EXPECT_FALSE(answer.ok);
    EXPECT_NE(answer.statusLine.find("500"), std::string::npos);
    EXPECT_FALSE(httpPostFile("absent.bin", "x.bin", "http://pelto.test/p", "127.0.0.1",
                              http_.port(), "Pelto", net().http)
                     .ok);
}

}  // namespace
