// File-system services: existence and times, folder listings, case-insensitive
// name look-up and whole-file replacement. Paths are relative to the program
// folder unless they say otherwise.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

enum class ReadStatus { Ok, Missing, Failed, TooLarge };

bool fileExists(const std::string& path);
bool isDirectory(const std::string& path);
// A plain file: not a folder, FIFO, device or socket.
bool isRegularFile(const std::string& path);
// Whether both names lead to one existing file (links included).
bool isSameFile(const std::string& a, const std::string& b);
// Every file the program reads or appends must be a plain file: opening a
// FIFO would wait for a writer for ever, and a device or a folder is no
// results file. The file layer refuses anything else and tells the notice,
// once per path, so that the user learns why a file is ignored.
using IrregularFileNotice = std::function<void(const std::string& path)>;
void setIrregularFileNotice(IrregularFileNotice notice);
// True when `path` exists and is not a plain file (the notice is told).
bool refuseIrregularFile(const std::string& path);

// Seconds since the epoch of the last write, or -1 when the file is missing.
int64_t fileModTime(const std::string& path);
// The same in nanoseconds, for watching a file that may change twice a second.
int64_t fileModTimeNs(const std::string& path);
// Size in bytes, or -1 when the file is missing.
int64_t fileSize(const std::string& path);
bool removeFile(const std::string& path);
bool renameFile(const std::string& from, const std::string& to);
bool makeDirectory(const std::string& path);
// Removes an empty folder.
bool removeDirectory(const std::string& path);

// Plain names (no folder) of the entries of a folder, sorted by name.
// With filesOnly, folders are left out.
std::vector<std::string> listFolder(const std::string& folder, bool filesOnly);

// Returns the path of an existing file that matches `path`, looking each part
// up case-insensitively when the exact spelling is not there (lattices and data
// files were written on a case-insensitive file system). Returns `path`
// unchanged when nothing matches.
std::string findFileNoCase(const std::string& path);

// Reads a whole file into `out`. Files bigger than maxBytes are refused with
// TooLarge and `out` left empty; anything but a plain file (a FIFO, a device)
// gives Failed.
ReadStatus readWholeFile(const std::string& path, std::string& out,
                         int64_t maxBytes = int64_t(1) << 31);

// Replaces `path` with `contents` through a temporary file in the same folder
// ("<path>.tmp", flushed to disk) and a rename, so that a crash never leaves a
// half-written file behind. The file keeps its permissions. On failure the old
// file is untouched. Every whole-file rewrite of the program goes through here.
bool writeFileAtomic(const std::string& path, const std::string& contents);

// The same, for a file too big to build in memory first: pieces are written
// as they come (through a buffer) into the temporary file, which replaces
// `path` only at commit. A writer dropped without commit leaves the old file.
class AtomicFileWriter {
  public:
    explicit AtomicFileWriter(const std::string& path);
    ~AtomicFileWriter();
    AtomicFileWriter(const AtomicFileWriter&) = delete;
    AtomicFileWriter& operator=(const AtomicFileWriter&) = delete;
    bool isOpen() const { return fd_ >= 0; }
    void append(std::string_view data);
    bool commit();

  private:
    bool flush();
    std::string path_, temp_, buffer_;
    int fd_ = -1;
    bool ok_ = true;
};

// Appends to a file, creating it; flushed to disk before returning. A failed
// append is taken back, so the file keeps its old content. Anything but a
// plain file is refused.
bool appendToFile(const std::string& path, const std::string& contents);

// The last `maxBytes` bytes of a plain file (all of it when smaller) and the
// offset they start at.
bool readFileTail(const std::string& path, int64_t maxBytes, std::string& tail, int64_t& start);
// Cuts a file to its first `size` bytes, flushed to disk.
bool truncateFile(const std::string& path, int64_t size);

// Names that come from outside (servers, lattices, users) must stay inside the
// program folder: no absolute paths, no "..", no empty parts, no control bytes.
bool isSafeRelativePath(const std::string& path);
// A plain file name: a safe relative path without folder separators.
bool isSafeFileName(const std::string& name);
