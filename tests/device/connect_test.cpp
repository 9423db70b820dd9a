// The connect procedure and port probing against the device simulator.
#include "device/connection.h"
#include "device/port_discovery.h"
#include "device/serial.h"
#include "platform/event.h"
#include "platform/messages.h"
#include "store/settings.h"
#include "tests/support/device_harness.h"
#include "tests/support/message_recorder.h"
#include "tests/support/programs.h"
#include "tests/support/temp_folder.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <sys/stat.h>
#include <thread>

using namespace verdal;
using namespace verdal::test;

namespace {

using Codes = std::vector<WPARAM>;
constexpr WPARAM kConnecting = 1, kNotConnected = 2, kSerialError = 3;

struct Outcome {
    int result = -1;
    Codes statuses;
    std::string why; // what the last status carried
    std::int32_t capacity = -1;
    DeviceCourseList courses;
};

Outcome Connect(const std::string& port) {
    BindUiThread();
    SetPortSearch(PortSearch{"/nonexistent-dev", "/nonexistent-sys", port});
    Outcome outcome;
    Recorder window;
    CreateWindowFor(window, 0);
    window.RunWhile([&] {
        outcome.result = ConnectDevice(window.Handle(), outcome.capacity, outcome.courses);
    });
    outcome.statuses = window.Statuses();
    outcome.why = window.LastStatusText();
    DestroyWindow(window.Handle());
    return outcome;
}

} // namespace

TEST(ConnectProcedure, AGoodDeviceIsReadWhole) {
    TempFolder dir;
    std::filesystem::create_directory(dir / "store");
    WriteFile(dir / "store/a.gof", CourseMap(u"Old Course", 1));
    WriteFile(dir / "store/b.gof", CourseMap(u"\u6c34\u592b", 2));
    Simulator device(dir / "link",
                     {"--capacity", "12", "--serial", "SN-0042", "--store", dir / "store"});
    ChangeSettings([](Settings& settings) { settings.serialNumber = u"older"; });

    Outcome outcome = Connect(device.Link());
    EXPECT_EQ(outcome.result, 1);
    EXPECT_EQ(outcome.statuses, Codes{kConnecting});
    EXPECT_EQ(outcome.capacity, 12);
    EXPECT_EQ(outcome.courses.Names(),
              (std::vector<std::u16string>{u"@\u6c34\u592b", u"Old Course"}));
    EXPECT_EQ(CopySettings().serialNumber, u"SN-0042");
    EXPECT_TRUE(Serial::Instance().IsOpen());
    // With the link up nothing is probed, even with no candidate at all.
    EXPECT_EQ(EnsureConnected({}), 1);
    DisconnectDevice();
    EXPECT_FALSE(Serial::Instance().IsOpen());
}

TEST(ConnectProcedure, NoDeviceAndPortsThatCannotOpenPostNotConnected) {
    TempFolder dir;
    Outcome missing = Connect(dir / "ttyUSB0");
    EXPECT_EQ(missing.result, 0);
    EXPECT_EQ(missing.statuses, (Codes{kConnecting, kNotConnected}));
    EXPECT_NE(missing.why.find("no such port"), std::string::npos) << missing.why;

    // A port that exists but cannot be opened is passed over, and the reason is kept.
    ::mkdir((dir / "ttyUSB1").c_str(), 0755);
    Outcome unusable = Connect(dir / "ttyUSB1");
    EXPECT_EQ(unusable.statuses, (Codes{kConnecting, kNotConnected}));
    EXPECT_NE(unusable.why.find(dir / "ttyUSB1"), std::string::npos) << unusable.why;
    EXPECT_FALSE(Serial::Instance().IsOpen());
    // Neither is a reason the user can act on: the status line leaves it to verdal-cli.
    StatusReason why;
    EXPECT_EQ(EnsureConnected({}, why), 0);
    EXPECT_EQ(why.kind, ReasonKind::Aside);
}

// Silence or a missing marker at each step, or an empty serial number: the port is closed and
// the status says why; an empty serial number is not stored.
TEST(ConnectProcedure, AFaultAtAnyStepPostsWhyAndCloses) {
    for (const char* fault :
         {"silent:FCON", "silent:RDCS", "nomarker:RDSN", "silent:CRLS", "empty-serial"}) {
        TempFolder dir;
        Simulator device(dir / "link", {"--fault", fault});
        ChangeSettings([](Settings& settings) { settings.serialNumber = u"kept"; });
        Outcome outcome = Connect(device.Link());
        EXPECT_EQ(outcome.result, 0) << fault;
        const WPARAM why = fault == std::string("empty-serial") ? kSerialError : kNotConnected;
        EXPECT_EQ(outcome.statuses, (Codes{kConnecting, why})) << fault;
        EXPECT_FALSE(Serial::Instance().IsOpen()) << fault;
        if (why == kSerialError) {
            EXPECT_EQ(CopySettings().serialNumber, u"kept");
        }
    }
}

TEST(PortProbing, FixedAndAutomaticPortsAreFoundInTheirFolders) {
    TempFolder dir;
    std::filesystem::create_directories(dir / "dev");
    Simulator device(dir / "dev/ttyUSB3");
    // A fixed port number names its port in the device folder.
    SetPortSearch(PortSearch{dir / "dev", dir / "sys", ""});
    ChangeSettings([](Settings& settings) { settings.comIndex = 3; });
    EXPECT_EQ(EnsureConnected({}), 1);
    Serial::Instance().Close();
    ChangeSettings([](Settings& settings) { settings.comIndex = 4; });
    EXPECT_EQ(EnsureConnected({dir / "dev/ttyUSB3"}), 0);
    // The automatic search tries the candidates in order, passing over the silent ones.
    Simulator mute(dir / "dev/ttyUSB0", {"--fault", "silent:FCON"});
    ChangeSettings([](Settings& settings) { settings.comIndex = kAutoPort; });
    EXPECT_EQ(EnsureConnected({dir / "dev/ttyUSB9", mute.Link(), device.Link()}), 1);
    DisconnectDevice();
}

// The device stops answering after the handshake. The failure, once reported, makes the next
// attempt open the port and send its handshake while the failed worker has not yet ended; the
// device answers that handshake only after the worker has ended, and the answer must reach the
// new attempt: the failed exchange let go of the link before its failure was reported.
TEST(ConnectProcedure, AFailedStepHasLetGoOfTheLinkBeforeItIsReported) {
    FakeDevice device;
    SetPortSearch(PortSearch{"/nonexistent-dev", "/nonexistent-sys", device.Path()});
    ManualResetEvent reported, proceed;
    std::thread worker([&] {
        std::int32_t capacity = 0;
        DeviceCourseList courses;
        ConnectDevice(
            [&](StatusCode code, const StatusReason&) {
                if (code != StatusCode::NotConnected)
                    return;
                reported.Set();
                proceed.Wait(20000);
            },
            capacity, courses);
    });
    ASSERT_EQ(device.Read(6), "$FCON\r");
    device.Write("$OKCN\r");
    ASSERT_EQ(device.Read(6), "$RDCS\r"); // unanswered: the capacity step fails
    ASSERT_TRUE(reported.Wait(20000));
    // The next attempt, as the status handler starts it; its receiver is in place before its
    // handshake goes out.
    int answered = -1;
    std::thread next([&] { answered = EnsureConnected({}); });
    EXPECT_EQ(device.Read(6), "$FCON\r");
    proceed.Set();
    worker.join();
    device.Write("$OKCN\r");
    next.join();
    EXPECT_EQ(answered, 1);
    DisconnectDevice();
}
