// golf.db as the program makes it, read back by an independent reader: the sqlite3 program. The
// course map is the reference block, stored as the reference holds its text.
#include "store/course_table.h"

#include "tests/support/programs.h"
#include "tests/support/reference.h"
#include "tests/support/temp_folder.h"

#include <gtest/gtest.h>

#include <cstdlib>
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
    CourseRecord record{{12, "", "O''Brien", "", "Ireland"}};
    const std::string block = test::ReferenceFile("course.gof");
    ASSERT_EQ(block.size(), record.gof.size());
    std::copy(block.begin(), block.end(), record.gof.begin());
    InsertCourse(record);
    CourseDatabase().close();

    // The stored schema is the create statement and the four indexes, each as written; SQLite
    // keeps the opening words in capitals.
    EXPECT_EQ(Sqlite3(file, ".schema GOLF"), test::ReferenceFile("golf.db.schema"));
    EXPECT_EQ(Sqlite3(file, "select objid, name, country, typeof(gof) from GOLF;"),
              "12|O'Brien|Ireland|text\n");
    // The map's text holds the reference text's bytes, both read by sqlite3.
    test::WriteFile(folder / "gof.txt", test::ReferenceFile("course.gof.golf-db"));
    EXPECT_EQ(Sqlite3(file, "select hex(gof) from GOLF;"),
              Sqlite3(file, "select hex(readfile('" + (folder / "gof.txt") + "'));"));
    EXPECT_EQ(Sqlite3(file, "PRAGMA integrity_check;"), "ok\n");

    // A second start changes nothing, the schema included.
    const std::string before = Sqlite3(file, ".dump");
    OpenCourseDatabase();
    EnsureCourseTable();
    CourseDatabase().close();
    EXPECT_EQ(Sqlite3(file, ".dump"), before);
}
