// The device noticed as it comes and goes while the main window runs: the simulator plugged in
// and pulled out through the sysfs and /dev folders that port discovery reads, or as the port
// named outright; and the rule by which a port that appears is connected.
#include "app/dialogs.h"
#include "app/hotplug.h"
#include "app/main_wnd.h"
#include "app_test_support.h"
#include "device/port_discovery.h"
#include "device/serial.h"
#include "platform/event.h"
#include "platform/text.h"
#include "store/course_table.h"
#include "store/sqlite_database.h"
#include "tests/support/programs.h"
#include "tests/support/temp_folder.h"
#include "update/update_workflow.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <filesystem>

using namespace verdal;
using namespace verdal::engine;
using namespace verdal::test;

namespace {

using Clock = std::chrono::steady_clock;

struct HotplugTest : ::testing::Test {
    TempFolder folder;
    CatalogueService service;
    const PortSearch saved = CurrentPortSearch();
    CMainWnd main;
    HWND hwnd = 0;

    void Open(PortSearch search) {
        SetPortSearch(std::move(search));
        SetServerOverride(service.Base());
        hwnd = main.Create(0);
        ASSERT_NE(hwnd, 0);
    }
    void TearDown() override {
        DestroyWindow(hwnd);
        DrainQueue();
        SetServerOverride("");
        SetPortSearch(saved);
    }

    // Runs the window until the status line reads text: the milliseconds it took, or -1.
    long long Until(const char16_t* text) {
        const auto start = Clock::now();
        if (!PumpUntil(hwnd, [&] { return TextOf(hwnd, u"message") == text; })) {
            std::printf("# the status line reads \"%s\"\n",
                        Utf16ToUtf8(TextOf(hwnd, u"message")).c_str());
            return -1;
        }
        return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
    }
    void ExpectConnectOffered() {
        EXPECT_TRUE(Shown(hwnd, u"reconnect"));
        EXPECT_FALSE(Disabled(hwnd, u"reconnect"));
    }
};

// Started with nothing plugged in, the device is connected when it comes, noticed when it goes,
// and connected again when it comes back; its list stays what it holds.
TEST_F(HotplugTest, ADevicePluggedInIsConnectedAndOnePulledOutIsNoticed) {
    const std::string dev = folder / "dev", sys = folder / "sys";
    std::filesystem::create_directories(dev);
    Simulator device(dev + "/ttyUSB3", {"--sys-dir", sys, "--unplugged", "--course", "Augusta"});
    Open({dev, sys, ""});
    ASSERT_GE(Until(u"DEVICE NOT CONNECTED"), 0);

    device.PlugIn();
    const long long connecting = Until(u"CONNECTING TO DEVICE");
    const long long connected = connecting + Until(u"DEVICE CONNECTED");
    ASSERT_GE(connecting, 0);
    ASSERT_GE(connected, connecting);
    EXPECT_EQ(main.Device().Courses().Count(), 1u);

    device.PullOut();
    const long long noticed = Until(u"DEVICE NOT CONNECTED");
    ASSERT_GE(noticed, 0);
    ExpectConnectOffered();
    EXPECT_EQ(main.Device().Courses().Count(), 1u);

    device.PlugIn();
    EXPECT_GE(Until(u"DEVICE CONNECTED"), 0);
    std::printf("# plugged in to CONNECTING TO DEVICE: %lld ms, to DEVICE CONNECTED: %lld ms; "
                "pulled out to DEVICE NOT CONNECTED: %lld ms\n",
                connecting, connected, noticed);
}

// Pulled out at block 20 of an upload: the upload fails and says why, the list is what the device
// holds, and plugging it in again connects it.
TEST_F(HotplugTest, ADevicePulledOutDuringAnUploadFailsItAndKeepsItsList) {
    Simulator device(folder / "ttyUSB0", {"--fault", "unplug:20", "--course", "Augusta"});
    Open({saved.devDir, saved.sysDir, device.Link()});
    ASSERT_GE(Until(u"DEVICE CONNECTED"), 0);
    main.Device().WaitForConnect(); // it may still be returning after its last status
    CourseRecord course;
    course.objid = 424242;
    course.fileid = "424242";
    course.SetName("Unplugged Links");
    InsertCourse(course);
    main.Lists().AddCatalogueRow(std::make_unique<CourseTexts>(course));
    Select(main.Lists().CatalogueList(), 0);

    SendMessage(hwnd, WM_COMMAND, ID_ADD_TO_DEVICE);
    device.AwaitPulledOut();
    DrainQueue();
    EXPECT_EQ(TextOf(hwnd, u"message"), u"DEVICE NOT CONNECTED - the device was unplugged");
    ExpectConnectOffered();
    EXPECT_EQ(main.Device().Courses().Count(), 1u);

    device.PlugIn();
    EXPECT_GE(Until(u"DEVICE CONNECTED"), 0);
    EXPECT_EQ(main.Device().Courses().Count(), 1u);
    main.Lists().ClearCatalogue();
    CourseDatabase().runStatement("delete from GOLF where objid = 424242;");
}

// Plugged in while a dialog is open, the device is not connected under it (nothing may replace
// the dialog's outcome on the status line); the connect that became due starts once it closes.
TEST_F(HotplugTest, NoConnectStartsByItselfUnderADialogAndTheDueOneStartsWhenItCloses) {
    const std::string dev = folder / "dev", sys = folder / "sys";
    std::filesystem::create_directories(dev);
    Simulator device(dev + "/ttyUSB3", {"--sys-dir", sys, "--unplugged"});
    Open({dev, sys, ""});
    ASSERT_GE(Until(u"DEVICE NOT CONNECTED"), 0);
    WorkerOwner workers;
    bool connectedUnder = true;
    RunWithProgress(u"Waiting", ProgressBar::Hidden, hwnd, workers,
                    [&](HWND page, std::stop_token stop) {
                        device.PlugIn();
                        Sleep(3 * kPortListIntervalMs, stop);
                        connectedUnder = main.Device().Connecting() || Serial::Instance().IsOpen();
                        EndDialog(GetParent(page), 1);
                    });
    EXPECT_FALSE(connectedUnder);
    EXPECT_GE(Until(u"DEVICE CONNECTED"), 0);
}

TEST(HotplugRule, APortThatAppearsIsDueWhenItIsTheDevicesUnlessTheUserLetTheDeviceGo) {
    using Ports = std::vector<std::string>;
    WorkerOwner workers;
    Hotplug rule(workers); // its watcher is not started: the listings are given here
    const auto notModem = [](const std::string& port) { return port != "modem"; };
    const auto listed = [&](const Ports& present) {
        rule.Listed(present, notModem);
        return rule.TakeDue();
    };
    EXPECT_EQ(listed({"a"}), Ports{}); // present at start-up
    EXPECT_EQ(listed({"a", "modem", "b"}), Ports{"b"});
    EXPECT_EQ(listed({"a", "modem", "b"}), Ports{});
    // Due until taken, in probe order, and only while present.
    rule.Listed({"a", "modem", "b", "d"}, notModem);
    rule.Listed({"a", "modem", "c", "b", "d", "e"}, notModem);
    EXPECT_EQ(listed({"a", "modem", "c", "b", "e"}), (Ports{"c", "e"}));

    // "Disconnect" let go of the device on a: no port that appears is due until a has been seen
    // gone; then a plugged in again is.
    rule.Listed({"a", "f"}, [](const std::string&) { return true; });
    rule.Declined("a");
    EXPECT_EQ(listed({"a", "f", "g"}), Ports{});
    EXPECT_EQ(listed({"f", "g"}), Ports{});
    EXPECT_EQ(listed({"a", "f", "g"}), Ports{"a"});

    // "Connect" ends the declining at once.
    rule.Declined("a");
    rule.Accepted();
    EXPECT_EQ(listed({"a", "f", "g", "h"}), Ports{"h"});

    // A link lost on f: f listed again has appeared, though no listing saw it gone.
    rule.Lost("f");
    EXPECT_EQ(listed({"a", "f", "g", "h"}), Ports{"f"});

    // A port that was not the device's when listed (its adapter not yet known) is judged again.
    rule.Lost("g");
    rule.Listed({"a", "f", "g", "h"}, [](const std::string& port) { return port != "g"; });
    EXPECT_EQ(listed({"a", "f", "g", "h"}), Ports{"g"});
}

} // namespace
