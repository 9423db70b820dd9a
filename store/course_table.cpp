// Table GOLF: creation, records in and out, and the statement texts.
#include "store/course_table.h"

#include "platform/data_dir.h"
#include "store/sqlite_text.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <iterator>

namespace verdal {

const char* const kCreateCourseTable =
    "create table GOLF (objid integer,fileid\t\tvarchar(8),name\t\t\tvarchar(32),"
    "alias\t\tvarchar(16),country\t\tvarchar(16),city\t\t\tvarchar(16),address\t\tvarchar(48),"
    "telephone\t\tvarchar(16),email\t\tvarchar(16),hole\t\t\tvarchar(48),gof\t\t\tblob);";

const char* const kCourseIndexStatements[4] = {
    "create index GOLFINDEX0 on GOLF(objid);",
    "create index GOLFINDEX1 on GOLF(name);",
    "create index GOLFINDEX2 on GOLF(country);",
    "create index GOLFINDEX3 on GOLF(city);",
};

namespace {

constexpr int kCantOpen = 14; // the library's "unable to open database file"
constexpr int kBusy = 5;      // the library's "database is locked"

// The file id is the one text the record holds unchanged, so its quotes are doubled here (%q):
// a catalogue entry must never be able to end the statement early.
constexpr const char* kInsertFormat =
    "insert into GOLF (objid,fileid,name,alias,country,city,address,telephone,email,hole,gof) "
    "values (%d,'%q','%s','%s','%s','%s','%s','%s','%s','%s',%Q);";
constexpr const char* kUpdateFormat =
    "update GOLF set fileid\t\t\t= '%q',name\t\t\t= '%s',alias\t\t\t= '%s',country\t\t= '%s',"
    "city\t\t\t= '%s',address\t\t= '%s',telephone\t\t= '%s',email\t\t\t= '%s',"
    "hole\t\t\t= '%s',gof\t\t\t=  %Q  where objid    = %d;";
constexpr const char* kCountByIdFormat = "select count(*) from GOLF where objid=%d";

constexpr const char* kCountries = "select DISTINCT country from GOLF order by country;";
constexpr const char* kRegionsFormat =
    "select DISTINCT city from GOLF where country='%s' order by city;";
constexpr const char* kSearchByName = "select * from GOLF where name like '%c%s%c' order by name;";
constexpr const char* kSearchByCountryAndName =
    "select * from GOLF where country='%s' and name like '%c%s%c' order by name;";
constexpr const char* kSearchByCountry = "select * from GOLF where country='%s' order by name;";
constexpr const char* kSearchByCountryRegionAndName =
    "select * from GOLF where country='%s' and city='%s' and name like '%c%s%c' order by name;";
constexpr const char* kSearchByCountryAndRegion =
    "select * from GOLF where country='%s' and city='%s' order by name;";
// Every column but the map, in the order of the table and of CourseTextColumns.
constexpr const char* kTextColumns[] = {"objid", "fileid",  "name",      "alias", "country",
                                        "city",  "address", "telephone", "email", "hole"};

// printf into a string of whatever length the values need.
__attribute__((format(printf, 1, 2))) std::string FormatStatement(const char* fmt, ...) {
    va_list args;
    va_start(args, fmt);
    va_list again;
    va_copy(again, args);
    int length = std::vsnprintf(nullptr, 0, fmt, args);
    va_end(args);
    std::string text(length > 0 ? static_cast<std::size_t>(length) : 0, '\0');
    std::vsnprintf(text.data(), text.size() + 1, fmt, again);
    va_end(again);
    return text;
}

// Formats with the library's printf, whose %Q puts the GOF block's encoded text between quotes.
template <typename... Values> std::string FormatWithLibrary(const char* fmt, Values... values) {
    CppSQLite3Text text;
    return text.format(fmt, values...);
}

} // namespace

void OpenCourseDatabase() {
    std::string path;
    try {
        path = ProgramFilePath("golf.db");
    } catch (const std::exception& error) {
        // The data folder cannot be made: report it the way the database layer reports a file
        // it cannot open.
        throw CppSQLite3Exception(kCantOpen, error.what());
    }
    CppSQLite3Database& database = CourseDatabase();
    database.open(path.c_str());
    TuneCourseDatabase(database);
}

void TuneCourseDatabase(CppSQLite3Database& database) {
    database.runStatement("PRAGMA journal_mode=WAL;");
    database.runStatement("PRAGMA synchronous=NORMAL;");
}

void EnsureCourseTable() {
    CppSQLite3Database& database = CourseDatabase();
    if (database.hasTable("GOLF"))
        return;
    database.runStatement(kCreateCourseTable);
    for (const char* statement : kCourseIndexStatements)
        database.runStatement(statement);
}

void MakeCoursesDurable() {
    // The first value of the checkpoint's answer is 1 when it could not reach the journal's end.
    if (CourseDatabase().runScalar("PRAGMA wal_checkpoint(FULL);") != 0)
        throw CppSQLite3Exception(kBusy, "the course table could not be written through to disk");
}

std::string InsertStatement(const CourseRecord& record) {
    CppSQLite3Blob gof;
    gof.setBytes(record.gof.data(), static_cast<int>(record.gof.size()));
    return FormatWithLibrary(kInsertFormat, static_cast<int>(record.objid), record.fileid.c_str(),
                             record.name.c_str(), record.alias.c_str(), record.country.c_str(),
                             record.city.c_str(), record.address.c_str(), record.telephone.c_str(),
                             record.email.c_str(), record.hole.c_str(), gof.encodedText());
}

std::string UpdateStatement(const CourseRecord& record) {
    CppSQLite3Blob gof;
    gof.setBytes(record.gof.data(), static_cast<int>(record.gof.size()));
    return FormatWithLibrary(kUpdateFormat, record.fileid.c_str(), record.name.c_str(),
                             record.alias.c_str(), record.country.c_str(), record.city.c_str(),
                             record.address.c_str(), record.telephone.c_str(), record.email.c_str(),
                             record.hole.c_str(), gof.encodedText(),
                             static_cast<int>(record.objid));
}

namespace {

void FillTexts(const CppSQLite3Cursor& cursor, const CourseTextColumns& at, CourseTexts& record) {
    record.objid = cursor.intColumn(at[0], 0);
    record.SetFileId(cursor.textColumn(at[1], ""));
    record.SetName(cursor.textColumn(at[2], ""));
    record.SetAlias(cursor.textColumn(at[3], ""));
    record.SetCountry(cursor.textColumn(at[4], ""));
    record.SetCity(cursor.textColumn(at[5], ""));
    record.SetAddress(cursor.textColumn(at[6], ""));
    record.SetTelephone(cursor.textColumn(at[7], ""));
    record.SetEmail(cursor.textColumn(at[8], ""));
    record.SetHole(cursor.textColumn(at[9], ""));
}

CourseTextColumns FindTextColumns(const CppSQLite3Cursor& cursor) {
    static_assert(std::size(kTextColumns) == std::tuple_size_v<CourseTextColumns>);
    CourseTextColumns at;
    for (std::size_t i = 0; i < at.size(); ++i)
        at[i] = cursor.columnIndex(kTextColumns[i]);
    return at;
}

void DecodeGof(const char* text, GofBlock& block) {
    CppSQLite3Blob gof;
    gof.setEncodedText(text);
    const unsigned char* bytes = gof.bytes();
    std::size_t count =
        std::min<std::size_t>(static_cast<std::size_t>(gof.byteCount()), block.size());
    std::memcpy(block.data(), bytes, count);
    std::fill(block.begin() + static_cast<std::ptrdiff_t>(count), block.end(), 0);
}

} // namespace

void ReadCourse(CppSQLite3Cursor& cursor, CourseRecord& record) {
    FillTexts(cursor, FindTextColumns(cursor), record);
    DecodeGof(cursor.columnText("gof"), record.gof);
    cursor.advance();
}

void CourseTextsReader::Read(CppSQLite3Cursor& cursor, CourseTexts& texts) {
    if (!columns_)
        columns_ = FindTextColumns(cursor);
    FillTexts(cursor, *columns_, texts);
    cursor.advance();
}

bool ReadCourseGof(std::int32_t objid, GofBlock& gof) {
    const std::string statement =
        FormatWithLibrary("select gof from GOLF where objid=%d;", static_cast<int>(objid));
    CppSQLite3Cursor cursor = CourseDatabase().runQuery(statement.c_str());
    if (cursor.atEnd())
        return false;
    DecodeGof(cursor.columnText("gof"), gof);
    cursor.finish();
    return true;
}

void InsertCourse(const CourseRecord& record) {
    CourseDatabase().runStatement(InsertStatement(record).c_str());
}

void UpdateCourse(const CourseRecord& record) {
    CourseDatabase().runStatement(UpdateStatement(record).c_str());
}

std::string CourseCountStatement(std::int32_t objid) {
    return FormatStatement(kCountByIdFormat, static_cast<int>(objid));
}

int CourseCountById(std::int32_t objid) {
    return CourseDatabase().runScalar(CourseCountStatement(objid).c_str());
}

std::string CountriesStatement() {
    return kCountries;
}

std::string RegionsStatement(std::string_view country) {
    return FormatStatement(kRegionsFormat, DoubleQuotes(country).c_str());
}

std::string SearchStatement(std::string_view country, std::string_view region,
                            std::string_view keyword) {
    const std::string quotedCountry = DoubleQuotes(country);
    const std::string quotedRegion = DoubleQuotes(region);
    const std::string quotedKeyword = DoubleQuotes(keyword);
    const char* c = quotedCountry.c_str();
    const char* r = quotedRegion.c_str();
    const char* k = quotedKeyword.c_str();
    if (country.empty() && region.empty())
        return FormatStatement(kSearchByName, '%', k, '%');
    if (region.empty()) {
        if (!keyword.empty())
            return FormatStatement(kSearchByCountryAndName, c, '%', k, '%');
        return FormatStatement(kSearchByCountry, c);
    }
    if (!keyword.empty())
        return FormatStatement(kSearchByCountryRegionAndName, c, r, '%', k, '%');
    return FormatStatement(kSearchByCountryAndRegion, c, r);
}

std::string SearchTextsStatement(std::string_view country, std::string_view region,
                                 std::string_view keyword) {
    // Every search statement begins with "select *"; the rest, conditions and order, is kept.
    constexpr std::string_view everyColumn = "select *";
    std::string columns;
    for (const char* column : kTextColumns)
        columns += (columns.empty() ? "select " : ",") + std::string(column);
    std::string statement = SearchStatement(country, region, keyword);
    statement.replace(0, everyColumn.size(), columns);
    return statement;
}

} // namespace verdal
