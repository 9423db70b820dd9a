// The database layer's connection and cursor over the SQLite library.
#include "store/sqlite_database.h"

#include <sqlite3.h>

#include <cstdlib>
#include <cstring>

namespace verdal {
namespace {

// Decimal text to integer as the scalar query reads it: leading blanks, an optional sign, then
// digits up to the first other character; no digits gives 0.
int TextToInt(const char* text) {
    if (!text)
        return 0;
    while (*text == ' ' || *text == '\t' || *text == '\n' || *text == '\r' || *text == '\f' ||
           *text == '\v')
        ++text;
    bool negative = false;
    if (*text == '+' || *text == '-')
        negative = *text++ == '-';
    long long value = 0;
    while (*text >= '0' && *text <= '9') {
        if (value <= 0xFFFFFFFFLL)
            value = value * 10 + (*text - '0');
        ++text;
    }
    // Counts never come near the limits; a value out of range wraps as a 32-bit integer would.
    return static_cast<int>(static_cast<unsigned int>(negative ? -value : value));
}

// Finalizes a statement whose step failed and throws what the library reports for it.
[[noreturn]] void ThrowStepFailure(sqlite3* db, sqlite3_stmt* stmt, int stepResult) {
    int code = sqlite3_finalize(stmt);
    if (code == SQLITE_OK)
        code = stepResult;
    throw CppSQLite3Exception(code, sqlite3_errmsg(db));
}

} // namespace

// ---- cursor ----

CppSQLite3Cursor::CppSQLite3Cursor(sqlite3* db, sqlite3_stmt* stmt, bool atEnd, bool ownsStatement)
    : db_(db), stmt_(stmt), atEnd_(atEnd), columnCount_(sqlite3_column_count(stmt)),
      ownsStatement_(ownsStatement) {}

CppSQLite3Cursor::CppSQLite3Cursor(CppSQLite3Cursor&& other) noexcept
    : db_(other.db_), stmt_(other.stmt_), atEnd_(other.atEnd_), columnCount_(other.columnCount_),
      ownsStatement_(other.ownsStatement_) {
    other.stmt_ = nullptr;
}

CppSQLite3Cursor& CppSQLite3Cursor::operator=(CppSQLite3Cursor&& other) noexcept {
    if (this != &other) {
        try {
            finish();
        } catch (const CppSQLite3Exception&) {
            // The old statement is released either way; its last error no longer matters.
        }
        db_ = other.db_;
        stmt_ = other.stmt_;
        atEnd_ = other.atEnd_;
        columnCount_ = other.columnCount_;
        ownsStatement_ = other.ownsStatement_;
        other.stmt_ = nullptr;
    }
    return *this;
}

CppSQLite3Cursor::~CppSQLite3Cursor() {
    try {
        finish();
    } catch (const CppSQLite3Exception&) {
        // A destructor cannot report; the statement is released either way.
    }
}

void CppSQLite3Cursor::RequireStatement() const {
    if (!stmt_)
        throw CppSQLite3Exception(CPPSQLITE_ERROR, "Null Virtual Machine pointer");
}

void CppSQLite3Cursor::RequireColumn(int column) const {
    RequireStatement();
    if (column < 0 || column >= columnCount_)
        throw CppSQLite3Exception(CPPSQLITE_ERROR, "Invalid field index requested");
}

bool CppSQLite3Cursor::atEnd() const {
    RequireStatement();
    return atEnd_;
}

void CppSQLite3Cursor::advance() {
    RequireStatement();
    int result = sqlite3_step(stmt_);
    if (result == SQLITE_DONE) {
        atEnd_ = true;
    } else if (result != SQLITE_ROW) {
        sqlite3_stmt* failed = stmt_;
        stmt_ = nullptr;
        ThrowStepFailure(db_, failed, result);
    }
}

int CppSQLite3Cursor::columnCount() const {
    RequireStatement();
    return columnCount_;
}

int CppSQLite3Cursor::columnIndex(const char* name) const {
    RequireStatement();
    if (name) {
        for (int column = 0; column < columnCount_; ++column) {
            const char* columnName = sqlite3_column_name(stmt_, column);
            if (columnName && std::strcmp(name, columnName) == 0)
                return column;
        }
    }
    throw CppSQLite3Exception(CPPSQLITE_ERROR, "Invalid field name requested");
}

const char* CppSQLite3Cursor::columnText(int column) const {
    RequireColumn(column);
    return reinterpret_cast<const char*>(sqlite3_column_text(stmt_, column));
}

const char* CppSQLite3Cursor::columnText(const char* name) const {
    return columnText(columnIndex(name));
}

int CppSQLite3Cursor::columnType(int column) const {
    RequireColumn(column);
    return sqlite3_column_type(stmt_, column);
}

int CppSQLite3Cursor::intColumn(int column, int deflt) const {
    if (columnType(column) == SQLITE_NULL)
        return deflt;
    return sqlite3_column_int(stmt_, column);
}

int CppSQLite3Cursor::intColumn(const char* name, int deflt) const {
    return intColumn(columnIndex(name), deflt);
}

const char* CppSQLite3Cursor::textColumn(int column, const char* deflt) const {
    if (columnType(column) == SQLITE_NULL)
        return deflt;
    return reinterpret_cast<const char*>(sqlite3_column_text(stmt_, column));
}

const char* CppSQLite3Cursor::textColumn(const char* name, const char* deflt) const {
    return textColumn(columnIndex(name), deflt);
}

void CppSQLite3Cursor::finish() {
    if (stmt_ && ownsStatement_) {
        sqlite3_stmt* stmt = stmt_;
        stmt_ = nullptr;
        int result = sqlite3_finalize(stmt);
        if (result != SQLITE_OK)
            throw CppSQLite3Exception(result, sqlite3_errmsg(db_));
    }
}

// ---- connection ----

CppSQLite3Database::~CppSQLite3Database() {
    close();
}

void CppSQLite3Database::RequireOpen() const {
    if (!db_)
        throw CppSQLite3Exception(CPPSQLITE_ERROR, "Database not open");
}

void CppSQLite3Database::open(const char* path) {
    close();
    sqlite3* db = nullptr;
    int result = sqlite3_open(path ? path : "", &db);
    if (result != SQLITE_OK) {
        // The library hands back a handle even on failure, holding the error text.
        CppSQLite3Exception failure(result, db ? sqlite3_errmsg(db) : nullptr);
        sqlite3_close(db);
        throw failure;
    }
    db_ = db;
    setBusyWait(busyTimeoutMs_);
}

void CppSQLite3Database::close() {
    if (db_) {
        // Cursors still open keep the connection alive inside the library until they finish.
        sqlite3_close_v2(db_);
        db_ = nullptr;
    }
}

void CppSQLite3Database::setBusyWait(int timeoutMs) {
    busyTimeoutMs_ = timeoutMs;
    if (db_)
        sqlite3_busy_timeout(db_, timeoutMs);
}

int CppSQLite3Database::runStatement(const char* sql) {
    RequireOpen();
    char* error = nullptr;
    int result = sqlite3_exec(db_, sql, nullptr, nullptr, &error);
    if (result != SQLITE_OK)
        throw CppSQLite3Exception(result, error, true);
    return sqlite3_changes(db_);
}

CppSQLite3Cursor CppSQLite3Database::runQuery(const char* sql) {
    RequireOpen();
    sqlite3_stmt* stmt = nullptr;
    int result = sqlite3_prepare_v2(db_, sql, -1, &stmt, nullptr);
    if (result != SQLITE_OK)
        throw CppSQLite3Exception(result, nullptr);
    // Text holding no statement at all (blank or only a comment) compiles to nothing.
    if (!stmt)
        throw CppSQLite3Exception(CPPSQLITE_ERROR, "Null Virtual Machine pointer");
    result = sqlite3_step(stmt);
    if (result == SQLITE_DONE)
        return CppSQLite3Cursor(db_, stmt, true, true);
    if (result == SQLITE_ROW)
        return CppSQLite3Cursor(db_, stmt, false, true);
    ThrowStepFailure(db_, stmt, result);
}

int CppSQLite3Database::runScalar(const char* sql) {
    CppSQLite3Cursor cursor = runQuery(sql);
    if (cursor.atEnd() || cursor.columnCount() < 1)
        throw CppSQLite3Exception(CPPSQLITE_ERROR, "Invalid scalar query");
    int value = TextToInt(cursor.columnText(0));
    cursor.finish();
    return value;
}

bool CppSQLite3Database::hasTable(const char* table) {
    // %q doubles the name's quotes, so any name gives a well-formed statement of any length.
    char* sql = sqlite3_mprintf(
        "select count(*) from sqlite_master where type='table' and name='%q'", table ? table : "");
    if (!sql)
        throw CppSQLite3Exception(CPPSQLITE_ERROR, "Cannot allocate memory");
    try {
        bool found = runScalar(sql) > 0;
        sqlite3_free(sql);
        return found;
    } catch (...) {
        sqlite3_free(sql);
        throw;
    }
}

CppSQLite3Database& CourseDatabase() {
    static CppSQLite3Database database;
    return database;
}

} // namespace verdal
