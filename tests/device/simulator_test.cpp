// The device simulator itself, spoken to byte by byte: its course list as stored, and its
// XMODEM-CRC receiver, which takes only whole blocks in order.
#include "device/send_cf_req.h"
#include "platform/serial_port.h"
#include "tests/support/device_harness.h"
#include "tests/support/programs.h"
#include "tests/support/temp_folder.h"

#include <gtest/gtest.h>

#include <filesystem>

using namespace verdal;
using namespace verdal::test;

namespace {

const std::string ack(1, char(kAck)), nak(1, char(kNak)), eot(1, char(kEot));

// Says the bytes to the simulator and collects its answer until count bytes have come or 5 s
// have passed.
std::string Ask(SerialPort& port, const std::string& bytes, std::size_t count) {
    EXPECT_EQ(port.Write(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()),
              bytes.size());
    std::string got;
    for (int i = 0; i < 25 && got.size() < count; ++i) {
        std::uint8_t buffer[256];
        const std::size_t n =
            port.Read(buffer, std::min<std::size_t>(sizeof buffer, count - got.size()));
        got.append(reinterpret_cast<const char*>(buffer), n);
    }
    return got;
}

// Opens a transfer, has each of the refused blocks refused, then sends every block of map, each
// acknowledged.
void SendBlocks(SerialPort& port, const std::vector<std::uint8_t>& map,
                const std::vector<std::string>& refused = {}) {
    ASSERT_EQ(Ask(port, "$NCFS\r", 5), "$OKFS");
    ASSERT_EQ(Ask(port, "$STRT\r", 1), "C");
    for (const std::string& block : refused)
        EXPECT_EQ(Ask(port, block, 1), nak) << "refused block " << &block - refused.data();
    for (std::uint32_t position = 0; position < map.size(); position += 128)
        ASSERT_EQ(Ask(port, XmodemBlockText(map, position), 1), ack) << position;
}

} // namespace

TEST(DeviceSimulator, ListsItsStoredCoursesAndReceivesOnlyWholeBlocksInOrder) {
    TempFolder dir;
    std::filesystem::create_directory(dir / "store");
    WriteFile(dir / "store/a.gof", CourseMap(u"Augusta", 1));
    WriteFile(dir / "store/b.gof", CourseMap(u"\u6c34\u592b", 2));
    Simulator device(dir / "link", {"--store", dir / "store"});
    SerialPort port;
    ASSERT_TRUE(port.Open(device.Link(), 115200)) << port.Error();

    EXPECT_EQ(Ask(port, "$CRLS\r", 21), std::string("$OKCN\r\x07"
                                                    "Augusta\x05@\x34\x6c\x2b\x59\0",
                                                    21));
    // A block with a bad CRC, and one out of order, are refused.
    const std::vector<std::uint8_t> map = CourseMap(u"Muirfield", 5);
    std::string damaged = XmodemBlockText(map, 0);
    damaged[50] ^= 0x01;
    SendBlocks(port, map, {damaged, XmodemBlockText(map, 128)});
    EXPECT_EQ(Ask(port, XmodemBlockText(map, 7296 - 128), 1), ack) << "a repeat is acknowledged";
    EXPECT_EQ(Ask(port, eot, 1), ack);

    EXPECT_NE(Ask(port, "$CRLS\r", 32).find("\x09Muirfield"), std::string::npos);
    EXPECT_EQ(Ask(port, "$EXIT\r", 5), "$EXCN");
}

TEST(DeviceSimulator, AnswersEotAsItsFaultsSay) {
    const std::vector<std::uint8_t> map = CourseMap(u"Muirfield", 5);
    {
        TempFolder dir;
        Simulator device(dir / "link", {"--fault", "nak-eot"});
        SerialPort port;
        ASSERT_TRUE(port.Open(device.Link(), 115200)) << port.Error();
        SendBlocks(port, map);
        EXPECT_EQ(Ask(port, eot, 1), nak) << "the first EOT is refused";
        EXPECT_EQ(Ask(port, eot, 1), ack);
        EXPECT_NE(Ask(port, "$CRLS\r", 32).find("\x09Muirfield"), std::string::npos);
    }
    {
        // A receiver that answers EOT late takes a command that follows EOT at once as the
        // sender's giving up: nothing is acknowledged and nothing kept.
        TempFolder dir;
        Simulator device(dir / "link", {"--fault", "eot-late:5000"});
        SerialPort port;
        ASSERT_TRUE(port.Open(device.Link(), 115200)) << port.Error();
        SendBlocks(port, map);
        EXPECT_EQ(Ask(port, eot + "$CRLS\r", 7), std::string("$OKCN\r\0", 7));
    }
}
