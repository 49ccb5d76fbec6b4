// Writing text results files. Whole-file rewrites go through a temporary file
// and a rename, so a crash never leaves a half-written results file; appends
// are written through before returning.
#include <functional>
#include <optional>

#include "common/report.hpp"
#include "common/text.hpp"
#include "platform/clock.hpp"
#include "platform/files.hpp"
#include "results/score_line.hpp"
#include "results/text_results.hpp"

namespace {

// Another program (an editor, a virus scanner) may hold the file for a moment.
constexpr int kWriteAttempts = 21;
constexpr uint32_t kRetryMs = 100;

template <class Write>
bool withRetries(Write write) {
    for (int attempt = 0; attempt < kWriteAttempts; attempt++) {
        if (attempt > 0) sleepMs(kRetryMs);
        if (write()) return true;
    }
    return false;
}

size_t skipLine(const std::string& text, size_t at) {
    while (at < text.size() && text[at] != '\n' && text[at] != '\r' && text[at] != '\0') at++;
    if (at >= text.size()) return at;
    if (text[at] == '\r' && at + 1 < text.size() && text[at + 1] == '\n') return at + 2;
    return at + 1;
}

bool isLineEnd(char c) {
    return c == '\n' || c == '\r' || c == '\0';
}

// Where the line ending just before `end` starts (a CR LF pair is one end).
size_t lineEndStart(std::string_view text, size_t end) {
    if (end >= 2 && text[end - 1] == '\n' && text[end - 2] == '\r') return end - 2;
    return end - 1;
}

// Where the line that ends at `end` starts in `tail`, the last bytes of a
// file. A line starts at the tail's start only when the tail is the whole
// file; otherwise a line reaching back that far is not known whole.
std::optional<size_t> lineStartBefore(std::string_view tail, bool wholeFile, size_t end) {
    for (size_t i = end; i-- > 0;) {
        if (isLineEnd(tail[i])) return i + 1;
    }
    if (wholeFile) return size_t{0};
    return std::nullopt;
}

// Whether the last line [from, to) of `tail` completes a record: the line
// before it is a genome line and the line holds its checksum whole (a score
// line cut after the checksum has lost nothing the checksum covers).
bool isCompleteRecord(std::string_view tail, bool wholeFile, size_t from, size_t to) {
    if (from == 0) return false;
    size_t end = lineEndStart(tail, from);
    std::optional<size_t> genomeStart = lineStartBefore(tail, wholeFile, end);
    return genomeStart && isGenomeLine(tail.substr(*genomeStart, end - *genomeStart)) &&
           !readChecksum(tail.substr(from, to - from)).empty();
}

// Our text results files hold whole records only. An append cut short (the
// process killed between two pages of one write) leaves part of a record at
// the end, and the next record appended after it would be read as its
// continuation and lost as well. So before appending, a partial last line and
// a genome line left without its score line (a score line never looks like a
// genome line) are cut off, as are zeros where a write never reached the
// disk. Returns a line end to write before the new records where the file
// holds a whole last record without one.
std::string cutTornRecord(const std::string& path) {
    constexpr int64_t kTailBytes = 1 << 16;
    std::string tail;
    int64_t start = 0;
    if (!readFileTail(path, kTailBytes, tail, start) || tail.empty()) return {};
    const std::string_view text(tail);
    const bool wholeFile = start == 0;
    size_t keep = text.size();
    while (keep > 0 && text[keep - 1] == '\0') keep--;
    std::string lineEnd;
    if (keep > 0 && !isLineEnd(text[keep - 1])) {
        std::optional<size_t> partial = lineStartBefore(text, wholeFile, keep);
        if (!partial) return {};
        if (isCompleteRecord(text, wholeFile, *partial, keep)) {
            lineEnd = "\r\n";  // a whole record someone wrote without a final line end
        } else {
            keep = *partial;
        }
    }
    if (keep > 0 && lineEnd.empty()) {
        size_t end = lineEndStart(text, keep);
        std::optional<size_t> last = lineStartBefore(text, wholeFile, end);
        if (last && isGenomeLine(text.substr(*last, end - *last))) keep = *last;
    }
    if (keep < text.size()) {
        reportf("Removing an incomplete record from the end of '%s'", path.c_str());
        truncateFile(path, start + static_cast<int64_t>(keep));
    }
    return lineEnd;
}

bool appendRecords(const std::string& path, const std::string& text) {
    // The text may be large (pruning appends half a results file): it is
    // copied only in the rare case that a line end must go before it.
    std::string lineEnd = cutTornRecord(path);
    return lineEnd.empty() ? appendToFile(path, text) : appendToFile(path, lineEnd + text);
}

}  // namespace

std::string recordText(const ResultRecord& record) {
    std::string text;
    text.reserve(record.genomeLine.size() + record.scoreLine.size() + 4);
    text += record.genomeLine;
    text += "\r\n";
    text += record.scoreLine;
    text += "\r\n";
    return text;
}

bool saveResults(const ResultsList& results, uint32_t count, const std::string& path, bool append) {
    // A FIFO or a device in the file's place will not become a file by
    // waiting: refused at once, with the file layer's notice.
    if (refuseIrregularFile(path)) return false;
    if (count > results.count()) count = results.count();
    report("Text saving results...");
    size_t bytes = 0;
    for (uint32_t i = 0; i < count; i++) {
        bytes += results[i].genomeLine.size() + results[i].scoreLine.size() + 4;
    }
    std::string text;
    text.reserve(bytes);
    for (uint32_t i = 0; i < count; i++) {
        if (i % 100 == 0) reportProgress(format("Text saving results... %u", i));
        text += results[i].genomeLine;
        text += "\r\n";
        text += results[i].scoreLine;
        text += "\r\n";
    }
    bool written = withRetries(
        [&] { return append ? appendRecords(path, text) : writeFileAtomic(path, text); });
    if (!written) {
        reportf("[WARNING] Could not open '%s' to save results", path.c_str());
        return false;
    }
    reportProgress(format("Text saved %u results", count));
    return true;
}

bool saveResultViews(const std::vector<RecordView>& records, const std::string& path, bool append) {
    if (refuseIrregularFile(path)) return false;
    report("Text saving results...");
    auto write = [&](const std::function<void(std::string_view)>& put) {
        for (size_t i = 0; i < records.size(); i++) {
            if (i % 100 == 0) reportProgress(format("Text saving results... %zu", i));
            put(records[i].genomeLine);
            put("\r\n");
            put(records[i].scoreLine);
            put("\r\n");
        }
    };
    bool written = withRetries([&] {
        if (append) {
            size_t bytes = 0;
            for (const RecordView& r : records)
                bytes += r.genomeLine.size() + r.scoreLine.size() + 4;
            std::string text;
            text.reserve(bytes);
            write([&](std::string_view piece) { text += piece; });
            return appendRecords(path, text);
        }
        AtomicFileWriter writer(path);
        if (!writer.isOpen()) return false;
        write([&](std::string_view piece) { writer.append(piece); });
        return writer.commit();
    });
    if (!written) {
        reportf("[WARNING] Could not open '%s' to save results", path.c_str());
        return false;
    }
    reportProgress(format("Text saved %zu results", records.size()));
    return true;
}

bool saveResultsAppend(const ResultsList& results, const std::string& path) {
    return saveResults(results, results.count(), path, true);
}

bool appendResult(const ResultRecord& record, const std::string& path) {
    if (refuseIrregularFile(path)) return false;
    std::string text = recordText(record);
    if (withRetries([&] { return appendRecords(path, text); })) return true;
    reportf("[WARNING] Could not open '%s' to save result", path.c_str());
    return false;
}

bool prependResult(const ResultRecord& record, const std::string& path) {
    if (refuseIrregularFile(path)) return false;
    std::string old;
    ReadStatus status = readWholeFile(path, old);
    // Never replace a file whose old content could not be read: it would be lost.
    if (status != ReadStatus::Ok && status != ReadStatus::Missing) {
        reportf("[WARNING] Could not open '%s' to save result", path.c_str());
        return false;
    }
    std::string text = recordText(record) + old;
    if (withRetries([&] { return writeFileAtomic(path, text); })) return true;
    reportf("[WARNING] Could not open '%s' to save result", path.c_str());
    return false;
}

namespace {

enum class QueueRead { Ok, Missing, Unreadable };

// The file's text after its first two lines. A queue that is there but cannot
// be read now is left as it is by every caller: its record is taken again next
// time, which is better than losing the rest.
QueueRead textAfterFirstRecord(const std::string& path, std::string& rest) {
    if (!fileExists(path)) return QueueRead::Missing;
    std::string text;
    if (!withRetries([&] { return readWholeFile(path, text) == ReadStatus::Ok; })) {
        return QueueRead::Unreadable;
    }
    rest = text.substr(skipLine(text, skipLine(text, 0)));
    return QueueRead::Ok;
}

bool replaceWith(const std::string& path, const std::string& text) {
    if (text.empty()) return removeFile(path) || !fileExists(path);
    if (withRetries([&] { return writeFileAtomic(path, text); })) return true;
    reportf("[WARNING] Could not open '%s' to save results", path.c_str());
    return false;
}

}  // namespace

void dropFirstResult(const std::string& path) {
    std::string rest;
    switch (textAfterFirstRecord(path, rest)) {
        case QueueRead::Missing:
            report("[FATAL] Failed to delete result out of non-existant queue.");
            return;
        case QueueRead::Unreadable:
            reportf("[WARNING] Could not open '%s' to save results", path.c_str());
            return;
        case QueueRead::Ok:
            replaceWith(path, rest);
            return;
    }
}

bool dropFirstResultIfPresent(const std::string& path) {
    std::string rest;
    QueueRead read = textAfterFirstRecord(path, rest);
    if (read != QueueRead::Ok) return read == QueueRead::Missing;
    return replaceWith(path, rest);
}

bool replaceFirstResult(const ResultRecord& record, const std::string& path) {
    std::string rest;
    if (textAfterFirstRecord(path, rest) == QueueRead::Unreadable) {
        reportf("[WARNING] Could not open '%s' to save result", path.c_str());
        return false;
    }
    return replaceWith(path, recordText(record) + rest);
}
