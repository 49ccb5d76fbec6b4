// One client per program folder. Two clients on one folder would recheck the
// same queued result, rewrite the queue from their own memory and share one
// auto-save. The lock is an advisory lock on a file in the folder; the kernel
// drops it when the process ends, however it ends, so a crash never leaves a
// folder locked.
#pragma once

#include <string>

inline constexpr const char* kFolderLockFile = "pelto.lock";

enum class FolderLock { Held, Busy, Failed };

// Takes the lock on `lockPath` for the life of the process. Busy when another
// process holds it; Failed when the file cannot be opened (a read-only
// folder), in which case the caller may go on without it.
FolderLock lockProgramFolder(const std::string& lockPath = kFolderLockFile);
