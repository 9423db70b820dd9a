// Requests and the XMODEM sender against a device the test plays byte by byte.
#include "device/course_name.h"
#include "device/requests.h"
#include "device/send_cf_req.h"
#include "device/serial.h"
#include "tests/support/device_harness.h"
#include "tests/support/message_recorder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <memory>
#include <thread>

using namespace verdal;
using namespace verdal::test;

namespace {

// The serial link open on a device the test plays itself.
struct Requests : ::testing::Test {
    FakeDevice device;
    Serial& serial = Serial::Instance();
    ManualResetEvent completion;
    void SetUp() override { ASSERT_EQ(serial.Open(device.Path(), 115200), 1); }
    void TearDown() override { serial.Close(); }

    // Plays the device on a thread of its own, joined when it goes: reads the command, then after
    // the pause writes each reply.
    std::jthread Answer(const std::string& command, const std::vector<std::string>& replies,
                        std::chrono::milliseconds pause = {}) {
        return std::jthread([this, command, replies, pause] {
            EXPECT_EQ(device.Read(command.size()), command);
            std::this_thread::sleep_for(pause);
            for (const std::string& reply : replies)
                device.Write(reply);
        });
    }
};

// A request of the kind that reports to nobody.
template <typename Request> std::unique_ptr<ReqBase> Made() {
    return std::make_unique<Request>(nullptr);
}

} // namespace

// Each exchange's device thread ends with its request.
TEST_F(Requests, WriteTheirExactBytesAndJudgeTheWholeReply) {
    {
        // The delete command carries the name in the device's form: 24 bytes for an "@" name. A
        // marker split across deliveries is still found.
        const auto answer =
            Answer(std::string("$CRDC \x91@\x34\x6c", 10) + std::string(14, '\0'), {"$OK", "DC"});
        DeleteCourseReq request(&completion, DeviceNameBytes(u"@\u6c34"));
        EXPECT_TRUE(request.WaitForReply());
    }
    {
        // A marker hidden behind a zero byte is not found, and the reply is judged, not timed out.
        const auto answer = Answer(std::string("$CRDC \x94Old Course", 17) + std::string(10, '\0'),
                                   {std::string("\0$OKDC", 6)});
        DeleteCourseReq request(&completion, DeviceNameBytes(u"Old Course"));
        EXPECT_FALSE(request.WaitForReply());
        EXPECT_TRUE(completion.IsSet());
    }
    {
        const auto answer = Answer("$RDSN\r", {std::string(40, 'S') + "\r$OKRD"});
        SerialNumReq request(&completion);
        ASSERT_TRUE(request.WaitForReply());
        EXPECT_EQ(request.serialNumber, std::u16string(32, u'S'));
    }
}

TEST_F(Requests, JudgeWhatArrivesDuringTheWholeWindow) {
    // Two thirds into the 3000 ms window: late, yet far enough from its end that a busy machine
    // still delivers the bytes in time.
    const auto late = std::chrono::milliseconds(CommandOf(Command::ListCourses).windowMs * 2 / 3);

    // A list answered at once is judged only when the window is over, so an entry that
    // follows late still belongs to it.
    {
        std::jthread answer([&] {
            ASSERT_EQ(device.Read(6), "$CRLS\r");
            device.Write("$OKCN\r\x05"
                         "Alpha");
            std::this_thread::sleep_for(late);
            EXPECT_FALSE(completion.IsSet()) << "judged before the window had passed";
            device.Write(std::string("\x04"
                                     "Beta\0",
                                     6));
        });
        ListCoursesReq request(&completion);
        EXPECT_TRUE(request.WaitForReply());
        EXPECT_EQ(request.courseNames, (std::vector<std::u16string>{u"Alpha", u"Beta"}));
    }
    // A marker that comes only late in the window is seen.
    const auto answer = Answer("$CRCA\r", {"$OKCA"}, late);
    EXPECT_TRUE(ClearCoursesReq(&completion).WaitForReply());
}

TEST_F(Requests, DropTheDeliveriesThatNoLongerFitTheReplyBuffer) {
    // A list of 1000 courses, 12,007 bytes: what was kept ends with the last delivery that
    // still fitted, and every course up to there is listed.
    std::string list = "$OKCN\r";
    std::vector<std::u16string> names;
    for (int i = 1; i <= 1000; ++i) {
        const std::string name = "Course " + std::to_string(10000 + i).substr(1);
        list += char(11) + name;
        names.emplace_back(name.begin(), name.end());
    }
    list += '\0';
    {
        const auto answer = Answer("$CRLS\r", {list});
        ListCoursesReq request(&completion);
        EXPECT_TRUE(request.WaitForReply());
        const std::size_t kept = request.ReceivedCount();
        // Deliveries are at most 256 bytes, so the first one dropped begins no earlier than this.
        const std::size_t surelyWhole = ReqBase::kReplySize - Serial::kBufferSize;
        EXPECT_LT(kept, ReqBase::kReplySize);
        EXPECT_GE(kept, surelyWhole);
        EXPECT_EQ(request.Reply()[kept], 0);
        EXPECT_EQ(std::string(reinterpret_cast<const char*>(request.Reply()), surelyWhole),
                  list.substr(0, surelyWhole));
        names.resize((surelyWhole - 6) / 12);
        ASSERT_GE(request.courseNames.size(), names.size());
        const auto listed = request.courseNames.begin();
        EXPECT_EQ(std::vector(listed, listed + static_cast<std::ptrdiff_t>(names.size())), names);
    }

    // Garbage without end and without a marker: the buffer stays bounded and the request is
    // judged a failure, not left to time out.
    std::atomic<bool> talking{true};
    std::thread babble([&] { device.Babble("#~\x7f\xfe junk ", talking); });
    {
        ConnectReq request(&completion);
        EXPECT_FALSE(request.WaitForReply());
        EXPECT_TRUE(completion.IsSet());
        EXPECT_LT(request.ReceivedCount(), ReqBase::kReplySize);
        EXPECT_EQ(request.Reply()[request.ReceivedCount()], 0);
    }
    talking = false;
    babble.join();
}

TEST_F(Requests, AreNeverCalledWhileBeingDestroyedAndTimeOutOnAClosedLink) {
    BindUiThread();
    std::atomic<bool> talking{true};
    std::thread babble([&] {
        device.Babble("12\r$OKCN$OKRD\r$OKFS\x06\x06\x15\x06"
                      "C",
                      talking);
    });

    // Each request is destroyed, without waiting for its event, at another moment around the
    // end of its 500 ms window, where the reply is evaluated while bytes keep arriving.
    using Make = std::unique_ptr<ReqBase> (*)();
    const Make makes[] = {Made<ConnectReq>, Made<CapacityReq>, Made<SerialNumReq>, Made<ExitReq>};
    for (int i = 0; i < 12; ++i) {
        std::unique_ptr<ReqBase> request = makes[i % 4]();
        const std::uint32_t windowMs = request->WaitMs() - kWaitBeyondWindowMs;
        Sleep(windowMs - 60 + static_cast<std::uint32_t>(i) * 10);
        request.reset();
    }

    // Transfers destroyed while acknowledgements keep drawing blocks from them.
    const std::vector<std::uint8_t> data(7296, 0x5A);
    for (int i = 0; i < 100; ++i) {
        auto request = std::make_unique<SendCFReq>(nullptr, data.data(),
                                                   static_cast<std::uint32_t>(data.size()), 0);
        request->StartTransfer();
        Sleep(static_cast<std::uint32_t>(i % 8));
        request.reset();
    }
    EXPECT_TRUE(serial.IsOpen());
    talking = false;
    babble.join();

    // Once the link is closed a request times out instead of answering.
    serial.Close();
    CapacityReq request(&completion);
    EXPECT_FALSE(request.WaitForReply());
    EXPECT_FALSE(completion.IsSet());
    EXPECT_EQ(request.capacity, 20);
}

using CourseSender = Requests;

TEST_F(CourseSender, SendsEachBlockUntilAcknowledgedAndEndsOnlyWhenEotIsAcknowledged) {
    BindUiThread();
    std::vector<std::uint8_t> data(7296);
    for (std::size_t i = 0; i < data.size(); ++i)
        data[i] = static_cast<std::uint8_t>(i * 7 + i / 256);

    Recorder page;
    const HWND pageWindow = CreateWindowFor(page, 0);
    const std::string ack(1, char(kAck)), nak(1, char(kNak)), eot(1, char(kEot));
    std::jthread playDevice([&] {
        ASSERT_EQ(device.Read(6), "$NCFS\r");
        device.Write("$OKFS");
        ASSERT_EQ(device.Read(6), "$STRT\r");
        device.Write(nak); // a NAK before any block asks for the first
        for (std::uint32_t n = 1; n <= 57; ++n) {
            const std::string block = device.Read(133);
            ASSERT_EQ(block, XmodemBlockText(data, (n - 1) * 128)) << "block " << n;
            if (n == 5 || n == 57) {
                device.Write(nak);
                ASSERT_EQ(device.Read(133), block) << "block " << n << " again, and nothing else";
            }
            if (n == 1)
                device.Write("C"); // ignored: the transfer is under way
            device.Write(ack);
        }
        ASSERT_EQ(device.Read(1), eot) << "EOT once the last block is acknowledged";
        device.Write(nak);
        ASSERT_EQ(device.Read(1), eot) << "EOT again after its NAK";
        EXPECT_FALSE(completion.IsSet()) << "the transfer ended before EOT was acknowledged";
        device.Write(ack);
    });
    bool transferred = false;
    page.RunWhile([&] {
        SendCFReq request(&completion, data.data(), static_cast<std::uint32_t>(data.size()),
                          pageWindow);
        if (!request.WaitForReply())
            return;
        request.StartTransfer();
        transferred = completion.Wait(kTransferWaitMs);
    });
    EXPECT_TRUE(transferred);
    const std::vector<WPARAM> progress = page.Progress();
    // One for each byte the device said: the first NAK, an ACK a block, two NAKs and a "C" among
    // the blocks, a NAK and an ACK for EOT.
    ASSERT_EQ(progress.size(), 1u + 57 + 3 + 2);
    EXPECT_EQ(progress.front(), 20u);
    EXPECT_EQ(progress.back(), 100u);
    EXPECT_TRUE(std::is_sorted(progress.begin(), progress.end()));
    DestroyWindow(pageWindow);
}
