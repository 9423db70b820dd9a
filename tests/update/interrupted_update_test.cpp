// An update killed at random points never damages golf.db, and a rerun ends with the table an
// uninterrupted update makes: every course is committed by itself as soon as it is fetched.
#include "loopback_servers.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <csignal>
#include <random>

using namespace verdal::test;

namespace {

// Runs the query on the database file and answers every value of every row, one line a row.
std::string Query(const std::filesystem::path& db, const char* sql) {
    sqlite3* connection = nullptr;
    std::string text;
    if (sqlite3_open(db.c_str(), &connection) != SQLITE_OK) {
        sqlite3_close(connection);
        return "cannot open";
    }
    sqlite3_stmt* statement = nullptr;
    if (sqlite3_prepare_v2(connection, sql, -1, &statement, nullptr) == SQLITE_OK) {
        while (sqlite3_step(statement) == SQLITE_ROW) {
            for (int column = 0; column < sqlite3_column_count(statement); ++column) {
                const auto* value = sqlite3_column_text(statement, column);
                text += value ? reinterpret_cast<const char*>(value) : "NULL";
                text += '|';
            }
            text += '\n';
        }
    } else {
        text = sqlite3_errmsg(connection);
    }
    sqlite3_finalize(statement);
    sqlite3_close(connection);
    return text;
}

constexpr const char* kTable = "select objid,fileid,name,alias,country,city,address,telephone,"
                               "email,hole,gof from GOLF order by objid, rowid;";

std::vector<std::string> UpdateCommand(const TempFolder& data, const CatalogueService& service) {
    return {BuiltProgram("verdal-cli"),
            "--data-dir",
            data.Path().string(),
            "--server",
            service.Base(),
            "update"};
}

} // namespace

TEST(InterruptedUpdate, KilledAtRandomPointsLeavesASoundDatabaseAndARerunCompletes) {
    CatalogueService service(300, "25,26,27");

    TempFolder reference;
    {
        ChildProcess run(UpdateCommand(reference, service));
        ASSERT_EQ(run.Finish(), 0);
    }
    const std::string expected = Query(reference.Path() / "golf.db", kTable);
    ASSERT_NE(expected.find("\n"), std::string::npos);

    TempFolder interrupted;
    const auto seed = std::random_device{}();
    SCOPED_TRACE("seed " + std::to_string(seed));
    std::mt19937 random(seed);
    // Lines of output of a whole run: two for the server check, one per stored course, one for
    // the end; a kill after k lines falls at a random point of the run.
    std::uniform_int_distribution<int> lines(0, 400);
    for (int round = 0; round < 8; ++round) {
        ChildProcess run(UpdateCommand(interrupted, service));
        const int killAfter = lines(random);
        for (int line = 0; line < killAfter && !run.ReadLine(60000).empty(); ++line) {
        }
        run.Finish(SIGKILL);
        if (std::filesystem::exists(interrupted.Path() / "golf.db")) {
            EXPECT_EQ(Query(interrupted.Path() / "golf.db", "PRAGMA integrity_check;"), "ok|\n")
                << "round " << round << ", killed after " << killAfter << " lines";
        }
    }
    ChildProcess rerun(UpdateCommand(interrupted, service));
    std::string line, last;
    while (!(line = rerun.ReadLine(60000)).empty())
        last = line;
    EXPECT_EQ(rerun.Finish(), 0);
    EXPECT_EQ(last, "UPDATE GOF FILE COMPLETED");
    EXPECT_EQ(Query(interrupted.Path() / "golf.db", kTable), expected);
}
