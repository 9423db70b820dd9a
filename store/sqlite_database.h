// The connection and the cursor of the database layer: every statement the program sends to its
// course database goes through these two classes. Statements are plain text with their values
// formatted in; every failure is thrown as a CppSQLite3Exception.
//
// Threads: the library serialises the use of one connection, so the process-wide connection of
// CourseDatabase() may be used from the user-interface thread and from workers alike. A cursor
// belongs to the thread that made it.
#pragma once

#include "store/sqlite_exception.h"

struct sqlite3;
struct sqlite3_stmt;

namespace verdal {

// The result of a query: a prepared statement positioned on its current row. Made by
// CppSQLite3Database::runQuery; read with atEnd, the column accessors and advance. Every
// operation but construction, move and destruction throws "Null Virtual Machine pointer" (code
// 1000) when the cursor has no statement (default made, moved from, finished or failed).
class CppSQLite3Cursor {
public:
    CppSQLite3Cursor() = default;
    // Takes a prepared statement; an owning cursor finalizes it when finished.
    CppSQLite3Cursor(sqlite3* db, sqlite3_stmt* stmt, bool atEnd, bool ownsStatement);
    CppSQLite3Cursor(CppSQLite3Cursor&& other) noexcept;
    // The target first finishes its own statement (errors swallowed), then takes the source's;
    // the source is left without a statement. Exactly one cursor owns a statement.
    CppSQLite3Cursor& operator=(CppSQLite3Cursor&& other) noexcept;
    CppSQLite3Cursor(const CppSQLite3Cursor&) = delete;
    CppSQLite3Cursor& operator=(const CppSQLite3Cursor&) = delete;
    // Finishes the statement; an error of finalizing is swallowed.
    virtual ~CppSQLite3Cursor();

    // True once stepping found no further row.
    bool atEnd() const;
    // Steps to the next row (sets atEnd after the last). A failing step finalizes the statement
    // and throws the library's code and error text.
    void advance();

    int columnCount() const;
    // The index of the first result column whose name equals name exactly (case-sensitive).
    // Throws "Invalid field name requested" for a null name or one that matches no column.
    int columnIndex(const char* name) const;
    // The column's text on the current row, or null for a NULL value. An index outside
    // 0 .. columnCount()-1 throws "Invalid field index requested".
    const char* columnText(int column) const;
    const char* columnText(const char* name) const;
    // The library's type of the column's value (1 integer, 2 float, 3 text, 4 blob, 5 NULL).
    int columnType(int column) const;
    // The column as an integer, or deflt when its value is NULL.
    int intColumn(int column, int deflt = 0) const;
    int intColumn(const char* name, int deflt = 0) const;
    // The column as text, or deflt when its value is NULL.
    const char* textColumn(int column, const char* deflt = "") const;
    const char* textColumn(const char* name, const char* deflt = "") const;

    // Finalizes the statement when this cursor owns one; afterwards the cursor has none. Throws
    // the library's code when finalizing reports an error.
    void finish();

private:
    void RequireStatement() const;
    void RequireColumn(int column) const;

    sqlite3* db_ = nullptr;
    sqlite3_stmt* stmt_ = nullptr;
    bool atEnd_ = true;
    int columnCount_ = 0;
    bool ownsStatement_ = false;
};

// A connection to one database file. Every operation but open and close throws "Database not
// open" (code 1000) while no file is open.
class CppSQLite3Database {
public:
    // A closed connection with a busy timeout of 60000 ms.
    CppSQLite3Database() = default;
    CppSQLite3Database(const CppSQLite3Database&) = delete;
    CppSQLite3Database& operator=(const CppSQLite3Database&) = delete;
    // Closes the connection.
    virtual ~CppSQLite3Database();

    // Opens (creating when missing) the file at path, a narrow file name, and applies the busy
    // timeout. Throws the library's code and text when the file cannot be opened. An open
    // connection is closed first.
    void open(const char* path);
    // Closes the connection when one is open; otherwise does nothing.
    void close();
    bool isOpen() const { return db_ != nullptr; }

    // How long, in milliseconds, a statement waits for a lock held by another connection
    // before it fails with code 5.
    void setBusyWait(int timeoutMs);

    // Runs one or more statements that return no rows; answers the number of rows the last one
    // changed. Throws the library's code and error text.
    int runStatement(const char* sql);
    // Compiles one statement and steps to its first row. A compile failure throws the library's
    // code with an empty detail; a failing first step throws the library's code and text.
    CppSQLite3Cursor runQuery(const char* sql);
    // Runs a query and answers column 0 of its first row read as a decimal integer (leading
    // blanks and a sign allowed, 0 when there are no digits). Throws "Invalid scalar query" when
    // there is no row or no column.
    int runScalar(const char* sql);
    // Whether a table of that name exists.
    bool hasTable(const char* table);

private:
    void RequireOpen() const;

    sqlite3* db_ = nullptr;
    int busyTimeoutMs_ = 60000;
};

// The one connection of the process, made closed (busy timeout 60000 ms) on the first call and
// closed when the process exits. Any thread may call it; the first call happens during start-up.
CppSQLite3Database& CourseDatabase();

} // namespace verdal
