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

// Collects what the simulator says until count bytes have come or 5 s have passed.
std::string Expect(SerialPort& port, std::size_t count) {
    std::string got;
    for (int i = 0; i < 25 && got.size() < count; ++i) {
        std::uint8_t buffer[256];
        const std::size_t n =
            port.Read(buffer, std::min<std::size_t>(sizeof buffer, count - got.size()));
        got.append(reinterpret_cast<const char*>(buffer), n);
    }
    return got;
}

void Say(SerialPort& port, const std::string& bytes) {
    ASSERT_EQ(port.Write(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()),
              bytes.size());
}

// Opens a transfer and sends every block of map, each acknowledged.
void SendBlocks(SerialPort& port, const std::vector<std::uint8_t>& map) {
    Say(port, "$NCFS\r");
    ASSERT_EQ(Expect(port, 5), "$OKFS");
    Say(port, "$STRT\r");
    ASSERT_EQ(Expect(port, 1), "C");
    for (std::uint32_t position = 0; position < map.size(); position += 128) {
        Say(port, XmodemBlockText(map, position));
        ASSERT_EQ(Expect(port, 1), std::string(1, char(kAck))) << position;
    }
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

    Say(port, "$CRLS\r");
    const std::string list = Expect(port, 6 + 8 + 6 + 1);
    EXPECT_EQ(list, std::string("$OKCN\r\x07"
                                "Augusta\x05@\x34\x6c\x2b\x59\0",
                                6 + 8 + 6 + 1));

    Say(port, "$NCFS\r");
    EXPECT_EQ(Expect(port, 5), "$OKFS");
    Say(port, "$STRT\r");
    EXPECT_EQ(Expect(port, 1), "C");
    const std::vector<std::uint8_t> map = CourseMap(u"Muirfield", 5);
    std::string damaged = XmodemBlockText(map, 0);
    damaged[50] ^= 0x01;
    Say(port, damaged);
    EXPECT_EQ(Expect(port, 1), std::string(1, char(kNak))) << "a bad CRC";
    Say(port, XmodemBlockText(map, 128));
    EXPECT_EQ(Expect(port, 1), std::string(1, char(kNak))) << "a block out of order";
    for (std::uint32_t position = 0; position < map.size(); position += 128) {
        Say(port, XmodemBlockText(map, position));
        ASSERT_EQ(Expect(port, 1), std::string(1, char(kAck))) << position;
    }
    Say(port, XmodemBlockText(map, static_cast<std::uint32_t>(map.size()) - 128));
    EXPECT_EQ(Expect(port, 1), std::string(1, char(kAck))) << "a repeat is acknowledged";
    Say(port, std::string(1, char(kEot)));
    EXPECT_EQ(Expect(port, 1), std::string(1, char(kAck)));

    Say(port, "$CRLS\r");
    EXPECT_NE(Expect(port, 32).find("\x09Muirfield"), std::string::npos);
    Say(port, "$EXIT\r");
    EXPECT_EQ(Expect(port, 5), "$EXCN");
}

TEST(DeviceSimulator, AnswersEotAsItsFaultsSay) {
    const std::vector<std::uint8_t> map = CourseMap(u"Muirfield", 5);
    const std::string eot(1, char(kEot));
    {
        TempFolder dir;
        Simulator device(dir / "link", {"--fault", "nak-eot"});
        SerialPort port;
        ASSERT_TRUE(port.Open(device.Link(), 115200)) << port.Error();
        SendBlocks(port, map);
        Say(port, eot);
        EXPECT_EQ(Expect(port, 1), std::string(1, char(kNak))) << "the first EOT is refused";
        Say(port, eot);
        EXPECT_EQ(Expect(port, 1), std::string(1, char(kAck)));
        Say(port, "$CRLS\r");
        EXPECT_NE(Expect(port, 32).find("\x09Muirfield"), std::string::npos);
    }
    {
        // A receiver that answers EOT late takes a command that follows EOT at once as the
        // sender's giving up: nothing is acknowledged and nothing kept.
        TempFolder dir;
        Simulator device(dir / "link", {"--fault", "eot-late:5000"});
        SerialPort port;
        ASSERT_TRUE(port.Open(device.Link(), 115200)) << port.Error();
        SendBlocks(port, map);
        Say(port, eot + "$CRLS\r");
        EXPECT_EQ(Expect(port, 7), std::string("$OKCN\r\0", 7));
    }
}
