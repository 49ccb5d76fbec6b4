// Finding records in a text results file: line splitting, the genome-line
// test, the acceptance tests and the two-state reader.
#include <cstdlib>
#include <cstring>

#include "common/report.hpp"
#include "common/text.hpp"
#include "platform/files.hpp"
#include "results/text_results.hpp"
#include "store/latticedir.hpp"

namespace {

constexpr size_t kReadBufferBytes = size_t{1} << 20;

bool refill(RecordReader& reader) {
    if (!reader.file) return false;
    reader.bufferOffset += static_cast<int64_t>(reader.end);
    reader.begin = reader.end = 0;
    if (reader.buffer.size() < kReadBufferBytes) reader.buffer.resize(kReadBufferBytes);
    reader.end = std::fread(reader.buffer.data(), 1, reader.buffer.size(), reader.file.get());
    return reader.end > 0;
}

// The first line end (LF, CR or a zero byte) in [p, stop), or stop. Three
// memchr scans beat one byte loop by far on long lines.
const char* findLineEnd(const char* p, const char* stop) {
    const char* end = stop;
    for (int c : {'\n', '\r', '\0'}) {
        const void* hit = std::memchr(p, c, static_cast<size_t>(end - p));
        if (hit) end = static_cast<const char*>(hit);
    }
    return end;
}

void stripTrailing(std::string& line) {
    size_t n = line.size();
    while (n > 0 && static_cast<unsigned char>(line[n - 1]) <= 32) n--;
    line.resize(n);
}

enum CharClass : uint8_t { OtherChar, NameChar, DigitChar };

struct CharClasses {
    CharClass of[256];
    constexpr CharClasses() : of() {
        for (int c = 0; c < 256; c++) {
            bool letter = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
            of[c] = (c >= '0' && c <= '9') ? DigitChar
                    : (letter || c == '#') ? NameChar
                                           : OtherChar;
        }
    }
};
constexpr CharClasses kClasses;

CharClass classOf(char c) {
    return kClasses.of[static_cast<unsigned char>(c)];
}

}  // namespace

bool recordReaderOpen(RecordReader& reader, const std::string& path) {
    reader = RecordReader{};
    // Opening a FIFO would wait for a writer for ever.
    if (refuseIrregularFile(path) || !isRegularFile(path)) return false;
    reader.file.reset(std::fopen(path.c_str(), "rb"));
    return reader.file != nullptr;
}

void recordReaderFromText(RecordReader& reader, std::string text) {
    reader = RecordReader{};
    reader.end = text.size();
    reader.buffer.assign(text.begin(), text.end());
}

int64_t recordReaderPosition(const RecordReader& reader) {
    return reader.bufferOffset + static_cast<int64_t>(reader.begin);
}

bool readResultLine(RecordReader& reader, std::string& line, bool& overlong) {
    line.clear();
    overlong = false;
    bool any = false;
    for (;;) {
        if (reader.begin == reader.end && !refill(reader)) {
            if (any) {
                stripTrailing(line);
                reader.linesRead++;
            }
            return any;
        }
        any = true;
        const char* start = reader.buffer.data() + reader.begin;
        const char* stop = reader.buffer.data() + reader.end;
        const char* p = findLineEnd(start, stop);
        size_t room = kMaxLineBytes - line.size();
        size_t take = static_cast<size_t>(p - start);
        if (take > room) {
            take = room;
            overlong = true;
        }
        line.append(start, take);
        reader.begin = static_cast<size_t>(p - reader.buffer.data());
        if (p == stop) continue;
        char ending = *p;
        reader.begin++;
        // CR LF is one line end, even when the LF is in the next block.
        if (ending == '\r' && (reader.begin < reader.end || refill(reader)) &&
            reader.buffer[reader.begin] == '\n') {
            reader.begin++;
        }
        stripTrailing(line);
        reader.linesRead++;
        return true;
    }
}

bool isGenomeLine(std::string_view line) {
    size_t i = 0;
    size_t n = line.size();
    while (i < n) {
        size_t name = i;
        while (i < n && classOf(line[i]) != OtherChar) i++;  // names may hold digits
        if (i == name || i >= n || line[i] != '=') return false;
        size_t digits = ++i;
        while (i < n && classOf(line[i]) == DigitChar) i++;
        if (i == digits || i >= n || line[i] != ';') return false;
        i++;
    }
    return true;
}

bool isTestScoreLine(std::string_view scoreLine) {
    return startsWithNoCase(scoreLine, "TEST");
}

AcceptResult acceptRecord(const std::string& genomeLine, const std::string& scoreLine,
                          const std::optional<std::string>& latticeFilter,
                          const ChecksumFunction& checksum, bool acceptUnknownLattice) {
    if (latticeFilter && !latticeMatches(scoreLine, latticeFilter)) return RecordRejected;
    float version = readVersion(scoreLine);
    if (kMinVersion > version) {
        reportf("[WARNING] Result version (%f)<MINVER(%f)", static_cast<double>(version),
                static_cast<double>(kMinVersion));
        return RecordRejected;
    }
    if (!checksum) return RecordAccepted;
    Digest computed = checksum(genomeLine, scoreLine);
    Digest stored = readChecksum(scoreLine);
    AcceptResult result;
    if (latticepresent(readLattice(scoreLine))) {
        result = stored == computed ? RecordAccepted : RecordRejected;
    } else {
        result = acceptUnknownLattice ? RecordUnchecked : RecordRejected;
    }
    if (result == RecordRejected) {
        reportf("[WARNING] Record rejected due to bad checksum: was {%s}",
                stored.empty() ? "(null)" : checksumToHex(stored).c_str());
    }
    return result;
}

bool readRecordPair(RecordReader& reader, std::string& genomeLine, std::string& scoreLine) {
    bool haveGenome = false;
    std::string line;
    bool overlong = false;
    while (readResultLine(reader, line, overlong)) {
        if (overlong) {
            haveGenome = false;
        } else if (!haveGenome) {
            if (isGenomeLine(line)) {
                genomeLine.swap(line);
                haveGenome = true;
            }
        } else {
            scoreLine.swap(line);
            return true;
        }
    }
    return false;
}

std::optional<ResultRecord> readRecord(RecordReader& reader,
                                       const std::optional<std::string>& latticeFilter,
                                       const ChecksumFunction& checksum,
                                       bool acceptUnknownLattice) {
    ResultRecord record;
    while (readRecordPair(reader, record.genomeLine, record.scoreLine)) {
        if (isTestScoreLine(record.scoreLine) ||
            acceptRecord(record.genomeLine, record.scoreLine, latticeFilter, checksum,
                         acceptUnknownLattice) != RecordRejected) {
            record.score = std::strtod(record.scoreLine.c_str(), nullptr);
            return record;
        }
    }
    return std::nullopt;
}

namespace {

// The line at `pos` as a view, stripped as readResultLine strips it.
bool nextLineView(std::string_view text, size_t& pos, std::string_view& line, bool& overlong) {
    if (pos >= text.size()) return false;
    const char* start = text.data() + pos;
    const char* stop = text.data() + text.size();
    const char* p = findLineEnd(start, stop);
    size_t length = static_cast<size_t>(p - start);
    overlong = length > kMaxLineBytes;
    pos += length;
    if (p != stop) {
        pos++;
        if (*p == '\r' && pos < text.size() && text[pos] == '\n') pos++;
    }
    while (length > 0 && static_cast<unsigned char>(start[length - 1]) <= 32) length--;
    line = std::string_view(start, length);
    return true;
}

}  // namespace

bool nextRecordView(std::string_view text, size_t& pos, RecordView& record) {
    bool haveGenome = false;
    std::string_view line;
    bool overlong = false;
    while (nextLineView(text, pos, line, overlong)) {
        if (overlong) {
            haveGenome = false;
        } else if (!haveGenome) {
            if (isGenomeLine(line)) {
                record.genomeLine = line;
                haveGenome = true;
            }
        } else {
            record.scoreLine = line;
            return true;
        }
    }
    return false;
}

ResultsList loadResults(const std::string& path, const std::optional<std::string>& latticeFilter) {
    ResultsList results;
    listInit(results);
    reportf("Loading '%s'...", path.c_str());
    RecordReader reader;
    if (!recordReaderOpen(reader, path)) {
        reportProgress(format("Loading '%s'... File empty", path.c_str()));
        return results;
    }
    std::fseek(reader.file.get(), 0, SEEK_END);
    double size = static_cast<double>(std::ftell(reader.file.get()));
    std::rewind(reader.file.get());
    while (std::optional<ResultRecord> record = readRecord(reader, latticeFilter, nullptr, true)) {
        listAppend(results, std::move(*record));
        if (results.count() % 100 == 0) {
            double done =
                size > 0 ? 100.0 * static_cast<double>(recordReaderPosition(reader)) / size : 100.0;
            reportProgress(format("Loading '%s'... %d (%.1lf%%)", path.c_str(),
                                  static_cast<int>(results.count()), done));
        }
    }
    reportProgress(
        format("Loading '%s'... OK (%d results)", path.c_str(), static_cast<int>(results.count())));
    return results;
}

int32_t countResults(const std::string& path, const std::optional<std::string>& latticeFilter) {
    RecordReader reader;
    if (!recordReaderOpen(reader, path)) return 0;
    int32_t count = 0;
    while (readRecord(reader, latticeFilter, nullptr, true)) count++;
    return count;
}
