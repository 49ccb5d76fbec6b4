// Ingest of one uploaded results file: every record checked as the client
// checks it, the good ones stored once, the upload and its counts kept. One
// transaction per upload, so a killed server keeps an upload whole or not at
// all.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "server/db.hpp"

struct IngestLimits {
    int64_t maxBytes = int64_t(8) << 20;  // the client sends at most 400 kB by HTTP
    int64_t maxRecords = 20000;
    int64_t uploadsPerHour = 120;  // per address; 0: no limit
};

struct UploadSource {
    std::string channel;  // "http" or "ftp"
    std::string address;  // the sender's address ("ftp" when the FTP server keeps it)
    std::string name;     // the upload's file name
};

struct IngestReport {
    std::string refusal;  // set when the whole upload was refused
    int64_t uploadId = 0;
    int64_t records = 0;  // record pairs found
    int64_t accepted = 0;
    int64_t duplicates = 0;
    int64_t badChecksum = 0;
    int64_t unknownLattice = 0;
    int64_t oldVersion = 0;
    int64_t malformed = 0;                     // test records, stray lines, no lattice, no score
    std::vector<std::string> changedLattices;  // got at least one new result
};

// The records of a results file found at `path` (text, or binary by its
// magic), checked and stored. `now` is in Unix seconds.
IngestReport ingestFile(ProjectDb& db, const std::string& path, const UploadSource& source,
                        const IngestLimits& limits, int64_t now);

// One line for the log.
std::string describeIngest(const IngestReport& report);
