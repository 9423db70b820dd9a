// An update killed at random points never damages golf.db, and a rerun ends with the table an
// uninterrupted update makes: every course is committed by itself as soon as it is fetched.
#include "tests/support/programs.h"
#include "tests/support/temp_folder.h"

#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <random>

using namespace verdal;
using namespace verdal::test;

namespace {

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
    const std::string expected = Sqlite3(reference / "golf.db", kTable);
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
            EXPECT_EQ(Sqlite3(interrupted / "golf.db", "PRAGMA integrity_check;"), "ok\n")
                << "round " << round << ", killed after " << killAfter << " lines";
        }
    }
    const ProgramRun rerun = RunBuilt("verdal-cli", UpdateArgs(interrupted, service));
    EXPECT_EQ(rerun.exitCode, 0);
    ASSERT_FALSE(rerun.lines.empty());
    EXPECT_EQ(rerun.lines.back(), "UPDATE GOF FILE COMPLETED");
    EXPECT_EQ(Sqlite3(interrupted / "golf.db", kTable), expected);
}
