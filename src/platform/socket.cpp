#include "platform/socket.hpp"

#include <fcntl.h>
#include <netdb.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>

#include "platform/clock.hpp"

namespace {

// Long waits are cut into slices so that a cancel request is seen quickly.
constexpr double kSliceSeconds = 0.25;

bool cancelled(const std::atomic<bool>* cancel) {
    return cancel != nullptr && cancel->load(std::memory_order_relaxed);
}

// Waits for `events` on the socket: 1 ready, 0 time-out, -1 error or cancel.
int waitFor(SocketHandle socket, short events, double seconds, const std::atomic<bool>* cancel) {
    double deadline = monotonicSeconds() + std::max(0.0, seconds);
    for (;;) {
        if (cancelled(cancel)) return -1;
        double left = deadline - monotonicSeconds();
        if (left <= 0) return 0;
        double slice = std::min(left, kSliceSeconds);
        struct pollfd p {
            socket, events, 0
        };
        int n = ::poll(&p, 1, static_cast<int>(std::ceil(slice * 1000.0)));
        if (n < 0) {
            if (errno == EINTR) continue;
            return -1;
        }
        if (n > 0) return 1;
    }
}

SocketHandle connectOne(const struct addrinfo* ai, double timeoutSeconds,
                        const std::atomic<bool>* cancel) {
    SocketHandle s = ::socket(ai->ai_family, ai->ai_socktype | SOCK_CLOEXEC, ai->ai_protocol);
    if (s < 0) return kNoSocket;
    int flags = ::fcntl(s, F_GETFL, 0);
    ::fcntl(s, F_SETFL, flags | O_NONBLOCK);
    int rc = ::connect(s, ai->ai_addr, ai->ai_addrlen);
    if (rc != 0 && errno == EINPROGRESS) {
        if (waitFor(s, POLLOUT, timeoutSeconds, cancel) == 1) {
            int error = 0;
            socklen_t len = sizeof error;
            rc = (::getsockopt(s, SOL_SOCKET, SO_ERROR, &error, &len) == 0 && error == 0) ? 0 : -1;
        } else {
            rc = -1;
        }
    }
    if (rc != 0) {
        ::close(s);
        return kNoSocket;
    }
    return s;
}

}  // namespace

SocketHandle tcpConnect(const std::string& host, uint16_t port, double timeoutSeconds,
                        const std::atomic<bool>* cancel) {
    if (host.empty() || cancelled(cancel)) return kNoSocket;
    struct addrinfo hints {};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_protocol = IPPROTO_TCP;
    struct addrinfo* found = nullptr;
    std::string service = std::to_string(port);
    if (::getaddrinfo(host.c_str(), service.c_str(), &hints, &found) != 0) return kNoSocket;
    SocketHandle s = kNoSocket;
    for (const struct addrinfo* ai = found; ai != nullptr && s == kNoSocket; ai = ai->ai_next) {
        if (cancelled(cancel)) break;
        s = connectOne(ai, timeoutSeconds, cancel);
    }
    ::freeaddrinfo(found);
    return s;
}

bool socketSendAll(SocketHandle socket, const char* data, size_t size, double timeoutSeconds,
                   const std::atomic<bool>* cancel) {
    while (size > 0) {
        if (waitFor(socket, POLLOUT, timeoutSeconds, cancel) != 1) return false;
        ssize_t n = ::send(socket, data, size, MSG_NOSIGNAL);
        if (n < 0) {
            if (errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK) continue;
            return false;
        }
        data += n;
        size -= static_cast<size_t>(n);
    }
    return true;
}

int recvWithTimeout(SocketHandle socket, char* buffer, size_t size, double seconds,
                    const std::atomic<bool>* cancel) {
    for (;;) {
        int ready = waitFor(socket, POLLIN, seconds, cancel);
        if (ready == 0) return kRecvTimeout;
        if (ready < 0) return kRecvError;
        ssize_t n = ::recv(socket, buffer, size, 0);
        if (n > 0) return static_cast<int>(n);
        if (n == 0) return kRecvClosed;
        if (errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK) continue;
        return kRecvError;
    }
}

void socketClose(SocketHandle socket) {
    if (socket >= 0) ::close(socket);
}
