// Error names and message building of the database layer's exception.
#include "store/sqlite_exception.h"

#include <sqlite3.h>

namespace verdal {
namespace {

struct ErrorNameRow {
    int code;
    const char* name;
};

constexpr ErrorNameRow kErrorNames[] = {
    {0, "SQLITE_OK"},
    {1, "SQLITE_ERROR"},
    {2, "SQLITE_INTERNAL"},
    {3, "SQLITE_PERM"},
    {4, "SQLITE_ABORT"},
    {5, "SQLITE_BUSY"},
    {6, "SQLITE_LOCKED"},
    {7, "SQLITE_NOMEM"},
    {8, "SQLITE_READONLY"},
    {9, "SQLITE_INTERRUPT"},
    {10, "SQLITE_IOERR"},
    {11, "SQLITE_CORRUPT"},
    {12, "SQLITE_NOTFOUND"},
    {13, "SQLITE_FULL"},
    {14, "SQLITE_CANTOPEN"},
    {15, "SQLITE_PROTOCOL"},
    {16, "SQLITE_EMPTY"},
    {17, "SQLITE_SCHEMA"},
    {18, "SQLITE_TOOBIG"},
    {19, "SQLITE_CONSTRAINT"},
    {20, "SQLITE_MISMATCH"},
    {21, "SQLITE_MISUSE"},
    {22, "SQLITE_NOLFS"},
    {23, "SQLITE_AUTH"},
    {24, "SQLITE_FORMAT"},
    {25, "SQLITE_RANGE"},
    {100, "SQLITE_ROW"},
    {101, "SQLITE_DONE"},
    {CPPSQLITE_ERROR, "CPPSQLITE_ERROR"},
};

} // namespace

const char* errorName(int code) {
    for (const ErrorNameRow& row : kErrorNames) {
        if (row.code == code)
            return row.name;
    }
    return "UNKNOWN_ERROR";
}

CppSQLite3Exception::CppSQLite3Exception(int code, const char* detail, bool releaseDetail)
    : code_(code) {
    message_ = sqlite3_mprintf("%s[%d]: %s", errorName(code), code, detail ? detail : "");
    if (releaseDetail && detail)
        sqlite3_free(const_cast<char*>(detail));
}

CppSQLite3Exception::CppSQLite3Exception(const CppSQLite3Exception& other)
    : std::exception(other), code_(other.code_) {
    message_ = other.message_ ? sqlite3_mprintf("%s", other.message_) : nullptr;
}

CppSQLite3Exception& CppSQLite3Exception::operator=(const CppSQLite3Exception& other) {
    if (this != &other) {
        char* copy = other.message_ ? sqlite3_mprintf("%s", other.message_) : nullptr;
        sqlite3_free(message_);
        message_ = copy;
        code_ = other.code_;
    }
    return *this;
}

CppSQLite3Exception::~CppSQLite3Exception() {
    sqlite3_free(message_);
}

} // namespace verdal
