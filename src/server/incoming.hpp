// Uploads that arrive by FTP. The FTP server writes them below
// DIR/incoming/ (the client puts them into a version folder there); a file
// is complete once its size and time have stayed the same for the settle
// time, since an FTP server gives no other sign that a transfer has ended.
// A complete file is moved into the spool (so the FTP server can no longer
// write to its name), ingested and then deleted.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <string>

struct IncomingFile {
    int64_t size = -1;
    int64_t modTimeNs = 0;
    double stableSince = 0;  // monotonic seconds when this size and time were first seen
};

struct IncomingWatch {
    double settleSeconds = 5;
    std::map<std::string, IncomingFile> seen;  // path -> last state
};

// The upload files in the version folders of incoming/ that are complete now.
// Names that are not results uploads (the client's test files, signal.dat)
// and loose files at the top of incoming/ are left alone.
std::vector<std::string> completeIncomingFiles(IncomingWatch& watch, double now);

// Publishes signal.dat (the signal text) into the FTP root, where the
// client's script fetches it after its upload.
void publishFtpSignal();
