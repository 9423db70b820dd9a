// The catalogue merge against the catalogue service on loopback and a real golf.db in a
// temporary data folder; the posted statuses and progress are read from the window system.
#include "update/catalogue_merge.h"
#include "update/http_fetch.h"

#include "catalogue_generator.h"
#include "platform/text.h"
#include "store/course_table.h"
#include "store/sqlite_layer.h"
#include "tests/support/message_recorder.h"
#include "tests/support/programs.h"
#include "tests/support/temp_folder.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <future>
#include <map>

using namespace verdal;
using namespace verdal::test;
using catalogue::CatalogueGenerator;
using catalogue::GeneratedCourse;

namespace {

// A data folder with an empty course table and two windows that record what the merge posts.
class MergeTest : public ::testing::Test {
protected:
    void SetUp() override {
        OpenCourseDatabase();
        EnsureCourseTable();
        BindUiThread();
        ASSERT_NE(CreateWindowFor(mainWindow, 0), 0);
        ASSERT_NE(CreateWindowFor(progressWindow, 0), 0);
    }
    void TearDown() override {
        DestroyWindow(mainWindow.Handle());
        DestroyWindow(progressWindow.Handle());
        CourseDatabase().close();
    }

    bool Merge(std::uint32_t localVersion, std::string* problem = nullptr) {
        const bool merged =
            MergeCatalogue(mainWindow.Handle(), progressWindow.Handle(), localVersion, {}, problem);
        DrainQueue();
        return merged;
    }

    void WriteCatalogue(const std::string& xml) { WriteFile(temp / "update.xml", xml); }

    // The rows by uid; order, when given, gets their uids in the order they were stored.
    std::map<std::int32_t, CourseRecord> Table(std::vector<std::int32_t>* order = nullptr) {
        std::map<std::int32_t, CourseRecord> rows;
        CppSQLite3Cursor cursor = CourseDatabase().runQuery("select * from GOLF order by rowid;");
        while (!cursor.atEnd()) {
            CourseRecord record;
            ReadCourse(cursor, record);
            EXPECT_TRUE(rows.emplace(record.objid, record).second) << "one row per uid";
            if (order)
                order->push_back(record.objid);
        }
        return rows;
    }

    TempDataFolder temp;
    Recorder mainWindow;
    Recorder progressWindow;
};

// What a course of the generated catalogue must look like once stored.
void ExpectStored(const CourseRecord& row, const CatalogueGenerator& generator,
                  const GeneratedCourse& course) {
    using Texts = std::vector<std::string>;
    EXPECT_EQ((Texts{row.fileid, row.name, row.alias, row.country, row.city, row.address,
                     row.telephone, row.email, row.hole}),
              (Texts{course.fileid, DoubleQuotes(course.name), DoubleQuotes(course.alias),
                     DoubleQuotes(course.country), DoubleQuotes(course.city),
                     DoubleQuotes(course.address), DoubleQuotes(course.phone),
                     DoubleQuotes(course.email), course.holes}))
        << "uid " << course.uid;
    std::string block = generator.CourseMap(course.uid, course.version);
    block.resize(kGofBlockSize, '\0'); // the 32 bytes after the map are zero
    EXPECT_EQ(std::string(row.gof.begin(), row.gof.end()), block) << "uid " << course.uid;
}

std::string FullEntry(int uid, const std::string& name, const std::string& url,
                      bool withEmail = true) {
    return "<course uid=\"" + std::to_string(uid) + "\" fileid=\"F" + std::to_string(uid) +
           "\" name=\"" + name +
           "\" alias=\"\" country=\"Ireland\" city=\"Kerry\" address=\"1 Road\" "
           "phone=\"+353 1\" " +
           (withEmail ? "email=\"a@b.example\" " : "") + "holes=\"4,4,3\" url=\"" + url + "\"/>";
}

} // namespace

// The second map comes last of all, long after the maps that follow it; still every course is
// stored in document order.
TEST_F(MergeTest, OnlyVersionsAboveTheLocalOneAreMergedInDocumentOrder) {
    CatalogueService service(30, "24,25,26", {"delay:map:2"});
    const CatalogueGenerator generator(30, {24, 25, 26});
    ASSERT_EQ(DownloadCatalogue(Utf8ToUtf16(service.Base() + "courses/cat26/cat26.xml")), 1);

    // Nothing newer than 26: nothing changes, nothing is posted.
    EXPECT_TRUE(Merge(26));
    EXPECT_TRUE(Table().empty());
    EXPECT_TRUE(mainWindow.posted.empty());
    EXPECT_TRUE(progressWindow.posted.empty());

    ASSERT_TRUE(Merge(24));
    std::vector<GeneratedCourse> merged = generator.Entries(25), newest = generator.Entries(26);
    merged.insert(merged.end(), newest.begin(), newest.end());
    std::map<std::int32_t, GeneratedCourse> last;
    std::vector<std::int32_t> firstSeen, stored;
    for (const GeneratedCourse& c : merged)
        if (last.insert_or_assign(c.uid, c).second) // a uid listed again is updated in place
            firstSeen.push_back(c.uid);
    ASSERT_LT(last.size(), merged.size()) << "the catalogue changes courses of its own run";

    // Exactly the courses of 25 and 26, each where it was first listed: version 24 is already
    // merged.
    const auto rows = Table(&stored);
    EXPECT_EQ(stored, firstSeen);
    for (const auto& [uid, course] : last) {
        ASSERT_EQ(rows.count(uid), 1u) << uid;
        ExpectStored(rows.at(uid), generator, course);
    }

    // Each course stored once, at its newest: one status with its name and one progress value.
    std::vector<std::u16string> names;
    std::vector<WPARAM> progress;
    for (std::size_t i = 0; i < firstSeen.size(); ++i) {
        names.push_back(Utf8ToUtf16(DoubleQuotes(last.at(firstSeen[i]).name)));
        progress.push_back((i + 1) * 100 / firstSeen.size());
    }
    EXPECT_EQ(mainWindow.StoredNames(), names);
    EXPECT_EQ(progressWindow.Progress(), progress);
    EXPECT_EQ(service.Served()["map"], static_cast<long>(firstSeen.size()));

    // Merging again converges to the same table.
    ASSERT_TRUE(Merge(24));
    const auto again = Table();
    ASSERT_EQ(again.size(), rows.size());
    for (const auto& [uid, course] : last)
        ExpectStored(again.at(uid), generator, course);
}

TEST_F(MergeTest, EntriesAreSkippedOrMergedByTheirAttributes) {
    CatalogueService service(10, "25");
    const std::string map = service.Base() + "gof/";
    WriteCatalogue("<?xml version=\"1.0\"?>\n<catalogue>\n  <!-- a comment below the root -->\n"
                   "  <version number=\"-5\">\n    <!-- a comment below a version -->\n    "
                   "<course fileid=\"x\" name=\"no uid\"/>text between entries" +
                   FullEntry(0, "uid zero", map + "1_25.gof") +
                   FullEntry(7, "No Email", map + "2_25.gof", false) +
                   FullEntry(3, "O'Brien's Links", map + "3_25.gof") +
                   FullEntry(3, "O'Brien's Links Renamed", map + "4_25.gof") +
                   "<course uid=\"  +9xyz\" fileid=\"\" name=\"Blank Attributes\" alias=\"\" "
                   "country=\"\" city=\"\" address=\"\" phone=\"\" email=\"\" holes=\"\" url=\"" +
                   map + "5_25.gof\"/>\n  </version>\n</catalogue>\n");

    // A negative version number compares as a large unsigned one and is merged.
    ASSERT_TRUE(Merge(24));
    const auto rows = Table();
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows.at(3).name, "O''Brien''s Links Renamed"); // the second entry updated the first
    EXPECT_EQ(rows.at(3).fileid, "F3");
    EXPECT_EQ(rows.at(9).name, "Blank Attributes");
    EXPECT_EQ(rows.at(9).country, "");
    // The apostrophe is stored once in the table itself.
    CppSQLite3Cursor cursor = CourseDatabase().runQuery("select name from GOLF where objid=3;");
    EXPECT_EQ(std::string(cursor.columnText(0)), "O'Brien's Links Renamed");

    // uid 3 is stored once, as its last entry has it.
    EXPECT_EQ(mainWindow.StoredNames(),
              (std::vector<std::u16string>{u"O''Brien''s Links Renamed", u"Blank Attributes"}));
    // Three courses have a non-zero uid; the one without an e-mail is never stored, so the
    // progress stops short of 100.
    EXPECT_EQ(progressWindow.Progress(), (std::vector<WPARAM>{33, 66}));
}

TEST_F(MergeTest, AWrongSizedMapStopsTheMergeAndKeepsWhatWasStored) {
    // With the fourth map answered late, the maps after it have arrived before it is judged. A
    // map that breaks off every time is given up once no map has arrived for the give-up limit.
    SetFetchRetryPause(1);
    SetFetchGiveUp(1000);
    using Faults = std::vector<std::string>;
    for (const Faults& faults : std::vector<Faults>{
             {"short:4"}, {"long:4"}, {"404:map:4"}, {"cut:map:4"}, {"short:4", "delay:map:4"}}) {
        SCOPED_TRACE(faults.size() == 1 ? faults[0] : faults[0] + " late");
        CourseDatabase().runStatement("delete from GOLF;");
        mainWindow.posted.clear();
        CatalogueService service(10, "25", faults);
        ASSERT_EQ(DownloadCatalogue(Utf8ToUtf16(service.Base() + "courses/cat25/cat25.xml")), 1);
        std::string problem;
        EXPECT_FALSE(Merge(24, &problem));
        std::vector<std::int32_t> stored;
        Table(&stored);
        EXPECT_EQ(stored, (std::vector<std::int32_t>{1, 2, 3}));
        if (faults[0] == "404:map:4") {
            EXPECT_NE(problem.find(": the server answered HTTP 404"), std::string::npos) << problem;
        }
        EXPECT_EQ(mainWindow.StoredNames().size(), 3u);
        // A map that breaks off is asked for again and again, any other answer is final.
        const long maps = service.Served()["map"];
        if (faults[0] == "cut:map:4")
            EXPECT_GE(maps, 3 + 11);
        else
            EXPECT_LE(maps, 10);
    }
    SetFetchGiveUp(300000);
    SetFetchRetryPause(500);
}

// Maps that fail for a passing reason are tried again while the others travel; the courses are
// still stored in document order. One that stalls every time says so in words once it is given
// up.
TEST_F(MergeTest, PassingFailuresAreTriedAgainAndAStallIsNamed) {
    SetFetchRetryPause(1);
    SetFetchStallLimit(200);
    SetFetchGiveUp(3000);
    CatalogueService service(40, "25", {"flaky:map:3", "busy:map:13", "stall:map:30"});
    ASSERT_EQ(DownloadCatalogue(Utf8ToUtf16(service.Base() + "courses/cat25/cat25.xml")), 1);
    std::string problem;
    EXPECT_FALSE(MergeCatalogue(mainWindow.Handle(), progressWindow.Handle(), 24, {}, &problem));
    DrainQueue();
    std::vector<std::int32_t> stored, expected;
    Table(&stored);
    for (std::int32_t uid = 1; uid < 30; ++uid)
        expected.push_back(uid);
    EXPECT_EQ(stored, expected);
    EXPECT_NE(problem.find("\": the server sent nothing for 200 ms"), std::string::npos) << problem;
    // Each busy answer asked for a second's rest: the dialog said so, and went back to its text
    // when maps came again.
    const std::vector<std::string> texts = progressWindow.ProgressTexts();
    ASSERT_GE(texts.size(), 2u);
    EXPECT_EQ(texts[0], "Update GOF File... (the server is busy: waiting 1 s)");
    EXPECT_EQ(texts[1], "Update GOF File...");
    SetFetchGiveUp(300000);
    SetFetchStallLimit(30000);
    SetFetchRetryPause(500);
}

TEST_F(MergeTest, FilesThatCannotBeMergedAndFailingStatementsChangeNothing) {
    CatalogueService service(10, "25");
    const std::string entry = FullEntry(1, "One", service.Base() + "gof/1_25.gof");
    for (const std::string& xml :
         {std::string("not xml at all"), std::string("<?xml version=\"1.0\"?>"),
          "<c><version number=\"25\">" + entry + "</version><version>" + entry +
              "</version></c>"}) {
        WriteCatalogue(xml);
        EXPECT_FALSE(Merge(24)) << xml;
        EXPECT_TRUE(Table().empty()) << xml;
    }
    // 16 MB of empty elements would take more than half a gigabyte once parsed: refused before.
    std::string tiny = "<c>";
    for (int i = 0; i < 4 << 20; ++i)
        tiny += "<a/>";
    WriteCatalogue(tiny + "</c>");
    std::string problem;
    EXPECT_FALSE(Merge(24, &problem));
    EXPECT_EQ(problem, "the catalogue file would take 528 MiB to read, more than 448 MiB");
    std::filesystem::remove(temp / "update.xml");
    EXPECT_FALSE(Merge(24));
    // A root without versions is merged: there is nothing to do.
    WriteCatalogue("<catalogue/>");
    EXPECT_TRUE(Merge(24));
    EXPECT_TRUE(mainWindow.posted.empty());
    // A statement that fails ends the merge.
    ASSERT_EQ(DownloadCatalogue(Utf8ToUtf16(service.Base() + "courses/cat25/cat25.xml")), 1);
    CourseDatabase().runStatement("drop table GOLF;");
    EXPECT_FALSE(Merge(24));
    EXPECT_TRUE(mainWindow.StoredNames().empty());
}

TEST_F(MergeTest, AStopEndsTheMergeBetweenCoursesAndAbandonsTheTransfers) {
    // The third map stalls for the 30 s stall limit: only the stop can end the merge sooner.
    CatalogueService service(10, "25", {"stall:map:3"});
    ASSERT_EQ(DownloadCatalogue(Utf8ToUtf16(service.Base() + "courses/cat25/cat25.xml")), 1);
    std::stop_source stop;
    auto merged = std::async(std::launch::async, [&] {
        return MergeCatalogue(mainWindow.Handle(), progressWindow.Handle(), 24, stop.get_token());
    });
    WaitUntil([&] {
        DrainQueue();
        return mainWindow.StoredNames().size() >= 2;
    });
    ASSERT_EQ(mainWindow.StoredNames().size(), 2u);

    stop.request_stop();
    ASSERT_EQ(merged.wait_for(std::chrono::seconds(1)), std::future_status::ready);
    EXPECT_FALSE(merged.get());
    DrainQueue();
    EXPECT_EQ(mainWindow.StoredNames().size(), 2u);
    EXPECT_EQ(Table().size(), 2u);
}

TEST_F(MergeTest, AStoppedDownloadMakesNoFurtherAttempt) {
    CatalogueService service(10, "25", {"cut:catalogue"});
    std::stop_source stop;
    auto downloaded = std::async(std::launch::async, [&] {
        return DownloadCatalogue(Utf8ToUtf16(service.Base() + "courses/cat25/cat25.xml"),
                                 stop.get_token());
    });
    // The first attempt breaks off; the stop falls into the pause before the second.
    WaitUntil([&] { return service.Served()["catalogue"] >= 1; });
    stop.request_stop();
    ASSERT_EQ(downloaded.wait_for(std::chrono::seconds(1)), std::future_status::ready);
    EXPECT_EQ(downloaded.get(), 0);
    EXPECT_EQ(service.Served()["catalogue"], 1);

    // Stopped before it began: not a single request.
    CatalogueService untouched(10, "25");
    EXPECT_EQ(DownloadCatalogue(Utf8ToUtf16(untouched.Base() + "courses/cat25/cat25.xml"),
                                stop.get_token()),
              0);
    EXPECT_EQ(untouched.Served()["catalogue"], 0);
}

TEST_F(MergeTest, AMergeThatGoesOnPassesOverWhatAnEarlierRunStoredAndCountsIt) {
    CatalogueService service(20, "25");
    ASSERT_EQ(DownloadCatalogue(Utf8ToUtf16(service.Base() + "courses/cat25/cat25.xml")), 1);
    ASSERT_TRUE(Merge(24));
    std::vector<std::pair<std::uint32_t, bool>> recorded;
    const MergeProgress earlier{
        15, [&](std::uint32_t stored, bool durable) { recorded.emplace_back(stored, durable); }};
    auto goOn = [&] {
        mainWindow.posted.clear();
        progressWindow.posted.clear();
        const long before = service.Served()["map"];
        EXPECT_TRUE(MergeCatalogue(mainWindow.Handle(), progressWindow.Handle(), 24, {}, nullptr,
                                   &earlier));
        DrainQueue();
        return service.Served()["map"] - before;
    };
    // The bar starts where the earlier run left it.
    EXPECT_EQ(goOn(), 5);
    EXPECT_EQ(progressWindow.Progress(), (std::vector<WPARAM>{75, 80, 85, 90, 95, 100}));
    EXPECT_EQ(mainWindow.StoredNames().size(), 5u);
    EXPECT_EQ(recorded.back(), (std::pair<std::uint32_t, bool>{20, false}));
    // A table that no longer holds one of them: the merge starts from the first course.
    CourseDatabase().runStatement("delete from GOLF where objid=3;");
    EXPECT_EQ(goOn(), 20);
    EXPECT_EQ(Table().size(), 20u);
}
