#include "platform/files.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <filesystem>

namespace fs = std::filesystem;

namespace {

bool equalNoCase(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); i++) {
        unsigned char x = static_cast<unsigned char>(a[i]);
        unsigned char y = static_cast<unsigned char>(b[i]);
        if (x >= 'A' && x <= 'Z') x = static_cast<unsigned char>(x + 32);
        if (y >= 'A' && y <= 'Z') y = static_cast<unsigned char>(y + 32);
        if (x != y) return false;
    }
    return true;
}

bool writeAll(int fd, const char* data, size_t size) {
    while (size > 0) {
        ssize_t n = ::write(fd, data, size);
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        data += n;
        size -= static_cast<size_t>(n);
    }
    return true;
}

}  // namespace

bool fileExists(const std::string& path) {
    struct stat st;
    return ::stat(path.c_str(), &st) == 0;
}

bool isDirectory(const std::string& path) {
    struct stat st;
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

int64_t fileModTime(const std::string& path) {
    struct stat st;
    if (::stat(path.c_str(), &st) != 0) return -1;
    return static_cast<int64_t>(st.st_mtime);
}

int64_t fileSize(const std::string& path) {
    struct stat st;
    if (::stat(path.c_str(), &st) != 0) return -1;
    return static_cast<int64_t>(st.st_size);
}

bool removeFile(const std::string& path) {
    return ::unlink(path.c_str()) == 0;
}

bool renameFile(const std::string& from, const std::string& to) {
    return ::rename(from.c_str(), to.c_str()) == 0;
}

bool makeDirectory(const std::string& path) {
    return ::mkdir(path.c_str(), 0777) == 0 || (errno == EEXIST && isDirectory(path));
}

bool removeDirectory(const std::string& path) {
    return ::rmdir(path.c_str()) == 0;
}

std::vector<std::string> listFolder(const std::string& folder, bool filesOnly) {
    std::vector<std::string> names;
    std::error_code ec;
    for (fs::directory_iterator it(folder.empty() ? "." : folder, ec), end; !ec && it != end;
         it.increment(ec)) {
        if (filesOnly && it->is_directory(ec)) continue;
        names.push_back(it->path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

std::string findFileNoCase(const std::string& path) {
    if (path.empty() || fileExists(path)) return path;
    std::string built = path[0] == '/' ? "/" : "";
    size_t start = path[0] == '/' ? 1 : 0;
    while (start <= path.size()) {
        size_t slash = path.find('/', start);
        std::string part =
            path.substr(start, slash == std::string::npos ? std::string::npos : slash - start);
        std::string candidate = built + part;
        if (!part.empty() && !fileExists(candidate)) {
            std::string folder = built.empty() ? "." : built;
            bool found = false;
            for (const std::string& name : listFolder(folder, false)) {
                if (equalNoCase(name, part)) {
                    candidate = built + name;
                    found = true;
                    break;
                }
            }
            if (!found) return path;
        }
        built = candidate;
        if (slash == std::string::npos) break;
        built += '/';
        start = slash + 1;
    }
    return built;
}

ReadStatus readWholeFile(const std::string& path, std::string& out, int64_t maxBytes) {
    out.clear();
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return errno == ENOENT ? ReadStatus::Missing : ReadStatus::Failed;
    struct stat st;
    if (::fstat(fd, &st) != 0) {
        ::close(fd);
        return ReadStatus::Failed;
    }
    if (st.st_size > maxBytes) {
        ::close(fd);
        return ReadStatus::TooLarge;
    }
    out.resize(static_cast<size_t>(st.st_size));
    size_t got = 0;
    for (;;) {
        if (got == out.size()) {
            // The file may have grown since fstat; read what is there, up to the limit.
            if (static_cast<int64_t>(out.size()) >= maxBytes) break;
            out.resize(std::min<size_t>(out.size() * 2 + 4096, static_cast<size_t>(maxBytes)));
        }
        ssize_t n = ::read(fd, out.data() + got, out.size() - got);
        if (n < 0) {
            if (errno == EINTR) continue;
            ::close(fd);
            out.clear();
            return ReadStatus::Failed;
        }
        if (n == 0) break;
        got += static_cast<size_t>(n);
    }
    ::close(fd);
    out.resize(got);
    return ReadStatus::Ok;
}

bool writeFileAtomic(const std::string& path, const std::string& contents) {
    std::string temp = path + ".tmp" + std::to_string(::getpid());
    int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd < 0) return false;
    bool ok = writeAll(fd, contents.data(), contents.size()) && ::fsync(fd) == 0;
    ok = (::close(fd) == 0) && ok;
    if (!ok || ::rename(temp.c_str(), path.c_str()) != 0) {
        ::unlink(temp.c_str());
        return false;
    }
    return true;
}

bool appendToFile(const std::string& path, const std::string& contents) {
    int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0666);
    if (fd < 0) return false;
    bool ok = writeAll(fd, contents.data(), contents.size());
    return (::close(fd) == 0) && ok;
}

bool isSafeRelativePath(const std::string& path) {
    if (path.empty() || path[0] == '/' || path[0] == '\\') return false;
    size_t start = 0;
    while (start <= path.size()) {
        size_t end = path.find_first_of("/\\", start);
        if (end == std::string::npos) end = path.size();
        std::string part = path.substr(start, end - start);
        if (part.empty() || part == "." || part == "..") return false;
        for (unsigned char c : part) {
            if (c < 32 || c == 127 || c == ':') return false;
        }
        start = end + 1;
    }
    return true;
}

bool isSafeFileName(const std::string& name) {
    return isSafeRelativePath(name) && name.find_first_of("/\\") == std::string::npos;
}
