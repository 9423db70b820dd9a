// Port discovery on a sysfs folder of the test's own.
#include "device/port_discovery.h"

#include "tests/support/temp_folder.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <tuple>

using namespace verdal;
namespace fs = std::filesystem;

namespace {

class FakeSysfs {
public:
    // A terminal whose device is bound to the driver (none: a terminal with no device); only the
    // driver link's name counts, so the driver's folder need not exist.
    void Add(const std::string& name, const std::string& driverPath) {
        const fs::path device = root / "devices" / name;
        fs::create_directories(device);
        if (!driverPath.empty())
            fs::create_directory_symlink(root / driverPath, device / "driver");
        fs::create_directories(root / "class/tty" / name);
        fs::create_directory_symlink(device, root / "class/tty" / name / "device");
    }
    // A USB adapter's terminal at its place on the bus, below its interface, as the kernel lays
    // it out; serial empty for a cable without one.
    void AddUsb(const std::string& name, const std::string& place, const std::string& serial) {
        const fs::path usb = root / "devices/usb1" / place;
        fs::create_directories(usb / (place + ":1.0") / name);
        test::WriteFile((usb / "idVendor").string(), "0403\n");
        test::WriteFile((usb / "idProduct").string(), "6001\n");
        if (!serial.empty())
            test::WriteFile((usb / "serial").string(), serial + "\n");
        fs::create_directories(root / "class/tty" / name);
        fs::create_directory_symlink(usb / (place + ":1.0") / name,
                                     root / "class/tty" / name / "device");
    }
    PortSearch Search() const { return PortSearch{"/devdir", root.string(), ""}; }
    test::TempFolder folder;
    const fs::path root = folder.Path();
};

} // namespace

// With no USB adapter, the thirty ports by number, unless a port is named outright; with adapters,
// Prolific's first, then the others, each in number order.
TEST(PortDiscovery, FallsBackToThirtyPortsHonoursANamedPortAndPutsProlificFirst) {
    FakeSysfs sys;
    sys.Add("ttyS0", "bus/platform/drivers/serial8250"); // not a USB adapter
    const auto ports = EnumSerialPorts(sys.Search());
    ASSERT_EQ(ports.size(), 30u);
    EXPECT_EQ(ports.front(), "/devdir/ttyUSB0");
    EXPECT_EQ(ports.back(), "/devdir/ttyUSB29");
    EXPECT_EQ(EnumSerialPorts(PortSearch{"/devdir", "/no/such/sys", ""}).size(), 30u);
    EXPECT_EQ(EnumSerialPorts(PortSearch{"/devdir", sys.root.string(), "/tmp/link"}),
              (std::vector<std::string>{"/tmp/link"}));
    EXPECT_EQ(PortName(3, sys.Search()), "/devdir/ttyUSB3");
    EXPECT_EQ(PortName(20, PortSearch{}), "/dev/ttyUSB20");
    const auto choices = PortChoices(PortSearch{});
    ASSERT_EQ(choices.size(), 22u);
    EXPECT_EQ(std::tie(choices[0].text, choices[0].value), std::tuple("Auto", kAutoPort));
    EXPECT_EQ(std::tie(choices[4].text, choices[4].value), std::tuple("/dev/ttyUSB3", 3));

    sys.Add("ttyUSB10", "bus/usb-serial/drivers/pl2303");
    sys.Add("ttyUSB0", "bus/usb-serial/drivers/ftdi_sio");
    sys.Add("ttyACM0", "bus/usb/drivers/cdc_acm");
    sys.Add("ttyUSB2", "bus/usb-serial/drivers/pl2303");
    sys.Add("ttyUSB1", "bus/usb-serial/drivers/pl2303");
    sys.Add("tty1", "");
    sys.Add("ttyUSB9", ""); // a terminal without a device behind it
    EXPECT_EQ(EnumSerialPorts(sys.Search()),
              (std::vector<std::string>{"/devdir/ttyUSB1", "/devdir/ttyUSB2", "/devdir/ttyUSB10",
                                        "/devdir/ttyUSB0", "/devdir/ttyACM0"}));
}

// Only the device's adapter is connected by itself: a Prolific cable, or the adapter it last
// answered on, known by its serial number or, without one, by its place on the bus; with a
// fixed port or one named outright, that port alone.
TEST(PortDiscovery, APortConnectsByItselfOnlyWhenItIsTheDevicesAdapter) {
    FakeSysfs sys;
    sys.Add("ttyUSB0", "bus/usb-serial/drivers/pl2303");
    sys.AddUsb("ttyUSB1", "1-2", "A50285BI");
    sys.AddUsb("ttyUSB2", "1-3.1", "");
    const PortSearch search = sys.Search();
    EXPECT_EQ(AdapterOf("/devdir/ttyUSB1", search), "usb 0403:6001 serial A50285BI");
    EXPECT_EQ(AdapterOf("/devdir/ttyUSB2", search), "usb 0403:6001 at 1-3.1");
    EXPECT_EQ(AdapterOf("/devdir/ttyUSB0", search), "");

    const std::string remembered = "usb 0403:6001 at 1-3.1";
    const auto connects = [&](const char* port, std::int32_t comIndex, PortSearch where) {
        return ConnectsByItself(port, where, comIndex, remembered);
    };
    EXPECT_TRUE(connects("/devdir/ttyUSB0", kAutoPort, search));
    EXPECT_FALSE(connects("/devdir/ttyUSB1", kAutoPort, search));
    EXPECT_TRUE(connects("/devdir/ttyUSB2", kAutoPort, search));
    EXPECT_FALSE(ConnectsByItself("/devdir/ttyUSB2", search, kAutoPort, ""));
    EXPECT_TRUE(connects("/devdir/ttyUSB1", 1, search));
    EXPECT_FALSE(connects("/devdir/ttyUSB0", 1, search));
    PortSearch named = search;
    named.port = "/devdir/ttyUSB1";
    EXPECT_TRUE(connects("/devdir/ttyUSB1", kAutoPort, named));
    EXPECT_FALSE(connects("/devdir/ttyUSB0", kAutoPort, named));
}
