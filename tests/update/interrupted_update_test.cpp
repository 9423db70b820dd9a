// An update killed at random points never damages golf.db, and a rerun ends with the table an
// uninterrupted update makes: every course is committed by itself as soon as it is fetched.
#include "tests/support/programs.h"
#include "tests/support/temp_folder.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <csignal>
#include <filesystem>
#include <random>

using namespace verdal;
using namespace verdal::test;

namespace {

// Runs the query on the database file and answers every value of every row, one line a row.
std::string Query(const std::string& db, const char* sql) {
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

std::vector<std::string> UpdateArgs(const TempFolder& data, const CatalogueService& service) {
    return {"--data-dir", data.Path(), "--server", service.Base(), "update"};
}

} // namespace

TEST(InterruptedUpdate, KilledAtRandomPointsLeavesASoundDatabaseAndARerunCompletes) {
    CatalogueService service(300, "25,26,27");

    TempFolder reference;
    ASSERT_EQ(RunBuilt("verdal-cli", UpdateArgs(reference, service)).exitCode, 0);
    const std::string expected = Query(reference / "golf.db", kTable);
    ASSERT_NE(expected.find("\n"), std::string::npos);

    TempFolder interrupted;
    const auto seed = std::random_device{}();
    SCOPED_TRACE("seed " + std::to_string(seed));
    std::mt19937 random(seed);
    // Lines of output of a whole run: two for the server check, one per stored course, one for
    // the end; a kill after k lines falls at a random point of the run.
    std::uniform_int_distribution<int> lines(0, 400);
    for (int round = 0; round < 8; ++round) {
        ChildProcess run;
        StartBuilt(run, "verdal-cli", UpdateArgs(interrupted, service));
        const int killAfter = lines(random);
        std::string line;
        for (int n = 0; n < killAfter && run.ReadLine(line, 60000); ++n) {
        }
        ::kill(run.Pid(), SIGKILL);
        run.Wait();
        if (std::filesystem::exists(interrupted / "golf.db")) {
            EXPECT_EQ(Query(interrupted / "golf.db", "PRAGMA integrity_check;"), "ok|\n")
                << "round " << round << ", killed after " << killAfter << " lines";
        }
    }
    const ProgramRun rerun = RunBuilt("verdal-cli", UpdateArgs(interrupted, service));
    EXPECT_EQ(rerun.exitCode, 0);
    ASSERT_FALSE(rerun.lines.empty());
    EXPECT_EQ(rerun.lines.back(), "UPDATE GOF FILE COMPLETED");
    EXPECT_EQ(Query(interrupted / "golf.db", kTable), expected);
}
