// The SQLite layer: its exceptions, a closed connection, statements, cursors and their
// finalizing.
#include "store/sqlite_layer.h"

#include "tests/support/temp_folder.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <string>

using namespace verdal;

namespace {

const std::string kNoStatement = "CPPSQLITE_ERROR[1000]: Null Virtual Machine pointer";

// Runs f and answers the message of the CppSQLite3Exception it throws (fails when none is).
template <typename F> std::string MessageOf(F f, int expectedCode = 1000) {
    try {
        f();
    } catch (const CppSQLite3Exception& e) {
        EXPECT_EQ(e.code(), expectedCode);
        return e.message() ? e.message() : "(null)";
    }
    ADD_FAILURE() << "no exception";
    return {};
}

class DatabaseTest : public ::testing::Test {
protected:
    void SetUp() override {
        db.open((folder / "layer.db").c_str());
        db.runStatement("create table T (a integer, b text, c text);"
                        "insert into T values (1, 'one', NULL);"
                        "insert into T values (2, NULL, 'x');");
    }
    test::TempFolder folder;
    CppSQLite3Database db;
};

} // namespace

TEST(CppSQLite3Exception, MessagesAndNames) {
    EXPECT_STREQ(CppSQLite3Exception(1000, "Invalid scalar query").message(),
                 "CPPSQLITE_ERROR[1000]: Invalid scalar query");
    EXPECT_STREQ(CppSQLite3Exception(1, nullptr).message(), "SQLITE_ERROR[1]: ");
    EXPECT_STREQ(CppSQLite3Exception(26, "x").message(), "UNKNOWN_ERROR[26]: x");
    EXPECT_STREQ(CppSQLite3Exception(-1, "").message(), "UNKNOWN_ERROR[-1]: ");
    EXPECT_STREQ(errorName(0), "SQLITE_OK");
    EXPECT_STREQ(errorName(14), "SQLITE_CANTOPEN");
    EXPECT_STREQ(errorName(25), "SQLITE_RANGE");
    EXPECT_STREQ(errorName(100), "SQLITE_ROW");
    EXPECT_STREQ(errorName(101), "SQLITE_DONE");
    for (int code : {26, 27, 99, 102, 999, 1001})
        EXPECT_STREQ(errorName(code), "UNKNOWN_ERROR") << code;

    // A detail made by the library's printf is released by the exception; a copy owns its own
    // message and outlives the original.
    char* detail = sqlite3_mprintf("disk %s", "full");
    auto original = std::make_unique<CppSQLite3Exception>(13, detail, true);
    CppSQLite3Exception copy(*original);
    original.reset();
    EXPECT_STREQ(copy.message(), "SQLITE_FULL[13]: disk full");
    EXPECT_STREQ(copy.what(), copy.message());
    CppSQLite3Exception assigned(1, nullptr);
    assigned = copy;
    EXPECT_EQ(assigned.code(), 13);
    EXPECT_STREQ(assigned.message(), "SQLITE_FULL[13]: disk full");
}

TEST(CppSQLite3Database, ClosedConnectionRefusesEveryOperation) {
    CppSQLite3Database db;
    const std::string expected = "CPPSQLITE_ERROR[1000]: Database not open";
    EXPECT_EQ(MessageOf([&] { db.runStatement("select 1;"); }), expected);
    EXPECT_EQ(MessageOf([&] { db.runQuery("select 1;"); }), expected);
    EXPECT_EQ(MessageOf([&] { db.runScalar("select 1;"); }), expected);
    EXPECT_EQ(MessageOf([&] { db.hasTable("GOLF"); }), expected);
    db.close(); // closing a closed connection does nothing
}

TEST_F(DatabaseTest, StatementsScalarsAndTables) {
    EXPECT_EQ(db.runStatement("update T set c = 'y';"), 2);
    EXPECT_EQ(db.runScalar("select count(*) from T;"), 2);
    EXPECT_EQ(db.runScalar("select '  -42abc';"), -42);
    EXPECT_EQ(db.runScalar("select 'abc';"), 0);
    EXPECT_EQ(db.runScalar("select NULL;"), 0);
    EXPECT_EQ(MessageOf([&] { db.runScalar("select a from T where a > 5;"); }),
              "CPPSQLITE_ERROR[1000]: Invalid scalar query");

    EXPECT_TRUE(db.hasTable("T"));
    EXPECT_FALSE(db.hasTable("GOLF"));
    EXPECT_FALSE(db.hasTable("x' or '1'='1"));
    EXPECT_FALSE(db.hasTable(std::string(500, 'n').c_str()));

    // A statement error carries the library's text; a compile error in a query has none.
    std::string message = MessageOf([&] { db.runStatement("selec 1;"); }, SQLITE_ERROR);
    EXPECT_EQ(message.rfind("SQLITE_ERROR[1]: near \"selec\"", 0), 0u) << message;
    EXPECT_EQ(MessageOf([&] { db.runQuery("selec 1;"); }, SQLITE_ERROR), "SQLITE_ERROR[1]: ");
    EXPECT_EQ(MessageOf([&] { db.runQuery("   "); }), kNoStatement);
}

TEST_F(DatabaseTest, CursorReadsColumnsByIndexAndName) {
    CppSQLite3Cursor cursor = db.runQuery("select a, b, c from T order by a;");
    ASSERT_FALSE(cursor.atEnd());
    EXPECT_EQ(cursor.columnCount(), 3);
    EXPECT_EQ(cursor.columnIndex("b"), 1);
    EXPECT_EQ(cursor.intColumn("a"), 1);
    EXPECT_STREQ(cursor.columnText(1), "one");
    EXPECT_EQ(cursor.columnText("c"), nullptr);
    EXPECT_EQ(cursor.columnType(2), SQLITE_NULL);
    EXPECT_STREQ(cursor.textColumn("c", "none"), "none");
    EXPECT_EQ(cursor.intColumn(2, 7), 7);

    const std::string badIndex = "CPPSQLITE_ERROR[1000]: Invalid field index requested";
    const std::string badName = "CPPSQLITE_ERROR[1000]: Invalid field name requested";
    EXPECT_EQ(MessageOf([&] { cursor.columnText(3); }), badIndex);
    EXPECT_EQ(MessageOf([&] { cursor.columnType(-1); }), badIndex);
    EXPECT_EQ(MessageOf([&] { cursor.columnIndex("B"); }), badName);
    EXPECT_EQ(MessageOf([&] { cursor.columnIndex(nullptr); }), badName);

    cursor.advance();
    ASSERT_FALSE(cursor.atEnd());
    EXPECT_EQ(cursor.intColumn(0), 2);
    EXPECT_STREQ(cursor.textColumn(1), "");
    cursor.advance();
    EXPECT_TRUE(cursor.atEnd());
    cursor.finish();
    EXPECT_EQ(MessageOf([&] { cursor.atEnd(); }), kNoStatement);

    CppSQLite3Cursor empty = db.runQuery("select a from T where a > 5;");
    EXPECT_TRUE(empty.atEnd());
    CppSQLite3Cursor none;
    EXPECT_EQ(MessageOf([&] { none.columnCount(); }), kNoStatement);
}

TEST_F(DatabaseTest, FailedStepLeavesNoStatement) {
    // abs() of the smallest integer overflows while the statement runs, not when it compiles.
    const char* overflow = "select abs(-9223372036854775807 - 1);";
    const std::string message = MessageOf([&] { db.runQuery(overflow); }, SQLITE_ERROR);
    EXPECT_EQ(message, "SQLITE_ERROR[1]: integer overflow");

    CppSQLite3Cursor cursor =
        db.runQuery("select abs(x) from (select 1 as x union all select -9223372036854775807 - 1)");
    ASSERT_FALSE(cursor.atEnd());
    EXPECT_EQ(MessageOf([&] { cursor.advance(); }, SQLITE_ERROR), message);
    EXPECT_EQ(MessageOf([&] { cursor.advance(); }), kNoStatement);
    // The connection is still whole: nothing was left open.
    db.close();
}

TEST(CppSQLite3Cursor, MovedCursorFinalizesItsStatementOnce) {
    test::TempFolder folder;
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open((folder / "move.db").c_str(), &db), SQLITE_OK);
    auto prepare = [db](const char* sql) {
        sqlite3_stmt* stmt = nullptr;
        EXPECT_EQ(sqlite3_prepare_v2(db, sql, -1, &stmt, nullptr), SQLITE_OK);
        EXPECT_EQ(sqlite3_step(stmt), SQLITE_ROW);
        return stmt;
    };
    {
        CppSQLite3Cursor first(db, prepare("select 1 as one;"), false, true);
        CppSQLite3Cursor second(std::move(first));
        EXPECT_EQ(second.intColumn("one"), 1);
        EXPECT_THROW(first.atEnd(), CppSQLite3Exception);

        // Move assignment finalizes the target's own statement before it takes the other one.
        CppSQLite3Cursor third(db, prepare("select 2 as two;"), false, true);
        third = std::move(second);
        EXPECT_EQ(third.intColumn("one"), 1);
        // One statement is left open: the one third took over.
        sqlite3_stmt* open = sqlite3_next_stmt(db, nullptr);
        EXPECT_NE(open, nullptr);
        EXPECT_EQ(sqlite3_next_stmt(db, open), nullptr);
    }
    // Each statement was finalized exactly once (twice would be caught by the sanitizers), so
    // the plain close finds none left open.
    EXPECT_EQ(sqlite3_next_stmt(db, nullptr), nullptr);
    EXPECT_EQ(sqlite3_close(db), SQLITE_OK);
}
