#include "server/ingest.hpp"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <mutex>
#include <set>

#include "common/text.hpp"
#include "platform/files.hpp"
#include "results/binary_results.hpp"
#include "results/quarantine.hpp"
#include "results/record_check.hpp"
#include "results/score_line.hpp"
#include "results/text_results.hpp"
#include "server/project.hpp"

namespace {

struct RawRecord {
    std::string genomeLine;
    std::string scoreLine;
};

std::string trimTrailing(std::string line) {
    while (!line.empty() && static_cast<unsigned char>(line.back()) <= ' ') line.pop_back();
    return line;
}

bool hasBinaryMagic(const std::string& path) {
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) return false;
    char magic[4] = {};
    size_t got = std::fread(magic, 1, 4, f);
    std::fclose(f);
    return got == 4 && std::string_view(magic, 4) == "PB01";
}

// The record pairs of the file, and how many lines belonged to none.
std::vector<RawRecord> readPairs(const std::string& path, int64_t& strayLines, bool& bad) {
    std::vector<RawRecord> pairs;
    strayLines = 0;
    bad = false;
    if (hasBinaryMagic(path)) {
        BinaryLoadStatus status = BinaryLoadStatus::Ok;
        ResultsList list = loadBinaryResults(path, kProgramFormat, &status);
        if (status != BinaryLoadStatus::Ok) bad = true;
        // Stored as the text reader gives them: rebuilt score lines end with
        // the blank the writer adds, which the text reader strips.
        for (size_t i = 0; i < list.count(); i++)
            pairs.push_back({trimTrailing(list[i].genomeLine), trimTrailing(list[i].scoreLine)});
        return pairs;
    }
    RecordReader reader;
    if (!recordReaderOpen(reader, path)) {
        bad = true;
        return pairs;
    }
    RawRecord r;
    while (readRecordPair(reader, r.genomeLine, r.scoreLine)) pairs.push_back(r);
    strayLines = reader.linesRead - 2 * static_cast<int64_t>(pairs.size());
    if (strayLines < 0) strayLines = 0;
    return pairs;
}

// The checksum ends the part of a score line it covers; text after it would
// make one result look like many.
std::string withoutTrailingText(const std::string& scoreLine) {
    size_t open = scoreLine.find('{');
    size_t close = open == std::string::npos ? open : scoreLine.find('}', open);
    return close == std::string::npos ? scoreLine : scoreLine.substr(0, close + 1);
}

// What makes two records the same result, as the client's duplicate test
// sees it: the genome (entries in name order, so the text and the binary form
// agree), the number formats, the score and work figure to their printed
// precision and the lattice. The score line's wording beyond that (which the
// checksum does not cover) does not make a result new.
std::string canonicalKey(const RawRecord& r, const std::string& lattice) {
    Genome g = genomeFromText(r.genomeLine, true);
    genomeSortByName(g);
    ResultFormat f = readFormat(r.genomeLine, r.scoreLine);
    int sd = std::clamp(f.scoreDecimals, 0, 30);
    int ed = std::clamp(f.extraDecimals, 0, 30);
    return format("%s\n%d %d %d %s\n%.*f %.*f\n%s", genomeToText(g).c_str(), f.genomeDigits, sd, ed,
                  f.extraUnit.c_str(), sd, leadingDouble(r.scoreLine), ed, readExtra(r.scoreLine),
                  lowerCopy(lattice).c_str());
}

struct Transaction {
    ProjectDb& db;
    bool open = false;
    explicit Transaction(ProjectDb& d) : db(d) { open = dbExec(db, "BEGIN IMMEDIATE"); }
    ~Transaction() {
        if (open) dbExec(db, "ROLLBACK");
    }
    bool commit() {
        if (!open) return false;
        open = false;
        return dbExec(db, "COMMIT");
    }
};

int64_t recentUploads(ProjectDb& db, const std::string& address, int64_t now) {
    Stmt s = dbPrepare(db, "SELECT COUNT(*) FROM uploads WHERE address = ? AND received > ?");
    if (!s) return 0;
    dbBind(s.get(), 1, address);
    dbBind(s.get(), 2, now - 3600);
    return dbStep(s.get()) ? dbInt(s.get(), 0) : 0;
}

bool storeRecords(ProjectDb& db, const UploadSource& source, int64_t bytes, int64_t now,
                  const std::vector<std::pair<RawRecord, std::string>>& good,
                  IngestReport& report) {
    Transaction tx(db);
    if (!tx.open) return false;
    Stmt up = dbPrepare(db,
                        "INSERT INTO uploads (received, channel, address, user, name, bytes, "
                        "records, accepted, duplicates, bad_checksum, unknown_lattice, "
                        "old_version, malformed) VALUES (?,?,?,?,?,?,?,0,0,?,?,?,?)");
    if (!up) return false;
    dbBind(up.get(), 1, now);
    dbBind(up.get(), 2, source.channel);
    dbBind(up.get(), 3, source.address);
    dbBind(up.get(), 4, uploaderOf(source.name));
    dbBind(up.get(), 5, source.name);
    dbBind(up.get(), 6, bytes);
    dbBind(up.get(), 7, report.records);
    dbBind(up.get(), 8, report.badChecksum);
    dbBind(up.get(), 9, report.unknownLattice);
    dbBind(up.get(), 10, report.oldVersion);
    dbBind(up.get(), 11, report.malformed);
    if (!dbRun(up.get())) return false;
    report.uploadId = dbScalar(db, "SELECT last_insert_rowid()");
    Stmt ins = dbPrepare(db,
                         "INSERT OR IGNORE INTO results (upload, lattice, key, genome_line, "
                         "score_line, score, rechecked, received) VALUES (?,?,?,?,?,?,?,?)");
    Stmt changes = dbPrepare(db, "SELECT changes()");
    if (!ins || !changes) return false;
    std::set<std::string> changed;
    for (const auto& [record, lattice] : good) {
        Genome g = genomeFromText(record.genomeLine, true);
        bool rechecked = genomeGet(g, "#runs") >= kMinRequiredRuns;
        sqlite3_stmt* s = ins.get();
        dbBind(s, 1, report.uploadId);
        dbBind(s, 2, lattice);
        dbBind(s, 3, canonicalKey(record, lattice));
        dbBind(s, 4, record.genomeLine);
        dbBind(s, 5, record.scoreLine);
        dbBind(s, 6, leadingDouble(record.scoreLine));
        dbBind(s, 7, int64_t{rechecked ? 1 : 0});
        dbBind(s, 8, now);
        if (!dbRun(s)) return false;
        dbResetStmt(s);
        dbStep(changes.get());
        bool added = dbInt(changes.get(), 0) > 0;
        dbResetStmt(changes.get());
        if (added) {
            report.accepted++;
            changed.insert(lattice);
        } else {
            report.duplicates++;
        }
    }
    Stmt fix = dbPrepare(db, "UPDATE uploads SET accepted = ?, duplicates = ? WHERE id = ?");
    if (!fix) return false;
    dbBind(fix.get(), 1, report.accepted);
    dbBind(fix.get(), 2, report.duplicates);
    dbBind(fix.get(), 3, report.uploadId);
    if (!dbRun(fix.get())) return false;
    if (!tx.commit()) return false;
    report.changedLattices.assign(changed.begin(), changed.end());
    return true;
}

}  // namespace

IngestReport ingestFile(ProjectDb& db, const std::string& path, const UploadSource& source,
                        const IngestLimits& limits, int64_t now) {
    IngestReport report;
    int64_t bytes = fileSize(path);
    if (bytes < 0) {
        report.refusal = "no such file";
        return report;
    }
    if (bytes > limits.maxBytes) {
        report.refusal =
            format("upload of %lld bytes is over the limit of %lld", static_cast<long long>(bytes),
                   static_cast<long long>(limits.maxBytes));
        return report;
    }
    if (!isAcceptableUploadName(source.name)) {
        report.refusal = "unacceptable upload name";
        return report;
    }
    // The checksum code keeps process-wide caches, and SQLite wants one
    // writer: ingests take turns.
    std::lock_guard<std::mutex> guard(db.lock);
    if (limits.uploadsPerHour > 0 && source.channel == "http" &&
        recentUploads(db, source.address, now) >= limits.uploadsPerHour) {
        report.refusal = "too many uploads from this address in the last hour";
        return report;
    }
    refreshLatticeDigests();
    int64_t stray = 0;
    bool bad = false;
    std::vector<RawRecord> pairs = readPairs(path, stray, bad);
    report.records = static_cast<int64_t>(pairs.size());
    report.malformed = stray + (bad ? 1 : 0);
    if (report.records > limits.maxRecords) {
        report.refusal =
            format("%lld records is over the limit of %lld", static_cast<long long>(report.records),
                   static_cast<long long>(limits.maxRecords));
        return report;
    }
    std::vector<std::pair<RawRecord, std::string>> good;
    for (RawRecord& r : pairs) {
        RecordCheck check = checkRecord(r.genomeLine, r.scoreLine);
        double score = leadingDouble(r.scoreLine);
        std::optional<std::string> lattice =
            check.lattice ? servedLattice(*check.lattice) : std::nullopt;
        switch (check.verdict) {
            case CheckVerdict::Accepted:
                if (!lattice || !std::isfinite(score)) {
                    report.malformed++;
                } else {
                    r.scoreLine = withoutTrailingText(r.scoreLine);
                    good.emplace_back(std::move(r), *lattice);
                }
                break;
            case CheckVerdict::TestRecord:
                report.malformed++;
                break;
            case CheckVerdict::OldVersion:
                report.oldVersion++;
                break;
            case CheckVerdict::BadChecksum:
                report.badChecksum++;
                break;
            case CheckVerdict::LatticeMissing:
                if (check.lattice) {
                    report.unknownLattice++;
                } else {
                    report.malformed++;
                }
                break;
        }
    }
    if (!storeRecords(db, source, bytes, now, good, report)) {
        report.refusal = "database: " + db.error;
        report.accepted = report.duplicates = 0;
        report.changedLattices.clear();
    }
    return report;
}

std::string describeIngest(const IngestReport& r) {
    if (!r.refusal.empty()) return "refused: " + r.refusal;
    return format(
        "upload %lld: %lld records, %lld accepted, %lld duplicates, %lld bad checksum, "
        "%lld unknown lattice, %lld old version, %lld malformed",
        static_cast<long long>(r.uploadId), static_cast<long long>(r.records),
        static_cast<long long>(r.accepted), static_cast<long long>(r.duplicates),
        static_cast<long long>(r.badChecksum), static_cast<long long>(r.unknownLattice),
        static_cast<long long>(r.oldVersion), static_cast<long long>(r.malformed));
}
