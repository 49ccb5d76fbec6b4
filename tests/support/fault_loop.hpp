// Runs a file operation once for every file step it takes, failing that step,
// so a test can prove that the files survive each possible failure.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>

#include "platform/file_faults.hpp"

// Before each run `restore()` puts the old files back; `operation()` runs with
// the nth step failing; `check(n, fired)` looks at the files afterwards (fired
// is false for the last run, which reached no failure). Returns the number of
// steps a run without failure takes.
template <class Restore, class Operation, class Check>
int64_t forEachFileFault(Restore restore, Operation operation, Check check) {
    for (int64_t n = 1; n < 100000; n++) {
        restore();
        bool fired = false;
        {
            FileFaultGuard guard;
            fileFaultsArm(n);
            operation();
            fired = fileFaultsFired();
        }
        check(n, fired);
        if (!fired) return n - 1;
    }
    ADD_FAILURE() << "the operation never ran out of file steps";
    return -1;
}
