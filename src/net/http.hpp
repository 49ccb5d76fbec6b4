// A small HTTP/1.1 client for one-shot exchanges with the project's servers:
// one connection, one request, one answer. Requests always carry the absolute
// URL, so the same text serves a direct connection and a proxy. No TLS, no
// redirects.
#pragma once

#include <atomic>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

struct HttpOptions {
    std::string proxyHost;   // empty: connect to the URL's host
    uint16_t proxyPort = 0;  // 0: port 80
    double connectTimeout = 30;
    double getTimeout = 10;                     // seconds of silence that end a GET as failed
    double postTimeout = 30;                    // seconds of silence that end a POST or PUT answer
    const std::atomic<bool>* cancel = nullptr;  // set by a caller that gives up
    // Uploads: the monotonic time (platform clock) by which the whole
    // exchange must be over, however the server paces its bytes; 0 for none.
    double deadline = 0;
};

// Bodies bigger than this are refused: nothing the project serves comes near.
inline constexpr size_t kMaxHttpBody = size_t{64} << 20;
// Answers to uploads are short pages; anything longer is not the project's.
inline constexpr size_t kMaxPostAnswer = 5000;

// The host of an "http://" URL: the text after "//" up to the next "/". A
// URL without a "/" after the host gives nullopt.
std::optional<std::string> urlHost(const std::string& url);

// The body of a 2xx answer, complete: a body shorter than its Content-Length,
// a chunked body without its last chunk, a connection that goes quiet or a
// broken status line are failures.
std::optional<std::string> httpGet(const std::string& url, const HttpOptions& options);
// httpGet, then the body replaces `path` through a temporary file in the same
// folder; on any failure the old file stays as it was.
bool httpGetToFile(const std::string& url, const std::string& path, const HttpOptions& options);

// The data of a chunked body, or nullopt when it is malformed or ends before
// its zero-size chunk.
std::optional<std::string> dechunk(const std::string& body);

struct HttpAnswer {
    bool ok = false;
    std::string statusLine;           // the first line of the answer
    std::optional<std::string> body;  // the text after the header, when there is one
};

// Uploads a local file as a multipart form: a "folder" field with the text
// before the first "/" of remoteName (when it has one) and a "data" field
// carrying the file under the rest of the name. The boundary starts with
// boundaryPrefix. Connects to host:port as given.
HttpAnswer httpPostFile(const std::string& localPath, const std::string& remoteName,
                        const std::string& url, const std::string& host, uint16_t port,
                        const std::string& boundaryPrefix, const HttpOptions& options);
// Uploads a local file with PUT, tracing each step on the console.
HttpAnswer httpPutFile(const std::string& localPath, const std::string& url,
                       const std::string& host, uint16_t port, const HttpOptions& options);

// The multipart body and its boundary, exposed for tests.
struct MultipartPart {
    std::string name;
    std::optional<std::string> fileName;
    std::string data;
};
// Ten random letters, the prefix over the first ones, drawn again until no
// part's data contains the boundary.
std::string multipartBoundary(const std::string& prefix, const std::vector<MultipartPart>& parts);
std::string multipartBody(const std::string& boundary, const std::vector<MultipartPart>& parts);
