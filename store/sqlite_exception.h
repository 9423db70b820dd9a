// The one failure report of the database layer: a result code and a formatted message.
#pragma once

#include <exception>

namespace verdal {

// Code of the layer's own errors (bad column index, empty scalar result, bad encoded block...).
inline constexpr int CPPSQLITE_ERROR = 1000;

// The name of a result code of the database library, as it appears in messages: "SQLITE_OK" to
// "SQLITE_RANGE" for 0 to 25, "SQLITE_ROW" for 100, "SQLITE_DONE" for 101, "CPPSQLITE_ERROR" for
// 1000 and "UNKNOWN_ERROR" for every other code (26 included). Any thread may call it.
const char* errorName(int code);

// Thrown by every operation of the database layer that fails; nothing in the layer returns an
// error code. The message reads "<name>[<code>]: <detail>", for example
// "CPPSQLITE_ERROR[1000]: Invalid scalar query"; an absent detail leaves the text after ": "
// empty. It derives from std::exception so that a catch-all at the top of a thread reports it
// (what() answers the message) instead of letting it end the process.
class CppSQLite3Exception : public std::exception {
public:
    // Builds the message from the code and the detail (null for none). When releaseDetail is set
    // the detail was made by the library's printf and is released here, once the message is
    // built.
    CppSQLite3Exception(int code, const char* detail, bool releaseDetail = false);
    CppSQLite3Exception(const CppSQLite3Exception& other);
    CppSQLite3Exception& operator=(const CppSQLite3Exception& other);
    ~CppSQLite3Exception() override;

    int code() const noexcept { return code_; }
    // The formatted message; null only when the library could not allocate it.
    const char* message() const noexcept { return message_; }
    const char* what() const noexcept override { return message_ ? message_ : "UNKNOWN_ERROR"; }

private:
    int code_;
    char* message_; // made by the library's printf, released with its free
};

} // namespace verdal
