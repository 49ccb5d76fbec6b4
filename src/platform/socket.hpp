// Stream sockets for the network exchange: name look-up, connecting, sending
// and receiving with time-outs. Every wait can be cut short by a cancel flag,
// so that a download thread that has run out of time stops within a fraction
// of a second and closes its connection itself.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>

using SocketHandle = int;
inline constexpr SocketHandle kNoSocket = -1;

// Results of recvWithTimeout other than a byte count.
inline constexpr int kRecvTimeout = 0;
inline constexpr int kRecvClosed = -1;
inline constexpr int kRecvError = -2;  // also a cancelled wait

// Resolves the host (IPv4 and IPv6 addresses, in the resolver's order) and
// connects to the first address that answers within timeoutSeconds.
SocketHandle tcpConnect(const std::string& host, uint16_t port, double timeoutSeconds,
                        const std::atomic<bool>* cancel = nullptr);
// Sends every byte; false when the peer stops taking data for timeoutSeconds,
// closes, or the wait is cancelled.
bool socketSendAll(SocketHandle socket, const char* data, size_t size, double timeoutSeconds,
                   const std::atomic<bool>* cancel = nullptr);
// Waits up to `seconds` for data: a byte count (at most size), kRecvTimeout,
// kRecvClosed when the peer closed the connection, or kRecvError.
int recvWithTimeout(SocketHandle socket, char* buffer, size_t size, double seconds,
                    const std::atomic<bool>* cancel = nullptr);
void socketClose(SocketHandle socket);
