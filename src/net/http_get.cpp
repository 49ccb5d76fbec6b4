#include <cctype>
#include <cstdio>

#include "common/text.hpp"
#include "net/host_port.hpp"
#include "net/http.hpp"
#include "platform/files.hpp"
#include "platform/socket.hpp"

namespace {

struct ResponseHead {
    int status = 0;
    bool chunked = false;
    std::optional<size_t> contentLength;
    size_t bodyStart = 0;
};

size_t findHeaderEnd(const std::string& data, size_t& bodyStart) {
    size_t crlf = data.find("\r\n\r\n");
    size_t lf = data.find("\n\n");
    if (crlf == std::string::npos && lf == std::string::npos) return std::string::npos;
    if (lf == std::string::npos || (crlf != std::string::npos && crlf < lf)) {
        bodyStart = crlf + 4;
        return crlf;
    }
    bodyStart = lf + 2;
    return lf;
}

// Reads the status line and the two headers that decide where the body ends.
// False when the status line is not an HTTP one or a length is malformed.
bool parseHead(const std::string& data, size_t headerEnd, ResponseHead& head) {
    int major = 0, minor = 0, status = 0;
    std::string first = data.substr(0, std::min<size_t>(data.find('\n'), 64));
    if (std::sscanf(first.c_str(), "HTTP/%d.%d %d", &major, &minor, &status) != 3) return false;
    head.status = status;
    size_t pos = data.find('\n');
    while (pos != std::string::npos && pos < headerEnd) {
        size_t next = data.find('\n', pos + 1);
        std::string line =
            data.substr(pos + 1, (next == std::string::npos ? data.size() : next) - pos - 1);
        size_t colon = line.find(':');
        if (colon != std::string::npos) {
            std::string name = trimBlanks(line.substr(0, colon));
            std::string value = trimBlanks(line.substr(colon + 1));
            if (equalNoCase(name, "transfer-encoding") && containsNoCase(value, "chunked")) {
                head.chunked = true;
            } else if (equalNoCase(name, "content-length")) {
                if (value.empty() || value.size() > 18) return false;
                for (char c : value) {
                    if (!std::isdigit(static_cast<unsigned char>(c))) return false;
                }
                head.contentLength = static_cast<size_t>(std::stoull(value));
            }
        }
        pos = next;
    }
    return true;
}

int hexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

}  // namespace

std::optional<std::string> urlHost(const std::string& url) {
    size_t slashes = url.find("//");
    if (slashes == std::string::npos) return std::nullopt;
    size_t start = slashes + 2;
    size_t end = url.find('/', start);
    if (end == std::string::npos || end == start) return std::nullopt;
    return url.substr(start, end - start);
}

std::optional<std::string> dechunk(const std::string& body) {
    std::string out;
    size_t pos = 0;
    for (;;) {
        size_t size = 0;
        size_t digits = 0;
        while (pos < body.size() && hexDigit(body[pos]) >= 0) {
            if (size > (kMaxHttpBody >> 4)) return std::nullopt;
            size = size * 16 + static_cast<size_t>(hexDigit(body[pos]));
            pos++;
            digits++;
        }
        if (digits == 0) return std::nullopt;
        size_t lineEnd = body.find('\n', pos);
        if (lineEnd == std::string::npos) return std::nullopt;
        pos = lineEnd + 1;
        if (size == 0) return out;
        if (size > body.size() - pos) return std::nullopt;
        out.append(body, pos, size);
        pos += size;
        lineEnd = body.find('\n', pos);
        if (lineEnd == std::string::npos) return std::nullopt;
        pos = lineEnd + 1;
    }
}

std::optional<std::string> httpGet(const std::string& url, const HttpOptions& options) {
    std::optional<std::string> host = urlHost(url);
    if (!host) return std::nullopt;
    std::string request =
        "GET " + url + " HTTP/1.1\r\nHost: " + *host + "\r\nConnection: close\r\n\r\n";
    // Without a proxy the URL's own port counts ("host:8080"); a proxy
    // takes the absolute URL whatever it names.
    HostPort direct = connectionTarget(*host);
    bool proxy = !options.proxyHost.empty();
    std::string target = proxy ? options.proxyHost : direct.host;
    uint16_t port = !proxy ? direct.port : options.proxyPort != 0 ? options.proxyPort : 80;
    SocketHandle s = tcpConnect(target, port, options.connectTimeout, options.cancel);
    if (s == kNoSocket) return std::nullopt;
    if (!socketSendAll(s, request.data(), request.size(), options.getTimeout, options.cancel)) {
        socketClose(s);
        return std::nullopt;
    }
    std::string data;
    ResponseHead head;
    bool headDone = false;
    bool complete = false;
    bool quiet = false;
    char block[16384];
    for (;;) {
        int n = recvWithTimeout(s, block, sizeof block, options.getTimeout, options.cancel);
        if (n == kRecvClosed) {
            complete = true;
            break;
        }
        if (n <= 0) {  // silence or an error: the answer is not known to be whole
            quiet = n == kRecvTimeout;
            break;
        }
        data.append(block, static_cast<size_t>(n));
        if (data.size() > kMaxHttpBody + 65536) break;
        if (!headDone) {
            size_t bodyStart = 0;
            size_t end = findHeaderEnd(data, bodyStart);
            if (end == std::string::npos) {
                if (data.size() > 65536) break;  // no header is this long
                continue;
            }
            if (!parseHead(data, end, head) || head.status / 100 != 2) break;
            head.bodyStart = bodyStart;
            headDone = true;
        }
        if (!head.chunked && head.contentLength &&
            data.size() - head.bodyStart >= *head.contentLength) {
            complete = true;
            break;
        }
    }
    socketClose(s);
    // A chunked body says itself where it ends, even from a server that
    // keeps the connection open.
    if (quiet && headDone && head.chunked) complete = true;
    if (!complete || !headDone) return std::nullopt;
    std::string body = data.substr(head.bodyStart);
    if (head.chunked) return dechunk(body);
    if (head.contentLength) {
        if (body.size() < *head.contentLength) return std::nullopt;
        body.resize(*head.contentLength);
    }
    if (body.size() > kMaxHttpBody) return std::nullopt;
    return body;
}

bool httpGetToFile(const std::string& url, const std::string& path, const HttpOptions& options) {
    std::optional<std::string> body = httpGet(url, options);
    if (!body) return false;
    if (options.cancel != nullptr && options.cancel->load()) return false;
    return writeFileAtomic(path, *body);
}
