#include "platform/files.hpp"

#include <fcntl.h>
#include <strings.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <mutex>
#include <set>

#include "platform/file_faults.hpp"

namespace fs = std::filesystem;

namespace {

// Names on the original platform matched regardless of ASCII case; the
// program runs in the C locale, where strcasecmp folds exactly A-Z.
bool sameNameNoCase(const std::string& a, const std::string& b) {
    return a.size() == b.size() && ::strcasecmp(a.c_str(), b.c_str()) == 0;
}

bool writeAll(int fd, const char* data, size_t size) {
    while (size > 0) {
        if (fileFaultHere(FileStep::Write)) {
            // A full disk: part of the bytes land, then the write fails.
            if (size > 1 && ::write(fd, data, size / 2) < 0) return false;
            errno = ENOSPC;
            return false;
        }
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

int openCounted(const std::string& path, int flags, mode_t mode = 0) {
    if (fileFaultHere(FileStep::Open)) {
        errno = EACCES;
        return -1;
    }
    return ::open(path.c_str(), flags | O_CLOEXEC, mode);
}

bool fsyncCounted(int fd) {
    if (fileFaultHere(FileStep::Fsync)) {
        errno = EIO;
        return false;
    }
    return ::fsync(fd) == 0;
}

bool renameCounted(const std::string& from, const std::string& to) {
    if (fileFaultHere(FileStep::Rename)) {
        errno = EIO;
        return false;
    }
    return ::rename(from.c_str(), to.c_str()) == 0;
}

// Whether fd still is the file named path (not renamed away or replaced).
bool sameFile(int fd, const std::string& path) {
    struct stat a, b;
    return ::fstat(fd, &a) == 0 && ::stat(path.c_str(), &b) == 0 && a.st_dev == b.st_dev &&
           a.st_ino == b.st_ino;
}

// Opens the one temporary file of a target, "<path>.tmp", locked. A temporary
// left by a writer that was killed is not locked any more and is replaced, so
// crashes leave at most one stale file per target. While another process
// writes the same target, we take a name of our own.
int openTemporary(const std::string& path, std::string& temp) {
    temp = path + ".tmp";
    for (int attempt = 0; attempt < 3; attempt++) {
        int fd = openCounted(temp, O_WRONLY | O_CREAT | O_EXCL, 0666);
        if (fd >= 0) {
            // Another writer may have taken the new file for stale between
            // its creation and the lock: then the name no longer leads here.
            bool mine = ::flock(fd, LOCK_EX | LOCK_NB) == 0 && sameFile(fd, temp);
            if (mine) return fd;
            ::close(fd);
            break;
        }
        if (errno != EEXIST) return -1;
        int old = ::open(temp.c_str(), O_WRONLY | O_CLOEXEC | O_NONBLOCK);
        if (old < 0) continue;  // gone meanwhile: try again
        bool stale = ::flock(old, LOCK_EX | LOCK_NB) == 0 && sameFile(old, temp);
        if (stale) ::unlink(temp.c_str());
        ::close(old);
        if (!stale) break;
    }
    // Unique also between threads of this process.
    static std::atomic<unsigned> serial{0};
    temp = path + ".tmp" + std::to_string(::getpid()) + "-" + std::to_string(serial++);
    return openCounted(temp, O_WRONLY | O_CREAT | O_TRUNC, 0666);
}

// A rename is durable once the folder's entry is on disk too.
void syncFolderOf(const std::string& path) {
    size_t slash = path.rfind('/');
    std::string folder = slash == std::string::npos ? "." : path.substr(0, slash + 1);
    int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;
    ::fsync(fd);
    ::close(fd);
}

std::mutex noticeMutex;
IrregularFileNotice irregularNotice;
std::set<std::string> noticedPaths;

void noticeIrregular(const std::string& path) {
    IrregularFileNotice notice;
    {
        // Downloads read files on a thread of their own.
        std::lock_guard<std::mutex> lock(noticeMutex);
        if (!irregularNotice || !noticedPaths.insert(path).second) return;
        notice = irregularNotice;
    }
    notice(path);
}

}  // namespace

void setIrregularFileNotice(IrregularFileNotice notice) {
    std::lock_guard<std::mutex> lock(noticeMutex);
    irregularNotice = std::move(notice);
    noticedPaths.clear();
}

bool refuseIrregularFile(const std::string& path) {
    struct stat st;
    if (::stat(path.c_str(), &st) != 0 || S_ISREG(st.st_mode)) return false;
    noticeIrregular(path);
    return true;
}

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

int64_t fileModTimeNs(const std::string& path) {
    struct stat st;
    if (::stat(path.c_str(), &st) != 0) return -1;
    return static_cast<int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
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
    return renameCounted(from, to);
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
                if (sameNameNoCase(name, part)) {
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
    // Without O_NONBLOCK, opening a FIFO would wait for a writer for ever.
    int fd = openCounted(path, O_RDONLY | O_NONBLOCK);
    if (fd < 0) return errno == ENOENT ? ReadStatus::Missing : ReadStatus::Failed;
    struct stat st;
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        noticeIrregular(path);
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
            // The file may have grown since fstat; read what is there, up to
            // the limit. A small probe first: doubling a big buffer only to
            // find the end would touch twice the file's size in memory.
            if (static_cast<int64_t>(out.size()) >= maxBytes) break;
            char probe[4096];
            size_t room = std::min(sizeof probe, static_cast<size_t>(maxBytes) - out.size());
            ssize_t n = ::read(fd, probe, room);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) {
                if (n < 0) {
                    ::close(fd);
                    out.clear();
                    return ReadStatus::Failed;
                }
                break;
            }
            out.append(probe, static_cast<size_t>(n));
            got += static_cast<size_t>(n);
            continue;
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

namespace {

// Pieces smaller than this are gathered before they are written.
constexpr size_t kWriterBufferBytes = size_t{1} << 20;

}  // namespace

AtomicFileWriter::AtomicFileWriter(const std::string& path) : path_(path) {
    fd_ = openTemporary(path, temp_);
    if (fd_ < 0) return;
    // A rewrite keeps the file's permissions (a read-only file stays read-only).
    struct stat st;
    if (::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode)) ::fchmod(fd_, st.st_mode & 07777);
}

AtomicFileWriter::~AtomicFileWriter() {
    if (fd_ < 0) return;
    ::unlink(temp_.c_str());
    ::close(fd_);
}

bool AtomicFileWriter::flush() {
    if (ok_ && !buffer_.empty()) ok_ = writeAll(fd_, buffer_.data(), buffer_.size());
    buffer_.clear();
    return ok_;
}

void AtomicFileWriter::append(std::string_view data) {
    if (fd_ < 0 || !ok_) return;
    if (buffer_.size() + data.size() > kWriterBufferBytes && !flush()) return;
    if (data.size() >= kWriterBufferBytes) {
        ok_ = writeAll(fd_, data.data(), data.size());
    } else {
        buffer_.append(data);
    }
}

bool AtomicFileWriter::commit() {
    if (fd_ < 0) return false;
    bool ok = flush() && fsyncCounted(fd_);
    // The lock stays until the rename is done, so no one takes the file for stale.
    if (!ok || !renameCounted(temp_, path_)) return false;  // the destructor tidies up
    ::close(fd_);
    fd_ = -1;
    syncFolderOf(path_);
    return true;
}

bool writeFileAtomic(const std::string& path, const std::string& contents) {
    AtomicFileWriter writer(path);
    writer.append(contents);
    return writer.commit();
}

bool appendToFile(const std::string& path, const std::string& contents) {
    if (refuseIrregularFile(path)) return false;
    // Non-blocking, so that a FIFO put in place since the test above fails
    // the open (no reader) or the test below instead of waiting for ever.
    int fd = openCounted(path, O_WRONLY | O_CREAT | O_APPEND | O_NONBLOCK, 0666);
    if (fd < 0) return false;
    struct stat st;
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        noticeIrregular(path);
        return false;
    }
    off_t before = st.st_size;
    bool ok = writeAll(fd, contents.data(), contents.size()) && fsyncCounted(fd);
    // A failed append takes back what part of it landed, so the file ends
    // with its last whole record rather than half of a new one.
    if (!ok && before >= 0) ::ftruncate(fd, before);
    return (::close(fd) == 0) && ok;
}

bool readFileTail(const std::string& path, int64_t maxBytes, std::string& tail, int64_t& start) {
    tail.clear();
    start = 0;
    if (refuseIrregularFile(path) || !isRegularFile(path)) return false;
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    struct stat st;
    bool ok = ::fstat(fd, &st) == 0;
    if (ok) {
        start = std::max<int64_t>(0, st.st_size - std::max<int64_t>(0, maxBytes));
        tail.resize(static_cast<size_t>(st.st_size - start));
        size_t got = 0;
        while (ok && got < tail.size()) {
            ssize_t n = ::pread(fd, tail.data() + got, tail.size() - got,
                                static_cast<off_t>(start + static_cast<int64_t>(got)));
            if (n < 0 && errno == EINTR) continue;
            ok = n > 0;
            if (ok) got += static_cast<size_t>(n);
        }
    }
    ::close(fd);
    if (!ok) tail.clear();
    return ok;
}

bool truncateFile(const std::string& path, int64_t size) {
    int fd = ::open(path.c_str(), O_WRONLY | O_CLOEXEC);
    if (fd < 0) return false;
    bool ok = ::ftruncate(fd, static_cast<off_t>(size)) == 0 && ::fsync(fd) == 0;
    return (::close(fd) == 0) && ok;
}

bool isSameFile(const std::string& a, const std::string& b) {
    struct stat x, y;
    return ::stat(a.c_str(), &x) == 0 && ::stat(b.c_str(), &y) == 0 && x.st_dev == y.st_dev &&
           x.st_ino == y.st_ino;
}

bool isRegularFile(const std::string& path) {
    struct stat st;
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
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
