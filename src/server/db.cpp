#include "server/db.hpp"

#include <sqlite3.h>

#include "common/text.hpp"

void DbCloser::operator()(sqlite3* db) const {
    sqlite3_close_v2(db);
}
void StmtCloser::operator()(sqlite3_stmt* stmt) const {
    sqlite3_finalize(stmt);
}

namespace {

// Version 1. Results are unique by their canonical genome and score line, so
// a result sent twice (or once as text and once as binary) is stored once.
const char* const kSchema = R"sql(
CREATE TABLE IF NOT EXISTS uploads (
    id INTEGER PRIMARY KEY,
    received INTEGER NOT NULL,
    channel TEXT NOT NULL,
    address TEXT NOT NULL,
    user TEXT NOT NULL,
    name TEXT NOT NULL,
    bytes INTEGER NOT NULL,
    records INTEGER NOT NULL,
    accepted INTEGER NOT NULL,
    duplicates INTEGER NOT NULL,
    bad_checksum INTEGER NOT NULL,
    unknown_lattice INTEGER NOT NULL,
    old_version INTEGER NOT NULL,
    malformed INTEGER NOT NULL
);
CREATE INDEX IF NOT EXISTS uploads_by_address ON uploads(address, received);
CREATE INDEX IF NOT EXISTS uploads_by_name ON uploads(channel, name);
CREATE TABLE IF NOT EXISTS results (
    id INTEGER PRIMARY KEY,
    upload INTEGER NOT NULL REFERENCES uploads(id),
    lattice TEXT NOT NULL,
    key TEXT NOT NULL UNIQUE,
    genome_line TEXT NOT NULL,
    score_line TEXT NOT NULL,
    score REAL NOT NULL,
    rechecked INTEGER NOT NULL,
    received INTEGER NOT NULL
);
CREATE INDEX IF NOT EXISTS results_best ON results(lattice, rechecked DESC, score DESC);
)sql";

}  // namespace

bool dbExec(ProjectDb& db, const char* sql) {
    char* message = nullptr;
    if (sqlite3_exec(db.handle.get(), sql, nullptr, nullptr, &message) == SQLITE_OK) return true;
    db.error = message ? message : "unknown error";
    sqlite3_free(message);
    return false;
}

Stmt dbPrepare(ProjectDb& db, const char* sql) {
    sqlite3_stmt* s = nullptr;
    if (sqlite3_prepare_v2(db.handle.get(), sql, -1, &s, nullptr) != SQLITE_OK) {
        db.error = sqlite3_errmsg(db.handle.get());
        sqlite3_finalize(s);
        return nullptr;
    }
    return Stmt(s);
}

void dbBind(sqlite3_stmt* s, int index, const std::string& text) {
    sqlite3_bind_text(s, index, text.data(), static_cast<int>(text.size()), SQLITE_TRANSIENT);
}
void dbBind(sqlite3_stmt* s, int index, int64_t value) {
    sqlite3_bind_int64(s, index, value);
}
void dbBind(sqlite3_stmt* s, int index, double value) {
    sqlite3_bind_double(s, index, value);
}
bool dbStep(sqlite3_stmt* s) {
    return sqlite3_step(s) == SQLITE_ROW;
}
bool dbRun(sqlite3_stmt* s) {
    return sqlite3_step(s) == SQLITE_DONE;
}
void dbResetStmt(sqlite3_stmt* s) {
    sqlite3_reset(s);
    sqlite3_clear_bindings(s);
}

std::string dbText(sqlite3_stmt* s, int column) {
    const unsigned char* text = sqlite3_column_text(s, column);
    if (!text) return "";
    return std::string(reinterpret_cast<const char*>(text),
                       static_cast<size_t>(sqlite3_column_bytes(s, column)));
}
int64_t dbInt(sqlite3_stmt* s, int column) {
    return sqlite3_column_int64(s, column);
}
double dbDouble(sqlite3_stmt* s, int column) {
    return sqlite3_column_double(s, column);
}

int64_t dbScalar(ProjectDb& db, const char* sql) {
    Stmt s = dbPrepare(db, sql);
    if (!s || !dbStep(s.get())) return -1;
    return dbInt(s.get(), 0);
}

bool dbOpen(ProjectDb& db, const std::string& path) {
    sqlite3* raw = nullptr;
    int rc =
        sqlite3_open_v2(path.c_str(), &raw, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
    db.handle.reset(raw);
    if (rc != SQLITE_OK) {
        db.error = raw ? sqlite3_errmsg(raw) : "out of memory";
        return false;
    }
    // Wait for a backup or a checker in another process rather than fail.
    sqlite3_busy_timeout(raw, 10000);
    if (!dbExec(db, "PRAGMA journal_mode=WAL; PRAGMA synchronous=NORMAL; PRAGMA foreign_keys=ON;"))
        return false;
    int64_t version = dbScalar(db, "PRAGMA user_version");
    if (version > kSchemaVersion) {
        db.error = format("database schema %lld is newer than this server's %d",
                          static_cast<long long>(version), kSchemaVersion);
        return false;
    }
    if (version < kSchemaVersion) {
        std::string sql = std::string("BEGIN;") + kSchema +
                          format("PRAGMA user_version=%d; COMMIT;", kSchemaVersion);
        if (!dbExec(db, sql.c_str())) {
            dbExec(db, "ROLLBACK");
            return false;
        }
    }
    return true;
}

std::vector<std::string> dbCheck(ProjectDb& db) {
    std::vector<std::string> problems;
    Stmt s = dbPrepare(db, "PRAGMA integrity_check");
    while (s && dbStep(s.get())) {
        std::string line = dbText(s.get(), 0);
        if (line != "ok") problems.push_back("integrity: " + line);
    }
    Stmt fk = dbPrepare(db, "PRAGMA foreign_key_check");
    while (fk && dbStep(fk.get())) problems.push_back("foreign key: table " + dbText(fk.get(), 0));
    if (dbScalar(db, "PRAGMA user_version") != kSchemaVersion)
        problems.push_back("schema version is not " + std::to_string(kSchemaVersion));
    // Every upload's count of accepted records must be the results it owns.
    int64_t mismatched = dbScalar(db,
                                  "SELECT COUNT(*) FROM uploads u WHERE accepted != "
                                  "(SELECT COUNT(*) FROM results r WHERE r.upload = u.id)");
    if (mismatched != 0)
        problems.push_back(format("%lld uploads whose accepted count differs from their results",
                                  static_cast<long long>(mismatched)));
    return problems;
}

bool dbBackup(ProjectDb& db, const std::string& target) {
    sqlite3* raw = nullptr;
    int rc =
        sqlite3_open_v2(target.c_str(), &raw, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
    DbHandle out(raw);
    if (rc != SQLITE_OK) {
        db.error = raw ? sqlite3_errmsg(raw) : "out of memory";
        return false;
    }
    sqlite3_backup* backup = sqlite3_backup_init(raw, "main", db.handle.get(), "main");
    if (!backup) {
        db.error = sqlite3_errmsg(raw);
        return false;
    }
    // Copied in steps so that uploads are only held up briefly; a step that
    // meets a change made meanwhile starts the copy again, so the result is
    // one consistent state.
    do {
        rc = sqlite3_backup_step(backup, 256);
        if (rc == SQLITE_BUSY || rc == SQLITE_LOCKED) sqlite3_sleep(20);
    } while (rc == SQLITE_OK || rc == SQLITE_BUSY || rc == SQLITE_LOCKED);
    sqlite3_backup_finish(backup);
    if (rc != SQLITE_DONE) {
        db.error = sqlite3_errmsg(raw);
        return false;
    }
    return true;
}
