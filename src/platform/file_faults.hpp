// Fault injection for file operations: lets a test fail the Nth step of the
// file layer and prove that the files survive every failure.
//
// Steps are the calls of platform/files.cpp that can lose or keep data: every
// open (for reading or writing), every write call, every fsync and every
// rename. Nothing else counts. Injected failures look like the system's own:
//   Open    fails with nothing opened (as for EACCES);
//   Write   stores the first half of its bytes, then fails (as a full disk);
//   Fsync   fails after the bytes were written (as EIO);
//   Rename  fails with both names left as they were.
//
// API (one process-wide plan, safe to use from several threads):
//   fileFaultsArm(n)        the nth step from now fails, n >= 1; the count
//                           starts again at 0;
//   fileFaultsArm(n, true)  the nth step and every later one fail;
//   fileFaultsDisarm()      no more failures; the step count keeps running;
//   fileFaultsFired()       whether a failure was injected since arming;
//   fileFaultsSteps()       steps seen since the last arming.
//
// The usual test loops over every step of an operation until a run no longer
// reaches the armed step:
//   for (int64_t n = 1;; n++) {
//       restoreOldFiles();
//       fileFaultsArm(n);
//       doTheWrite();
//       bool fired = fileFaultsFired();
//       fileFaultsDisarm();
//       checkFilesAreOldOrNew();
//       if (!fired) break;
//   }
// FileFaultGuard disarms at the end of a scope, so a failing test leaves no
// armed plan behind for the next one.
#pragma once

#include <cstdint>

enum class FileStep { Open, Write, Fsync, Rename };

void fileFaultsArm(int64_t n, bool persistent = false);
void fileFaultsDisarm();
bool fileFaultsFired();
int64_t fileFaultsSteps();

// Called by the file layer before each step: true means fail this one.
bool fileFaultHere(FileStep step);

struct FileFaultGuard {
    FileFaultGuard() = default;
    FileFaultGuard(const FileFaultGuard&) = delete;
    FileFaultGuard& operator=(const FileFaultGuard&) = delete;
    ~FileFaultGuard() { fileFaultsDisarm(); }
};
