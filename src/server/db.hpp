// The project database (DIR/pelto.db): who sent which upload, and every
// accepted result once. SQLite in WAL mode, so the web pages read while an
// upload is written; each upload is one transaction.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

struct sqlite3;
struct sqlite3_stmt;

// Raised whenever the tables change shape; older databases are migrated.
inline constexpr int kSchemaVersion = 1;

struct DbCloser {
    void operator()(sqlite3* db) const;
};
struct StmtCloser {
    void operator()(sqlite3_stmt* stmt) const;
};
using DbHandle = std::unique_ptr<sqlite3, DbCloser>;
using Stmt = std::unique_ptr<sqlite3_stmt, StmtCloser>;

// One connection; writers and readers take the lock (SQLite connections are
// not to be shared between threads without it).
struct ProjectDb {
    DbHandle handle;
    std::mutex lock;
    std::string error;  // the last failure, for the log
};

// Opens or creates the database and brings the schema up to date.
bool dbOpen(ProjectDb& db, const std::string& path);
bool dbExec(ProjectDb& db, const char* sql);
// A prepared statement, or null (the error is in db.error).
Stmt dbPrepare(ProjectDb& db, const char* sql);
void dbBind(sqlite3_stmt* s, int index, const std::string& text);
void dbBind(sqlite3_stmt* s, int index, int64_t value);
void dbBind(sqlite3_stmt* s, int index, double value);
// SQLITE_ROW -> true; done or error -> false.
bool dbStep(sqlite3_stmt* s);
// Runs a statement that returns no rows; false on failure.
bool dbRun(sqlite3_stmt* s);
// Ready to run again with new bindings.
void dbResetStmt(sqlite3_stmt* s);
std::string dbText(sqlite3_stmt* s, int column);
int64_t dbInt(sqlite3_stmt* s, int column);
double dbDouble(sqlite3_stmt* s, int column);
// A query with one whole-number answer; -1 when it fails.
int64_t dbScalar(ProjectDb& db, const char* sql);

// Integrity and foreign-key checks plus our own invariants; the problems
// found, empty when the database is sound.
std::vector<std::string> dbCheck(ProjectDb& db);
// A consistent copy through SQLite's online backup, safe while uploads run.
bool dbBackup(ProjectDb& db, const std::string& target);
