// golf.db as the program makes it, read back by an independent reader: the sqlite3 program.
#include "store/course_table.h"
#include "store/sqlite_text.h"

#include "tests/support/programs.h"
#include "tests/support/temp_folder.h"

#include <gtest/gtest.h>

#include <string>

using namespace verdal;
using test::Sqlite3;

TEST(GolfDb, ReadByTheSqlite3Program) {
    ASSERT_EQ(std::system("sqlite3 -version >/dev/null 2>&1"), 0)
        << "the sqlite3 program (Debian package sqlite3) is needed";
    test::TempDataFolder folder;
    const std::string file = folder / "golf.db";
    // What the program does at its start.
    OpenCourseDatabase();
    EnsureCourseTable();
    CourseRecord record;
    record.objid = 12;
    record.SetName("O'Brien");
    record.SetCountry("Ireland");
    for (std::size_t i = 0; i < record.gof.size(); ++i)
        record.gof[i] = static_cast<std::uint8_t>(i * 7);
    InsertCourse(record);
    CourseDatabase().close();

    // The stored schema is the create statement and the four indexes, each as written; SQLite
    // keeps the opening words in capitals.
    const std::string expected =
        "CREATE TABLE GOLF (objid integer,fileid\t\tvarchar(8),name\t\t\tvarchar(32),"
        "alias\t\tvarchar(16),country\t\tvarchar(16),city\t\t\tvarchar(16),"
        "address\t\tvarchar(48),telephone\t\tvarchar(16),email\t\tvarchar(16),"
        "hole\t\t\tvarchar(48),gof\t\t\tblob);\n"
        "CREATE INDEX GOLFINDEX0 on GOLF(objid);\n"
        "CREATE INDEX GOLFINDEX1 on GOLF(name);\n"
        "CREATE INDEX GOLFINDEX2 on GOLF(country);\n"
        "CREATE INDEX GOLFINDEX3 on GOLF(city);\n";
    const std::string schema = Sqlite3(file, ".schema GOLF");
    EXPECT_EQ(schema, expected);
    CppSQLite3Blob gof;
    gof.setBytes(record.gof.data(), static_cast<int>(record.gof.size()));
    EXPECT_EQ(Sqlite3(file, "select objid, name, country, typeof(gof), "
                            "length(cast(gof as blob)) from GOLF;"),
              "12|O'Brien|Ireland|text|" + std::to_string(gof.encodedLength()) + "\n");
    EXPECT_EQ(Sqlite3(file, "PRAGMA integrity_check;"), "ok\n");

    // A second start changes nothing.
    const std::string before = Sqlite3(file, ".dump");
    OpenCourseDatabase();
    EnsureCourseTable();
    CourseDatabase().close();
    EXPECT_EQ(Sqlite3(file, ".schema GOLF"), schema);
    EXPECT_EQ(Sqlite3(file, ".dump"), before);
}
