// Text results files ("results.dat", "results.txt", the queue, sample files):
// two-line records, genome line then score line, written with CR LF. Readers
// accept LF, CR, CR LF or a zero byte as a line end.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "results/record.hpp"
#include "store/stdio_file.hpp"

// The oldest result version accepted; a float, as versions are read.
inline constexpr float kMinVersion = 4.3f;

// Lines longer than this are never part of a record (a genome of a thousand
// parameters takes a few tens of kilobytes).
inline constexpr size_t kMaxLineBytes = size_t{1} << 20;

// Reads lines from a results file through a large buffer.
struct RecordReader {
    StdioFile file;
    std::vector<char> buffer;
    size_t begin = 0;          // next unread byte in buffer
    size_t end = 0;            // bytes in buffer
    int64_t bufferOffset = 0;  // file position of buffer[0]
    int64_t linesRead = 0;
};

bool recordReaderOpen(RecordReader& reader, const std::string& path);
// A reader over text already in memory.
void recordReaderFromText(RecordReader& reader, std::string text);
// File position just after the last line read.
int64_t recordReaderPosition(const RecordReader& reader);
// The next line without its line end and without trailing blanks and control
// characters. `overlong` is set for a line past kMaxLineBytes (its text is
// then cut). Returns false at the end of the file.
bool readResultLine(RecordReader& reader, std::string& line, bool& overlong);

// Names of letters, digits and "#", "=", decimal digits, ";" repeated; an
// empty line counts too.
bool isGenomeLine(std::string_view line);
bool isTestScoreLine(std::string_view scoreLine);

enum AcceptResult { RecordRejected = 0, RecordAccepted = 1, RecordUnchecked = 2 };

// Lattice filter, minimum version, then the checksum (only for lattices
// present in the lattice folder; others give RecordUnchecked when
// acceptUnknownLattice is set). Rejections other than the filter warn.
AcceptResult acceptRecord(const std::string& genomeLine, const std::string& scoreLine,
                          const std::optional<std::string>& latticeFilter,
                          const ChecksumFunction& checksum, bool acceptUnknownLattice);

// The next accepted record, or nullopt at the end of the file. A genome line
// whose score line is rejected is dropped with it.
std::optional<ResultRecord> readRecord(RecordReader& reader,
                                       const std::optional<std::string>& latticeFilter,
                                       const ChecksumFunction& checksum, bool acceptUnknownLattice);
// The raw pairs the record state machine finds, before any acceptance test.
// Used by the results checker.
bool readRecordPair(RecordReader& reader, std::string& genomeLine, std::string& scoreLine);

// A record found in text held in memory: views into that text, valid while
// it lives. Big files are pruned this way, one copy of the file in memory.
struct RecordView {
    std::string_view genomeLine;
    std::string_view scoreLine;
};
// The next pair of `text` from `pos` on, by the same line rules as
// readRecordPair; `pos` moves past it. False at the end of the text.
bool nextRecordView(std::string_view text, size_t& pos, RecordView& record);
// Writes the records as saveResults does, with its messages, without building
// the whole text first: a rewrite streams into the temporary file.
bool saveResultViews(const std::vector<RecordView>& records, const std::string& path, bool append);

ResultsList loadResults(const std::string& path, const std::optional<std::string>& latticeFilter);
int32_t countResults(const std::string& path, const std::optional<std::string>& latticeFilter);

// Writes the first `count` records, replacing the file or appending to it.
// Both retry for about two seconds when the file cannot be written.
bool saveResults(const ResultsList& results, uint32_t count, const std::string& path, bool append);
bool saveResultsAppend(const ResultsList& results, const std::string& path);
bool appendResult(const ResultRecord& record, const std::string& path);
// The record at the head of the file; the old content follows unchanged.
bool prependResult(const ResultRecord& record, const std::string& path);
// Removes the first two lines; deletes the file when nothing is left. A
// missing file is fatal (the queue must exist when a record is taken from it).
void dropFirstResult(const std::string& path);
// The same without the fatal end: true when the record is gone (a missing file
// has none to remove), false when the file could not be read or rewritten.
bool dropFirstResultIfPresent(const std::string& path);
// The first record replaced by `record` in one rewrite, so that a crash leaves
// either the old queue or the new one; a missing file counts as empty.
bool replaceFirstResult(const ResultRecord& record, const std::string& path);

// "%s\r\n%s\r\n".
std::string recordText(const ResultRecord& record);
