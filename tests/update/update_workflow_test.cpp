// The server check and the catalogue update worker against the catalogue service on loopback,
// with golf.db and settings.reg in a temporary data folder.
#include "update/update_workflow.h"

#include "platform/text.h"
#include "platform/worker.h"
#include "store/course_table.h"
#include "store/settings.h"
#include "tests/support/message_recorder.h"
#include "tests/support/programs.h"
#include "tests/support/temp_folder.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <thread>

using namespace verdal;
using namespace verdal::test;

namespace {

class WorkflowTest : public ::testing::Test {
protected:
    void SetUp() override {
        LoadSettings();
        OpenCourseDatabase();
        EnsureCourseTable();
        BindUiThread();
        ASSERT_NE(CreateWindowFor(mainWindow, 0), 0);
    }
    void TearDown() override {
        SetServerOverride("");
        DestroyWindow(mainWindow.Handle());
        CourseDatabase().close();
    }

    // Runs the server check on a worker thread, as the connect worker does; the statuses
    // recorded are its own.
    void CheckServer() {
        mainWindow.posted.clear();
        Worker worker;
        worker.Start([&](std::stop_token stop) { ServerCheck(mainWindow.Handle(), offer, stop); });
        worker.Join();
        DrainQueue();
    }

    // Runs the update worker under a modal dialog, the way the program runs its progress
    // dialog; answers the dialog's result. The statuses recorded are its own.
    std::intptr_t Update(std::vector<WPARAM>* progress = nullptr, std::stop_token stop = {}) {
        mainWindow.posted.clear();
        Recorder page;
        const std::intptr_t result = RunWorkerDialog(
            page,
            [&](HWND pageWindow, std::stop_token) {
                RunCatalogueUpdate(mainWindow.Handle(), offer.Get(), pageWindow, stop);
            },
            mainWindow.Handle());
        DrainQueue();
        if (progress)
            *progress = page.Progress();
        return result;
    }

    // Offers the catalogue of version 25 at service and runs the update, whose dialog ends with
    // 1; answers what the last status said.
    std::string UpdateFrom(const CatalogueService& service) {
        offer.Set(25, Utf8ToUtf16(service.Base() + "courses/cat25/cat25.xml"));
        EXPECT_EQ(Update(), 1);
        return mainWindow.LastStatusText();
    }

    std::string SettingsFile() const { return ReadFile(temp / "settings.reg"); }

    int CourseCount() { return CourseDatabase().runScalar("select count(*) from GOLF;"); }

    TempDataFolder temp;
    Recorder mainWindow;
    CatalogueOffer offer;
};

using Codes = std::vector<WPARAM>;

// The dialog closes as soon as the worker ends it, and messages still queued for its page window
// go with it: the progress seen is a prefix of what was posted.
void ExpectProgressPrefix(const Codes& seen, const Codes& posted) {
    ASSERT_LE(seen.size(), posted.size());
    EXPECT_TRUE(std::equal(seen.begin(), seen.end(), posted.begin()));
}

} // namespace

TEST_F(WorkflowTest, ServerCheckStoresTheOfferAndTheSerialNumber) {
    CatalogueService service(10, "25,26", {"blanks"});
    // The base address comes from the settings unless overridden for the run.
    ChangeSettings([&](Settings& s) {
        s.server = service.Base();
        s.serialNumber = u"SN4711";
    });
    CheckServer();
    EXPECT_EQ(mainWindow.Statuses(), (Codes{4, 10}));
    EXPECT_EQ(offer.Get().offeredVersion, 26u);
    EXPECT_EQ(offer.Get().catalogueUrl, Utf8ToUtf16(service.Base() + "courses/cat26/cat26.xml"));
    EXPECT_NE(SettingsFile().find("\"sn\"=\"SN4711\""), std::string::npos);

    CatalogueService other(10, "31");
    SetServerOverride(other.Base());
    CheckServer();
    EXPECT_EQ(mainWindow.Statuses(), (Codes{4, 10}));
    EXPECT_EQ(offer.Get().offeredVersion, 31u);
    EXPECT_EQ(SettingsFile().find(other.Base()), std::string::npos) << "never saved";
}

TEST_F(WorkflowTest, UnusableRepliesLeaveTheDeviceUnreported) {
    offer.Set(25, u"http://127.0.0.1:1/courses/cat25/cat25.xml");
    for (const char* fault : {"nohttp", "404:version"}) {
        SCOPED_TRACE(fault);
        CatalogueService service(10, "26", {fault});
        SetServerOverride(service.Base());
        CheckServer();
        EXPECT_EQ(mainWindow.Statuses(), (Codes{4, 5}));
        EXPECT_EQ(service.Served()["version"], 1) << "a reply, even unusable, ends the tries";
        EXPECT_EQ(offer.Get().offeredVersion, 25u);
    }
    // Nobody answers (nothing listens on port 1): ten tries, then the same status.
    SetServerOverride("http://127.0.0.1:1/");
    CheckServer();
    EXPECT_EQ(mainWindow.Statuses(), (Codes{4, 5}));
    EXPECT_EQ(offer.Get().catalogueUrl, u"http://127.0.0.1:1/courses/cat25/cat25.xml");
}

TEST_F(WorkflowTest, AFailedDownloadOrMergeKeepsTheLocalVersion) {
    CatalogueService unreadable(10, "25", {"cut:catalogue"});
    EXPECT_EQ(UpdateFrom(unreadable), "Transferred a partial file");
    EXPECT_EQ(mainWindow.Statuses(), (Codes{12}));
    EXPECT_EQ(unreadable.Served()["catalogue"], 10);
    EXPECT_EQ(unreadable.Served()["map"], 0);
    EXPECT_FALSE(std::filesystem::exists(temp / "update.xml")) << "half a file is none";

    // The wrong map is answered last, after the maps behind it have arrived: none of them is
    // written.
    CatalogueService wrongMap(10, "25", {"long:5", "delay:map:5"});
    const std::string why = UpdateFrom(wrongMap);
    EXPECT_EQ(mainWindow.Statuses(), (Codes{9, 9, 9, 9, 12}));
    EXPECT_TRUE(why.starts_with("the course map of \"") &&
                why.ends_with("\" holds 7265 bytes, not 7264"))
        << why;
    EXPECT_EQ(CourseCount(), 4);
    EXPECT_EQ(CopySettings().updateVersion, 24u);
    EXPECT_NE(SettingsFile().find("\"update version\"=dword:00000018"), std::string::npos);
}

// Each failure says why on the status line: the server's error status, a file that is no
// catalogue. None of those answers ever becomes update.xml.
TEST_F(WorkflowTest, AFailedUpdateSaysWhyAndKeepsNoBadAnswer) {
    CatalogueService missing(10, "25", {"404:catalogue"});
    EXPECT_EQ(UpdateFrom(missing), "the server answered HTTP 404");
    EXPECT_EQ(mainWindow.Statuses(), (Codes{12}));
    EXPECT_EQ(missing.Served()["catalogue"], 1) << "a 404 ends the tries";

    CatalogueService empty(10, "25", {"empty:catalogue"});
    EXPECT_EQ(UpdateFrom(empty), "the catalogue file cannot be read: XML_ERROR_EMPTY_DOCUMENT");
    // An error page answered with 200 is well-formed, yet no catalogue.
    CatalogueService page(10, "25", {"page:catalogue"});
    EXPECT_EQ(UpdateFrom(page), "a version of the catalogue file has no number");
    EXPECT_FALSE(std::filesystem::exists(temp / "update.xml"));
    EXPECT_FALSE(std::filesystem::exists(temp / "update.xml.part"));

    // The next update that succeeds leaves nothing to say.
    CatalogueService service(10, "25");
    EXPECT_EQ(UpdateFrom(service), "");
    EXPECT_EQ(mainWindow.Statuses().back(), 11u);
}

// A catalogue file that does not fit on the disk says so, and leaves the file there was.
TEST_F(WorkflowTest, ACatalogueFileThatFillsTheDiskSaysSoAndKeepsTheOldOne) {
    if (::geteuid() != 0)
        GTEST_SKIP() << "mounting a small file system needs root";
    const std::string small = temp / "small";
    std::filesystem::create_directory(small);
    if (std::system(("mount -t tmpfs -o size=256k tmpfs " + small).c_str()) != 0)
        GTEST_SKIP() << "no tmpfs can be mounted here";
    WriteFile(small + "/update.xml", "the old file");
    SetDataDir(small);
    CatalogueService service(2000, "25"); // some 700 KB of catalogue
    EXPECT_EQ(UpdateFrom(service), "the disk is full (update.xml)");
    EXPECT_EQ(mainWindow.Statuses(), (Codes{12}));
    EXPECT_EQ(ReadFile(small + "/update.xml"), "the old file");
    EXPECT_EQ(FilesIn(small), (std::vector<std::string>{"update.xml"}));
    SetDataDir(temp.Path());
    EXPECT_EQ(std::system(("umount " + small).c_str()), 0);
}

TEST_F(WorkflowTest, ASuccessfulUpdateSavesTheOfferedVersionAndNothingNewerFinishesAtOnce) {
    CatalogueService service(40, "25,26,27");
    std::vector<WPARAM> progress;
    // Before any server check the offered version is 0: nothing is newer.
    EXPECT_EQ(Update(&progress), 1);
    ExpectProgressPrefix(progress, Codes{0});
    EXPECT_EQ(mainWindow.Statuses(), (Codes{11}));
    SetServerOverride(service.Base());
    CheckServer();
    ASSERT_EQ(offer.Get().offeredVersion, 27u);
    EXPECT_EQ(Update(&progress), 1);
    const auto statuses = mainWindow.Statuses();
    ASSERT_FALSE(statuses.empty());
    EXPECT_EQ(statuses.back(), 11u);
    EXPECT_EQ(mainWindow.StoredNames().size(), statuses.size() - 1);
    Codes posted = {0};
    for (std::size_t done = 1; done < statuses.size(); ++done)
        posted.push_back(done * 100 / (statuses.size() - 1));
    ExpectProgressPrefix(progress, posted);
    EXPECT_EQ(CourseCount(), 40);
    EXPECT_EQ(CopySettings().updateVersion, 27u);
    EXPECT_NE(SettingsFile().find("\"update version\"=dword:0000001b"), std::string::npos);
    // Before the version was saved, every row reached the database file itself: its copy without
    // the write-ahead journal holds them all.
    TempFolder copy;
    std::filesystem::copy_file(temp / "golf.db", copy / "golf.db");
    EXPECT_EQ(Sqlite3(copy / "golf.db", "select count(*) from GOLF;"), "40\n");

    // Nothing is newer now: the update finishes at once, without a request.
    const auto served = service.Served();
    EXPECT_EQ(Update(&progress), 1);
    ExpectProgressPrefix(progress, Codes{0});
    EXPECT_EQ(mainWindow.Statuses(), (Codes{11}));
    EXPECT_EQ(service.Served(), served);
    EXPECT_EQ(CopySettings().updateVersion, 27u);
}

TEST_F(WorkflowTest, AStopEndsTheServerCheckAndTheUpdateWithoutChangingAnything) {
    // Each stalled request lasts the 30 s stall limit unless the stop ends it.
    CatalogueService stalled(10, "25", {"stall:version", "stall:map:3"});
    SetServerOverride(stalled.Base());
    auto stopOnceServed = [&](std::stop_source& stop, const char* kind, long count) {
        return std::thread([&stop, &stalled, kind, count] {
            WaitUntil([&] { return stalled.Served()[kind] >= count; });
            stop.request_stop();
        });
    };

    std::stop_source checkStop;
    std::thread stopper = stopOnceServed(checkStop, "version", 1);
    const auto start = std::chrono::steady_clock::now();
    std::thread([&] { ServerCheck(mainWindow.Handle(), offer, checkStop.get_token()); }).join();
    stopper.join();
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(20));
    DrainQueue();
    EXPECT_EQ(mainWindow.Statuses(), (Codes{4})) << "nothing is posted after the stop";
    EXPECT_EQ(offer.Get().offeredVersion, 0u);

    offer.Set(25, Utf8ToUtf16(stalled.Base() + "courses/cat25/cat25.xml"));
    std::stop_source updateStop;
    stopper = stopOnceServed(updateStop, "map", 3);
    EXPECT_EQ(Update(nullptr, updateStop.get_token()), 1);
    stopper.join();
    const Codes statuses = mainWindow.Statuses();
    ASSERT_FALSE(statuses.empty());
    EXPECT_EQ(statuses.back(), 12u);
    // The courses stored before the stop stay; nothing at or after the stalled map is written.
    const auto stored = std::count(statuses.begin(), statuses.end(), WPARAM{9});
    EXPECT_EQ(CourseCount(), stored);
    EXPECT_LE(stored, 2);
    EXPECT_EQ(CopySettings().updateVersion, 24u);
}
