// verdal-cli's update where networks and processes fail: a server that drops and turns away
// requests, an update killed at random points or halfway. golf.db is never damaged, the next
// update goes on where the last one stopped, and every road ends with the table a clean update
// makes, which is the table the merge of every listing in turn wrote.
#include "platform/file.h"
#include "platform/text.h"
#include "tests/support/programs.h"
#include "tests/support/temp_folder.h"
#include "update/update_journal.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstdint>
#include <cstdio>
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

// The hash of sqlite3's .dump of golf.db after an update of 300 courses in versions 25, 26 and
// 27 from version 24, as written by the merge that fetched and stored every listing in turn
// (360 course maps).
constexpr std::uint64_t kEveryListingDump = 0x8c53a9386bfe5eb9ull;

// Starts an update and kills it once it has printed the given number of lines (two for the
// server check, then one for each course stored).
void KillAfter(const TempFolder& data, const CatalogueService& service, int lines) {
    ChildProcess run;
    StartBuilt(run, "verdal-cli", UpdateArgs(data, service));
    std::string line;
    for (int n = 0; n < lines && run.ReadLine(line, 60000); ++n) {
    }
    ::kill(run.Pid(), SIGKILL);
    run.Wait();
}

} // namespace

TEST(InterruptedUpdate, AServerThatDropsAndTurnsAwayRequestsStillGivesTheWholeCatalogue) {
    CatalogueService clean(300, "25,26,27");
    TempFolder reference;
    ASSERT_EQ(RunBuilt("verdal-cli", UpdateArgs(reference, clean)).exitCode, 0);
    EXPECT_EQ(clean.Served()["map"], 300) << "each course fetched once";
    const std::string expected = Sqlite3(reference / "golf.db", ".dump");
    EXPECT_EQ(Fnv1a(expected), kEveryListingDump);

    using Faults = std::vector<std::string>;
    // limit:100 turns away every map request beyond 100 a second, with no Retry-After.
    for (const Faults& faults :
         {Faults{"flaky:map:50"}, Faults{"busy:map:40", "close-after:7"}, Faults{"limit:100"}}) {
        SCOPED_TRACE(faults[0]);
        CatalogueService service(300, "25,26,27", faults);
        TempFolder data;
        EXPECT_EQ(RunBuilt("verdal-cli", UpdateArgs(data, service)).exitCode, 0);
        EXPECT_EQ(Sqlite3(data / "golf.db", ".dump"), expected);
    }
}

TEST(InterruptedUpdate, AKilledUpdateGoesOnWhereItStoppedWithoutFetchingAStoredCourseAgain) {
    constexpr int kCourses = 2000;
    CatalogueService service(kCourses, "25,26,27");
    TempFolder reference, data;
    ASSERT_EQ(RunBuilt("verdal-cli", UpdateArgs(reference, service)).exitCode, 0);
    const std::string expected = Sqlite3(reference / "golf.db", ".dump");

    KillAfter(data, service, 2 + kCourses / 2);
    const long fetched = service.Served()["map"];
    const auto journal = ParseUpdateJournal(ReadFile(data / "update.journal"), BootId());
    ASSERT_TRUE(journal);
    const long rows = std::stol(Sqlite3(data / "golf.db", "select count(*) from GOLF;"));
    EXPECT_GE(rows, kCourses / 2);
    // The journal counts every stored course, but one killed between storing and counting.
    EXPECT_LE(rows - journal->stored, 1);

    const ProgramRun rerun = RunBuilt("verdal-cli", UpdateArgs(data, service));
    EXPECT_EQ(rerun.exitCode, 0);
    EXPECT_EQ(service.Served()["map"] - fetched, kCourses - journal->stored);
    EXPECT_EQ(service.Served()["not-modified"], 1) << "update.xml is not sent again";
    EXPECT_EQ(Sqlite3(data / "golf.db", ".dump"), expected);
    EXPECT_FALSE(std::filesystem::exists(data / "update.journal"));

    // A journal whose courses golf.db no longer holds is not followed.
    TempFolder replaced;
    KillAfter(replaced, service, 2 + kCourses / 2);
    for (const char* file : {"golf.db", "golf.db-wal", "golf.db-shm"})
        std::filesystem::remove(replaced / file);
    const long before = service.Served()["map"];
    EXPECT_EQ(RunBuilt("verdal-cli", UpdateArgs(replaced, service)).exitCode, 0);
    EXPECT_EQ(service.Served()["map"] - before, kCourses);
    EXPECT_EQ(Sqlite3(replaced / "golf.db", ".dump"), expected);
}

// A catalogue answer that is no catalogue fails the update; once the server is healed, the next
// update completes by itself, with the table a clean update makes.
TEST(InterruptedUpdate, ABadCatalogueAnswerThenAHealedServerCompletesTheNextUpdate) {
    TempFolder reference;
    {
        CatalogueService clean(300, "25,26,27");
        ASSERT_EQ(RunBuilt("verdal-cli", UpdateArgs(reference, clean)).exitCode, 0);
    }
    const std::string expected = Sqlite3(reference / "golf.db", kTable);
    for (const char* fault : {"empty:catalogue", "page:catalogue"}) {
        SCOPED_TRACE(fault);
        TempFolder data;
        int port = 0;
        {
            CatalogueService bad(300, "25,26,27", {fault});
            port = bad.Port();
            EXPECT_EQ(RunBuilt("verdal-cli", UpdateArgs(data, bad)).exitCode, 1);
        }
        EXPECT_FALSE(std::filesystem::exists(data / "update.xml"));
        CatalogueService healed(300, "25,26,27", {}, port);
        EXPECT_EQ(RunBuilt("verdal-cli", UpdateArgs(data, healed)).exitCode, 0);
        EXPECT_EQ(Sqlite3(data / "golf.db", kTable), expected);
    }
}

// Ctrl-C stops verdal-cli's update as Stop does: it says how far it got and exits 1, the stored
// courses stay, and the next update fetches only the rest.
TEST(InterruptedUpdate, CtrlCStopsTheUpdateKeepingWhatIsStored) {
    constexpr int kCourses = 2000;
    CatalogueService service(kCourses, "25,26,27");
    TempFolder data;
    ChildProcess run;
    StartBuilt(run, "verdal-cli", UpdateArgs(data, service));
    std::string line;
    for (int n = 0; n < 2 + kCourses / 4 && run.ReadLine(line, 60000); ++n) {
    }
    ::kill(run.Pid(), SIGINT);
    std::string last;
    while (run.ReadLine(line, 60000))
        last = line;
    EXPECT_EQ(run.Wait(), 1);
    const long fetched = service.Served()["map"];
    const auto journal = ParseUpdateJournal(ReadFile(data / "update.journal"), BootId());
    ASSERT_TRUE(journal);
    const long rows = std::stol(Sqlite3(data / "golf.db", "select count(*) from GOLF;"));
    EXPECT_EQ(rows, journal->stored);
    EXPECT_GE(rows, kCourses / 4);
    // Versions 25 to 27 of 2,000 courses list each course once or more: 2,000 to store.
    char grouped[32];
    std::snprintf(grouped, sizeof grouped, rows >= 1000 ? "%ld,%03ld" : "%ld", rows / 1000,
                  rows % 1000);
    EXPECT_EQ(last, std::string("stopped: ") + (rows >= 1000 ? grouped : std::to_string(rows)) +
                        " of 2,000 courses stored");

    EXPECT_EQ(RunBuilt("verdal-cli", UpdateArgs(data, service)).exitCode, 0);
    EXPECT_EQ(service.Served()["map"] - fetched, kCourses - rows);
}

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
        const int killAfter = lines(random);
        KillAfter(interrupted, service, killAfter);
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
