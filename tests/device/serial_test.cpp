// The serial link on a real pseudo-terminal: opening, delivering, swapping receivers, failing.
#include "device/serial.h"
#include "platform/event.h"
#include "platform/serial_port.h"
#include "tests/support/device_harness.h"
#include "tests/support/temp_folder.h"

#include <gtest/gtest.h>

#include <atomic>
#include <stdexcept>
#include <unistd.h>

using namespace verdal;
using namespace verdal::test;

TEST(SerialLink, DeliversBytesSwapsReceiversCleanlyAndClosesOnAFault) {
    FakeDevice device;
    Serial serial;
    ASSERT_EQ(serial.Open(device.Path(), 115200), 1);
    EXPECT_TRUE(serial.IsOpen());

    // Empty deliveries come as a clock, at both read sizes.
    for (std::uint32_t size : {256u, 1u}) {
        ManualResetEvent empty;
        serial.SetReceiver(
            [&](const std::uint8_t*, std::uint32_t count) {
                if (count == 0)
                    empty.Set();
            },
            size);
        EXPECT_TRUE(empty.Wait(5000)) << "read size " << size;
        // The event ends with this pass: the receiver that sets it must go first.
        serial.SetIdleReceiver();
    }

    std::string got;
    ManualResetEvent arrived;
    std::atomic<bool> swapped{false}, calledAfterSwap{false};
    serial.SetReceiver(
        [&](const std::uint8_t* bytes, std::uint32_t count) {
            if (swapped.load())
                calledAfterSwap = true;
            got.append(reinterpret_cast<const char*>(bytes), count);
            if (got.size() >= 5)
                arrived.Set();
        },
        256);
    device.Write("$OKCN");
    ASSERT_TRUE(arrived.Wait(5000));
    EXPECT_EQ(got, "$OKCN");

    serial.SetIdleReceiver();
    swapped = true;
    device.Write("more bytes for nobody");
    ManualResetEvent later;
    serial.SetReceiver([&](const std::uint8_t*, std::uint32_t) { later.Set(); }, 256);
    ASSERT_TRUE(later.Wait(5000));
    EXPECT_FALSE(calledAfterSwap.load());

    serial.Write("$FCON\r", 6);
    EXPECT_EQ(device.Read(6), "$FCON\r");
    serial.Close();
    EXPECT_FALSE(serial.IsOpen());
    // Once closed the port can be opened again at once: the exclusive hold went with it.
    ASSERT_EQ(serial.Open(device.Path(), 115200), 1);

    // A receiver that throws closes the link, and so does a write that fails.
    serial.SetReceiver(
        [](const std::uint8_t*, std::uint32_t count) {
            if (count > 0)
                throw std::runtime_error("receiver fault");
        },
        256);
    device.Write("x");
    EXPECT_TRUE(WaitUntil([&] { return !serial.IsOpen(); }));
    serial.Close();

    ASSERT_EQ(serial.Open(device.Path(), 115200), 1);
    device.HangUp();
    EXPECT_EQ(serial.Write("$FCON\r", 6), 1);
    EXPECT_FALSE(serial.IsOpen());
}

TEST(SerialLink, ASecondOpenOfAnOpenPortIsRefusedAndNamesItsHolder) {
    FakeDevice device;
    SerialPort first;
    ASSERT_TRUE(first.Open(device.Path(), 115200));
    const std::string self = ReadFile("/proc/self/comm");
    const std::string holder =
        self.substr(0, self.find('\n')) + " (pid " + std::to_string(::getpid()) + ")";
    EXPECT_EQ(PortHolder(device.Path()), holder);
    SerialPort second;
    EXPECT_FALSE(second.Open(device.Path(), 115200));
    EXPECT_EQ(second.Error(), device.Path() + ": the device is in use by " + holder);
    EXPECT_EQ(second.Refusal(), OpenRefusal::Held);
    first.Close();
    EXPECT_EQ(PortHolder(device.Path()), "");
    EXPECT_TRUE(second.Open(device.Path(), 115200));
}

// A pull first met by a write (the receive thread busy in its receiver, not reading) is a lost
// link all the same: counted once, and its loss token stopped.
TEST(SerialLink, AWriteThatFindsThePortGoneCountsALoss) {
    FakeDevice device;
    TempFolder folder;
    const std::string link = folder / "ttyUSB0";
    ASSERT_EQ(::symlink(device.Path().c_str(), link.c_str()), 0);
    Serial serial;
    ASSERT_EQ(serial.Open(link, 115200), 1);
    const std::stop_token lost = serial.LossToken();
    ManualResetEvent busy, never;
    serial.SetReceiver(
        [&](const std::uint8_t*, std::uint32_t) {
            busy.Set();
            never.Wait(3000);
        },
        256);
    ASSERT_TRUE(busy.Wait(5000));
    ::unlink(link.c_str());
    device.HangUp();
    const std::uint8_t command[] = {'$', 'F', 'C', 'O', 'N', '\r'};
    serial.Write(command, sizeof command);
    EXPECT_FALSE(serial.IsOpen());
    EXPECT_EQ(serial.Losses(), 1u);
    EXPECT_TRUE(lost.stop_requested());
}
