// A verdict on one record with its reason, for users who want to know why a
// results file is not accepted.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "store/digest.hpp"

enum class CheckVerdict {
    Accepted,        // checksum matches the local lattice and data files
    TestRecord,      // a test record: no version or checksum test
    OldVersion,      // below the oldest accepted version
    BadChecksum,     // the lattice is here and the checksum does not match
    LatticeMissing,  // the lattice is not here, so the checksum cannot be tested
};

struct RecordCheck {
    CheckVerdict verdict = CheckVerdict::Accepted;
    float version = 0;
    std::optional<std::string> lattice;
    Digest stored;
    Digest computed;
};

// The same tests as the readers apply, without messages.
RecordCheck checkRecord(const std::string& genomeLine, const std::string& scoreLine);
// "accepted", "rejected: bad checksum", ... with the checksums.
std::string describeCheck(const RecordCheck& check);

// Checks every record pair of a text results file in order, telling `each`
// the line of its score line and the verdict. The lattice and data files are
// digested once for the whole file, not once per record: a check runs at the
// speed of the checksums. False when the file cannot be read.
bool checkResultsFile(const std::string& path,
                      const std::function<void(int64_t line, const RecordCheck&)>& each);
