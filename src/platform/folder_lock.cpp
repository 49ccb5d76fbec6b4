#include "platform/folder_lock.hpp"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>

FolderLock lockProgramFolder(const std::string& lockPath) {
    // Held open for the life of the process; close-on-exec keeps the FTP
    // client and other children from holding it after we end.
    static int held = -1;
    if (held >= 0) return FolderLock::Held;
    int fd = ::open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NONBLOCK, 0666);
    if (fd < 0) return FolderLock::Failed;
    while (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        if (errno == EINTR) continue;
        bool busy = errno == EWOULDBLOCK;
        ::close(fd);
        return busy ? FolderLock::Busy : FolderLock::Failed;
    }
    held = fd;
    return FolderLock::Held;
}
