#include "integration/server_support.hpp"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>

#include "platform/clock.hpp"
#include "platform/files.hpp"

bool ServerProcess::start(const std::string& root, const std::string& extra) {
    root_ = root;
    std::string portFile = root + "/port.txt";
    removeFile(portFile);
    child_ = startShellCommand(std::string("exec '") + PELTO_SERVER_EXE + "' --root '" + root +
                               "' --bind 127.0.0.1 --port 0 --port-file '" + portFile + "' " +
                               extra + " 2>>'" + root + "/server.log'");
    double deadline = monotonicSeconds() + 10;
    while (monotonicSeconds() < deadline) {
        std::ifstream in(portFile);
        if (in >> port_ && port_ > 0) return true;
        sleepMs(20);
    }
    return false;
}

int ServerProcess::stop() {
    if (child_.pid <= 0) return -1;
    ::kill(child_.pid, SIGTERM);
    double deadline = monotonicSeconds() + 10;
    int status = -1;
    while (monotonicSeconds() < deadline) {
        if (pollChild(child_, &status) == ChildState::Ended) {
            child_.pid = -1;
            return status;
        }
        sleepMs(20);
    }
    return -1;
}

std::string ServerProcess::log() const {
    std::ifstream in(root_ + "/server.log");
    return std::string(std::istreambuf_iterator<char>(in), {});
}

std::string rawExchange(uint16_t port, const std::string& request) {
    int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    if (fd < 0) return "";
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(port);
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
        ::close(fd);
        return "";
    }
    std::string answer;
    char buffer[65536];
    size_t sent = 0;
    bool open = true;
    while (open) {
        pollfd p{fd, static_cast<short>(POLLIN | (sent < request.size() ? POLLOUT : 0)), 0};
        if (::poll(&p, 1, 5000) <= 0) break;
        if (p.revents & (POLLIN | POLLHUP | POLLERR)) {
            ssize_t got = ::recv(fd, buffer, sizeof buffer, 0);
            if (got <= 0) break;
            answer.append(buffer, static_cast<size_t>(got));
            continue;
        }
        if (p.revents & POLLOUT) {
            size_t chunk = std::min<size_t>(request.size() - sent, 1 << 16);
            ssize_t put = ::send(fd, request.data() + sent, chunk, MSG_NOSIGNAL);
            if (put <= 0)
                open = false;
            else
                sent += static_cast<size_t>(put);
        }
    }
    ::close(fd);
    return answer;
}

int statusOf(const std::string& answer) {
    int major = 0, minor = 0, status = 0;
    if (std::sscanf(answer.c_str(), "HTTP/%d.%d %d", &major, &minor, &status) != 3) return 0;
    return status;
}

void makeProject(const ScratchFolder& dir, const std::string& root) {
    std::filesystem::create_directories(dir.file(root + "/lattices"));
    dir.write(root + "/lattices/alpha.txt", "L=[0.5 2]\nD1 #L#\n");
    dir.write(root + "/lattices/beta.txt", "M=[1 3]\nD2 #M#\n");
    dir.write(root + "/servers.csv", "127.0.0.1,tester,secret\n");
    dir.write(root + "/signal.txt", "v4.50a\nA new version is out.\n");
}
