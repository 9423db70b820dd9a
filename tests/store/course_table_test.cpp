// golf.db's course table: records stored and read back whole, null columns and the searches.
#include "platform/data_dir.h"
#include "store/course_table.h"
#include "store/sqlite_layer.h"

#include "tests/support/reference.h"
#include "tests/support/temp_folder.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

using namespace verdal;

namespace {

// A course with the given texts, held as a record holds them (quotes doubled).
CourseRecord MakeCourse(std::int32_t objid, const std::string& name, const std::string& country,
                        const std::string& city) {
    return {{objid, "F" + std::to_string(objid), DoubleQuotes(name), "alias", DoubleQuotes(country),
             DoubleQuotes(city), "1 Links Road", "555-0100", "pro@example.org",
             "4,3,5,4,4,3,4,5,4,4,3,5,4,4,3,4,5,4"}};
}

// The texts of one column of every row the statement finds.
std::vector<std::string> Column(const std::string& statement, const char* column) {
    std::vector<std::string> texts;
    CppSQLite3Cursor cursor = CourseDatabase().runQuery(statement.c_str());
    for (; !cursor.atEnd(); cursor.advance())
        texts.push_back(cursor.textColumn(column));
    return texts;
}

// Every text of a course as a record holds it, name first, objid last.
std::vector<std::string> Fields(const CourseTexts& c) {
    return {c.name,    c.fileid,    c.alias, c.country, c.city,
            c.address, c.telephone, c.email, c.hole,    std::to_string(c.objid)};
}

class CourseTableTest : public ::testing::Test {
protected:
    void SetUp() override {
        OpenCourseDatabase();
        EnsureCourseTable();
    }
    void TearDown() override { CourseDatabase().close(); }
    test::TempDataFolder folder;
};

} // namespace

// The statements the program writes to golf.db, as tests/reference/statements.sql holds them, one
// a line: a course's insert and update, its GOF block in the quote-free text form, the count,
// the location filters and the searches.
TEST(CourseStatements, AsTheReferenceFileHoldsThem) {
    // Its texts as a record holds them, quotes doubled.
    CourseRecord record{{1352, "G0001352", "Bishop''s Creek Country Club 1352", "BCCC",
                         "C\xc3\xb4te d''Ivoire", "Abidjan", "4647 Harbour Street",
                         "+225 450-711-5483", "info@course1352.example",
                         "4,5,4,4,5,5,5,4,4,4,3,3,4,4,4,4,4,5"}};
    for (std::size_t i = 0; i < kCourseMapSize; ++i)
        record.gof[i] = static_cast<std::uint8_t>(i * 7);
    std::string written;
    for (const std::string& statement :
         {InsertStatement(record), UpdateStatement(record), CourseCountStatement(record.objid),
          CountriesStatement(), RegionsStatement("C\xc3\xb4te d'Ivoire"),
          SearchStatement("", "", "Bishop's"), SearchStatement("USA", "", ""),
          SearchStatement("USA", "", "Creek"), SearchStatement("USA", "Rhode Island", "Creek"),
          SearchTextsStatement("USA", "Rhode Island", "")})
        written += statement + "\n";
    EXPECT_EQ(written, test::ReferenceFile("statements.sql"));
}

TEST(CourseStatements, SearchStatementsTakeLongValuesWhole) {
    const std::string longKeyword(6000, 'k');
    std::string statement = SearchStatement(longKeyword, std::string(3000, '\''), longKeyword);
    EXPECT_NE(statement.find("country='" + longKeyword + "'"), std::string::npos);
    EXPECT_NE(statement.find("city='" + std::string(6000, '\'') + "'"), std::string::npos);
    EXPECT_EQ(statement.size(), 3 * 6000 + std::string(SearchStatement("", "a", "b")).size() - 2);
}

TEST_F(CourseTableTest, RecordsGoInAndComeBackWhole) {
    CourseRecord record = MakeCourse(501, "O'Brien's Links", "Ireland", "Kerry");
    std::mt19937 random(7296);
    for (auto& b : record.gof)
        b = static_cast<std::uint8_t>(random());
    EXPECT_EQ(CourseCountById(501), 0);
    InsertCourse(record);
    EXPECT_EQ(CourseCountById(501), 1);

    // The record read back holds its quotes doubled (the table holds the name as written).
    CppSQLite3Cursor cursor = CourseDatabase().runQuery("select * from GOLF;");
    CourseRecord back;
    back.gof.fill(0x55);
    ReadCourse(cursor, back);
    EXPECT_TRUE(cursor.atEnd()); // reading a row moves on
    EXPECT_EQ(Fields(back), Fields(record));
    EXPECT_EQ(back.name, "O''Brien''s Links");
    EXPECT_EQ(back.gof, record.gof);

    // The texts alone, and the block read later by objid, give the same course.
    cursor = CourseDatabase().runQuery("select * from GOLF;");
    CourseTexts texts;
    CourseTextsReader().Read(cursor, texts);
    EXPECT_TRUE(cursor.atEnd());
    EXPECT_EQ(Fields(texts), Fields(back));
    GofBlock block{};
    ASSERT_TRUE(ReadCourseGof(texts.objid, block));
    EXPECT_EQ(block, record.gof);
    EXPECT_FALSE(ReadCourseGof(502, block));
    EXPECT_EQ(block, record.gof);

    // A second store of the same objid updates every row with it instead of adding one.
    CourseRecord changed = MakeCourse(501, "Ballybunion", "Ireland", "Kerry");
    changed.gof.fill(0x27);
    UpdateCourse(changed);
    EXPECT_EQ(CourseCountById(501), 1);
    EXPECT_EQ(Column(SearchStatement("Ireland", "", ""), "name"),
              std::vector<std::string>{"Ballybunion"});
    cursor = CourseDatabase().runQuery("select * from GOLF;");
    ReadCourse(cursor, back);
    EXPECT_EQ(back.gof, changed.gof);
    // Texts read before the update still lead to the course's current map.
    ASSERT_TRUE(ReadCourseGof(texts.objid, block));
    EXPECT_EQ(block, changed.gof);
}

TEST_F(CourseTableTest, AFileIdWithQuotesIsStoredExactlyAsReceived) {
    const std::string hostile = "F'8);--";
    CourseRecord record = MakeCourse(8, "Quote Links", "Ireland", "Kerry");
    record.SetFileId(hostile);
    InsertCourse(record);
    record.SetFileId(hostile + "'; drop table GOLF;--");
    UpdateCourse(record);
    InsertCourse(MakeCourse(9, "Next", "Ireland", "Kerry"));

    EXPECT_EQ(Column("select fileid from GOLF order by objid;", "fileid"),
              (std::vector<std::string>{hostile + "'; drop table GOLF;--", "F9"}));
}

TEST_F(CourseTableTest, NullColumnsReadAsDefaults) {
    CourseDatabase().runStatement("insert into GOLF (objid) values (NULL);");
    CppSQLite3Cursor cursor = CourseDatabase().runQuery("select * from GOLF;");
    CourseRecord record = MakeCourse(9, "old", "old", "old");
    record.gof.fill(1);
    ReadCourse(cursor, record);
    EXPECT_EQ(Fields(record), Fields(CourseTexts{}));
    EXPECT_EQ(record.gof, GofBlock{});
}

// Each search finds what it asks for, by name; the texts search reads the same courses without
// their maps.
TEST_F(CourseTableTest, SearchesFindWhatTheyAskForAndTheTextsSearchReadsTheSame) {
    InsertCourse(MakeCourse(1, "Pinehurst No. 2", "USA", "North Carolina"));
    InsertCourse(MakeCourse(2, "Pine Valley", "USA", "New Jersey"));
    InsertCourse(MakeCourse(3, "Baltusrol", "USA", "New Jersey"));
    InsertCourse(MakeCourse(4, "O'Brien Park", "Côte d'Ivoire", "Abidjan"));
    InsertCourse(MakeCourse(5, "St Andrews", "Scotland", "Fife"));
    InsertCourse(MakeCourse(7, "Pine Valley", "USA", "Ohio")); // the same name twice
    CourseDatabase().runStatement("insert into GOLF (objid, country) values (6, 'USA');");

    using NameList = std::vector<std::string>;
    const std::vector<std::pair<std::vector<std::string>, NameList>> searches = {
        // Nothing given: every course with a name, by name.
        {{"", "", ""},
         {"Baltusrol", "O''Brien Park", "Pine Valley", "Pine Valley", "Pinehurst No. 2",
          "St Andrews"}},
        {{"", "", "PINE"}, {"Pine Valley", "Pine Valley", "Pinehurst No. 2"}},
        // A country alone finds the nameless course too, first.
        {{"USA", "", ""}, {"", "Baltusrol", "Pine Valley", "Pine Valley", "Pinehurst No. 2"}},
        {{"USA", "", "pine"}, {"Pine Valley", "Pine Valley", "Pinehurst No. 2"}},
        {{"USA", "New Jersey", ""}, {"Baltusrol", "Pine Valley"}},
        {{"USA", "New Jersey", "val"}, {"Pine Valley"}},
        {{"", "Ohio", ""}, {}}, // a region without a country asks for an empty country
        // Values with quotes search for themselves.
        {{"Côte d'Ivoire", "Abidjan", "O'Brien"}, {"O''Brien Park"}},
        {{"x'; drop table GOLF; --", "", ""}, {}},
        {{"USA", "x' or '1'='1", ""}, {}},
        {{"", "", "%'; delete from GOLF; --"}, {}},
        {{"Nowhere", "", ""}, {}}};
    for (const auto& [c, names] : searches) {
        std::vector<std::vector<std::string>> whole, texts;
        NameList found;
        CppSQLite3Cursor cursor =
            CourseDatabase().runQuery(SearchStatement(c[0], c[1], c[2]).c_str());
        while (!cursor.atEnd()) {
            CourseRecord record;
            ReadCourse(cursor, record);
            whole.push_back(Fields(record));
            found.push_back(record.name);
        }
        cursor = CourseDatabase().runQuery(SearchTextsStatement(c[0], c[1], c[2]).c_str());
        EXPECT_THROW(cursor.columnIndex("gof"), CppSQLite3Exception);
        CourseTextsReader reader;
        while (!cursor.atEnd()) {
            CourseTexts course;
            reader.Read(cursor, course);
            texts.push_back(Fields(course));
        }
        EXPECT_EQ(texts, whole) << c[0] << "/" << c[1] << "/" << c[2];
        EXPECT_EQ(found, names) << c[0] << "/" << c[1] << "/" << c[2];
    }
    EXPECT_TRUE(CourseDatabase().hasTable("GOLF"));
    EXPECT_EQ(CourseDatabase().runScalar("select count(*) from GOLF;"), 7);

    EXPECT_EQ(Column(CountriesStatement(), "country"),
              (std::vector<std::string>{"Côte d'Ivoire", "Scotland", "USA"}));
    EXPECT_EQ(Column(RegionsStatement("Côte d'Ivoire"), "city"),
              (std::vector<std::string>{"Abidjan"}));

    // A result without one of the columns is refused, as reading it by name would be.
    CppSQLite3Cursor cursor = CourseDatabase().runQuery("select objid, name from GOLF;");
    CourseTextsReader reader;
    CourseTexts course;
    EXPECT_THROW(reader.Read(cursor, course), CppSQLite3Exception);
}

TEST(CourseDatabaseFile, UnusableDataFolderIsReportedAsUnopenable) {
    test::TempDataFolder folder;
    // A plain file where the data folder should be: the folder cannot be made.
    test::WriteFile(folder / "plain-file", "x");
    SetDataDir(folder / "plain-file" + "/data");
    try {
        OpenCourseDatabase();
        ADD_FAILURE() << "opened";
    } catch (const CppSQLite3Exception& e) {
        EXPECT_EQ(e.code(), 14);
        EXPECT_EQ(std::string(e.message()).rfind("SQLITE_CANTOPEN[14]: ", 0), 0u);
    }
    EXPECT_FALSE(CourseDatabase().isOpen());
}
