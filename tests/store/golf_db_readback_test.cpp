// golf.db as the program makes it, read back by an independent reader: the sqlite3 program. The
// course map is the reference block, stored as the reference holds its text.
#include "store/course_table.h"
#include "store/sqlite_text.h"

#include "tests/support/programs.h"
#include "tests/support/reference.h"
#include "tests/support/temp_folder.h"

#include <gtest/gtest.h>

#include <cstdio>
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
    const std::string block = test::ReferenceFile("course.gof");
    ASSERT_EQ(block.size(), record.gof.size());
    std::copy(block.begin(), block.end(), record.gof.begin());
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
    EXPECT_EQ(Sqlite3(file, "select objid, name, country, typeof(gof) from GOLF;"),
              "12|O'Brien|Ireland|text\n");
    std::string hex;
    for (const unsigned char byte : test::ReferenceFile("course.gof.golf-db")) {
        char digits[3];
        std::snprintf(digits, sizeof digits, "%02X", byte);
        hex += digits;
    }
    EXPECT_EQ(Sqlite3(file, "select hex(gof) from GOLF;"), hex + "\n");
    EXPECT_EQ(Sqlite3(file, "PRAGMA integrity_check;"), "ok\n");

    // A second start changes nothing.
    const std::string before = Sqlite3(file, ".dump");
    OpenCourseDatabase();
    EnsureCourseTable();
    CourseDatabase().close();
    EXPECT_EQ(Sqlite3(file, ".schema GOLF"), schema);
    EXPECT_EQ(Sqlite3(file, ".dump"), before);
}
