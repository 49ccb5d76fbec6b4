// Writing text results files. Whole-file rewrites go through a temporary file
// and a rename, so a crash never leaves a half-written results file; appends
// are written through before returning.
#include "app/common/report.hpp"
#include "app/common/text.hpp"
#include "platform/clock.hpp"
#include "platform/files.hpp"
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
        [&] { return append ? appendToFile(path, text) : writeFileAtomic(path, text); });
    if (!written) {
        reportf("[WARNING] Could not open '%s' to save results", path.c_str());
        return false;
    }
    reportProgress(format("Text saved %u results", count));
    return true;
}

bool saveResultsAppend(const ResultsList& results, const std::string& path) {
    return saveResults(results, results.count(), path, true);
}

bool appendResult(const ResultRecord& record, const std::string& path) {
    std::string text = recordText(record);
    if (withRetries([&] { return appendToFile(path, text); })) return true;
    reportf("[WARNING] Could not open '%s' to save result", path.c_str());
    return false;
}

bool prependResult(const ResultRecord& record, const std::string& path) {
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
