#include <algorithm>
#include <cstdio>

#include "common/random.hpp"
#include "common/text.hpp"
#include "net/http.hpp"
#include "platform/clock.hpp"
#include "platform/files.hpp"
#include "platform/log_file.hpp"
#include "platform/socket.hpp"

namespace {

// Files bigger than this are not results files worth sending in one request.
constexpr int64_t kMaxUploadBytes = int64_t{256} << 20;

// The status code after the first space, or -1 when there is none.
int statusCode(const std::string& answer) {
    size_t space = answer.find(' ');
    if (space == std::string::npos) return -1;
    int code = 0;
    if (std::sscanf(answer.c_str() + space + 1, "%d", &code) != 1) return -1;
    return code;
}

void splitAnswer(const std::string& answer, HttpAnswer& out) {
    size_t lineEnd = answer.find("\r\n");
    out.statusLine = lineEnd == std::string::npos ? answer : answer.substr(0, lineEnd);
    size_t headerEnd = answer.find("\r\n\r\n");
    if (headerEnd != std::string::npos) out.body = answer.substr(headerEnd + 4);
}

// False for an answer whose body is shorter than its Content-Length: the
// connection broke, and the upload is not known to have arrived whole.
bool answerComplete(const std::string& answer) {
    size_t headerEnd = answer.find("\r\n\r\n");
    if (headerEnd == std::string::npos) return true;
    size_t pos = 0;
    while (pos < headerEnd) {
        size_t lineEnd = answer.find("\r\n", pos);
        std::string line = answer.substr(pos, lineEnd - pos);
        pos = lineEnd + 2;
        if (!startsWithNoCase(line, "content-length:")) continue;
        long long length = leadingInt(trimBlanks(line.substr(15)));
        return static_cast<long long>(answer.size() - headerEnd - 4) >= length;
    }
    return true;
}

// Drops a "100 Continue" interim answer from the front; true when one was there.
bool dropInterim(std::string& answer) {
    if (statusCode(answer) != 100) return false;
    size_t headerEnd = answer.find("\r\n\r\n");
    answer = headerEnd == std::string::npos ? std::string() : answer.substr(headerEnd + 4);
    return true;
}

// A wait of at most `seconds`, cut to what is left before the exchange's
// deadline. A server that drips a byte now and then, or answers "100
// Continue" for ever, resets every single wait; only the deadline ends it.
double waitBudget(const HttpOptions& options, double seconds) {
    if (options.deadline <= 0) return seconds;
    return std::max(0.0, std::min(seconds, options.deadline - monotonicSeconds()));
}

bool pastDeadline(const HttpOptions& options) {
    return options.deadline > 0 && monotonicSeconds() >= options.deadline;
}

// Receives an answer of at most kMaxPostAnswer bytes until the server goes
// quiet or closes. False when it is longer, or the deadline passed first.
bool receiveAnswer(SocketHandle s, std::string& answer, const HttpOptions& options) {
    char block[kMaxPostAnswer + 1];
    for (;;) {
        int n = recvWithTimeout(s, block, sizeof block, waitBudget(options, options.postTimeout),
                                options.cancel);
        if (pastDeadline(options)) return false;
        if (n <= 0) return true;
        answer.append(block, static_cast<size_t>(n));
        if (answer.size() > kMaxPostAnswer) return false;
    }
}

}  // namespace

std::string multipartBoundary(const std::string& prefix, const std::vector<MultipartPart>& parts) {
    for (;;) {
        std::string boundary(10, 'a');
        for (char& c : boundary) {
            char base = randomBelow(2) != 0 ? 'a' : 'A';
            c = static_cast<char>(base + randomBelow(26));
        }
        boundary.replace(0, std::min(prefix.size(), boundary.size()),
                         prefix.substr(0, boundary.size()));
        bool clash = false;
        for (const MultipartPart& part : parts) {
            clash = clash || part.data.find(boundary) != std::string::npos;
        }
        // A prefix of ten letters or more can never change; a clash then stays.
        if (!clash || prefix.size() >= boundary.size()) return boundary;
    }
}

std::string multipartBody(const std::string& boundary, const std::vector<MultipartPart>& parts) {
    std::string body;
    for (const MultipartPart& part : parts) {
        body += "--" + boundary + "\r\nContent-Disposition: form-data; name=\"" + part.name + "\"";
        if (part.fileName) body += "; filename=\"" + *part.fileName + "\"";
        body += "\r\n\r\n";
        body += part.data;
        body += "\r\n";
    }
    body += "--" + boundary + "--\r\n";
    return body;
}

HttpAnswer httpPostFile(const std::string& localPath, const std::string& remoteName,
                        const std::string& url, const std::string& host, uint16_t port,
                        const std::string& boundaryPrefix, const HttpOptions& options) {
    HttpAnswer out;
    std::string data;
    if (readWholeFile(localPath, data, kMaxUploadBytes) != ReadStatus::Ok) return out;
    std::optional<std::string> urlHostName = urlHost(url);
    if (!urlHostName) return out;
    std::vector<MultipartPart> parts;
    size_t slash = remoteName.find('/');
    if (slash != std::string::npos) {
        parts.push_back({"folder", std::nullopt, remoteName.substr(0, slash)});
        parts.push_back({"data", remoteName.substr(slash + 1), std::move(data)});
    } else {
        parts.push_back({"data", remoteName, std::move(data)});
    }
    std::string boundary = multipartBoundary(boundaryPrefix, parts);
    std::string body = multipartBody(boundary, parts);
    std::string request = format(
        "POST %s HTTP/1.1\r\nHost: %s\r\nContent-Length: %zu\r\nContent-Type: "
        "multipart/form-data; boundary=%s\r\n\r\n",
        url.c_str(), urlHostName->c_str(), body.size(), boundary.c_str());
    request += body;

    if (pastDeadline(options)) return out;
    SocketHandle s =
        tcpConnect(host, port, waitBudget(options, options.connectTimeout), options.cancel);
    if (s == kNoSocket) return out;
    if (!socketSendAll(s, request.data(), request.size(), waitBudget(options, options.postTimeout),
                       options.cancel)) {
        socketClose(s);
        return out;
    }
    std::string answer;
    bool fits = receiveAnswer(s, answer, options);
    while (fits && dropInterim(answer) && answer.empty()) fits = receiveAnswer(s, answer, options);
    socketClose(s);
    if (!fits || answer.empty()) return out;
    splitAnswer(answer, out);
    int code = statusCode(answer);
    out.ok = code >= 0 && code / 100 == 2 && answerComplete(answer);
    return out;
}

HttpAnswer httpPutFile(const std::string& localPath, const std::string& url,
                       const std::string& host, uint16_t port, const HttpOptions& options) {
    HttpAnswer out;
    std::string data;
    if (readWholeFile(localPath, data, kMaxUploadBytes) != ReadStatus::Ok) return out;
    std::optional<std::string> urlHostName = urlHost(url);
    if (!urlHostName) return out;
    std::string request =
        format("PUT %s HTTP/1.1\r\nHost: %s\r\nContent-Length: %zu\r\nAuthorization: kavro\r\n\r\n",
               url.c_str(), urlHostName->c_str(), data.size());
    request += data;

    // The steps go to the log only; the caller tells the user how it ended.
    SocketHandle s = tcpConnect(host, port, options.connectTimeout, options.cancel);
    if (s == kNoSocket) {
        logLine(format("PUT %s: could not connect to %s:%hu", url.c_str(), host.c_str(), port));
        return out;
    }
    if (!socketSendAll(s, request.data(), request.size(), options.postTimeout, options.cancel)) {
        logLine(format("PUT %s: the request could not be sent", url.c_str()));
        socketClose(s);
        return out;
    }
    std::string answer;
    do {
        char block[kMaxPostAnswer];
        int n = answer.empty()
                    ? recvWithTimeout(s, block, sizeof block, options.getTimeout, options.cancel)
                    : static_cast<int>(answer.size());
        if (n <= 0) {
            logLine(format("PUT %s: the connection closed without an answer", url.c_str()));
            socketClose(s);
            return out;
        }
        if (answer.empty()) answer.assign(block, static_cast<size_t>(n));
        if (statusCode(answer) < 0) {
            logLine(format("PUT %s: the server's answer has no status", url.c_str()));
            socketClose(s);
            return out;
        }
    } while (dropInterim(answer));
    socketClose(s);
    logLine(format("PUT %s: %s", url.c_str(), answer.substr(0, answer.find('\r')).c_str()));
    if (statusCode(answer) / 100 != 2) return out;
    splitAnswer(answer, out);
    out.ok = true;
    return out;
}
