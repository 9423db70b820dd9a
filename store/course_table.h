// The course table GOLF in golf.db: its creation, the course record's way in and out of it, and
// every statement the program sends to it.
//
// Threads: these use the process-wide connection (CourseDatabase), which the library serialises;
// the user-interface thread and the workers may call them. Failures throw CppSQLite3Exception.
#pragma once

#include "store/course_record.h"
#include "store/sqlite_database.h"

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace verdal {

// The statement that creates table GOLF (the tabs are part of it), and the four that index it,
// in the order they run.
extern const char* const kCreateCourseTable;
extern const char* const kCourseIndexStatements[4];

// Opens golf.db in the data folder through CourseDatabase() and sets it up for many small
// commits (see TuneCourseDatabase). Throws CppSQLite3Exception when the file cannot be opened
// (code 14 when the data folder cannot be made). Call once at start-up, after LoadSettings,
// from the user-interface thread.
void OpenCourseDatabase();
// Sets a freshly opened connection to the write-ahead journal with normal syncing: each
// statement still commits by itself and a crash of the program loses nothing committed, while a
// commit no longer waits for the disk (a power cut may lose the last commits, never the file).
// The file stays an ordinary SQLite 3 database that any SQLite program reads.
void TuneCourseDatabase(CppSQLite3Database& database);
// Creates table GOLF and its four indexes when the table is missing; otherwise does nothing.
void EnsureCourseTable();
// Writes every committed row through to the disk: a full checkpoint of the write-ahead journal,
// which syncs the journal and then the database file. Call it before recording anything that
// relies on the rows surviving a power cut. Throws CppSQLite3Exception when the checkpoint fails
// or cannot complete (another connection kept it from the journal's end).
void MakeCoursesDurable();

// The insert statement of a record, its GOF block in the quote-free text form. The record's texts
// go in as held (quotes already doubled).
std::string InsertStatement(const CourseRecord& record);
// The update statement of a record: every column but objid, for every row with its objid.
std::string UpdateStatement(const CourseRecord& record);
// Fills record from the cursor's current row (texts from name to hole with quotes doubled, the
// GOF block decoded, at most 7296 bytes, the rest zero), then advances the cursor.
void ReadCourse(CppSQLite3Cursor& cursor, CourseRecord& record);
// Where a result's columns objid, fileid, name, alias, country, city, address, telephone, email
// and hole stand.
using CourseTextColumns = std::array<int, 10>;

// Reads the texts and objid of the rows of one result as ReadCourse does, without the GOF block,
// finding the columns by name on the first row only: a search reads thousands of rows, and each
// lookup by name walks the column names. Throws as ReadCourse does (a missing column: "Invalid
// field name requested").
class CourseTextsReader {
public:
    // Fills texts from the cursor's current row, then advances the cursor.
    void Read(CppSQLite3Cursor& cursor, CourseTexts& texts);

private:
    std::optional<CourseTextColumns> columns_;
};

// Fills gof with the GOF block of the first row with that objid (as ReadCourse decodes it): the
// course's current map, also when an update has changed it since its texts were read. False,
// with gof untouched, when the course is gone.
bool ReadCourseGof(std::int32_t objid, GofBlock& gof);
// Adds the record as a new row; the statement commits by itself.
void InsertCourse(const CourseRecord& record);
// Overwrites every row with the record's objid; the statement commits by itself.
void UpdateCourse(const CourseRecord& record);
// The number of rows with that objid, and the statement that counts them.
int CourseCountById(std::int32_t objid);
std::string CourseCountStatement(std::int32_t objid);

// The location filters and the search. Values are UTF-8 as the user chose or typed them; each
// has its quotes doubled before it stands between quotes, so any value is searched for as
// itself and never changes the statement. Values of any length are taken whole.
//
// The distinct countries, ordered; read column "country".
std::string CountriesStatement();
// The distinct regions of a country, ordered; read column "city".
std::string RegionsStatement(std::string_view country);
// The search for courses, ordered by name, chosen by what is given: no country and no region
// searches by name alone (an empty keyword then matches every course with a name); a country
// without a region searches that country, by name when a keyword is given; a region searches
// that country and region, by name when a keyword is given. The keyword matches anywhere in the
// name, by SQL LIKE ("%" and "_" act as wildcards, ASCII letters match in either case).
std::string SearchStatement(std::string_view country, std::string_view region,
                            std::string_view keyword);
// The same search, same rows in the same order, naming every column but gof: what
// CourseTextsReader needs. The course maps, most of each row's bytes, are then neither read from
// the file nor carried through the sort by name.
std::string SearchTextsStatement(std::string_view country, std::string_view region,
                                 std::string_view keyword);

} // namespace verdal
