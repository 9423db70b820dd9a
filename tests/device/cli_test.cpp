// verdal-cli's device commands against the simulator.
#include "tests/device/device_harness.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sys/wait.h>

using namespace verdal::test;
namespace fs = std::filesystem;

namespace {

struct CliRun {
    int code = -1;
    std::string out;
    std::string err;
};

std::string ReadText(const std::string& path) {
    std::ifstream in(path);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

CliRun Cli(const TempDir& dir, const std::string& args) {
    const char* bin = std::getenv("VERDAL_BIN");
    const std::string command = std::string(bin ? bin : "build/bin") + "/verdal-cli --data-dir '" +
                                (dir / "data") + "' " + args + " >'" + (dir / "out") + "' 2>'" +
                                (dir / "err") + "'";
    const int status = std::system(command.c_str());
    CliRun run;
    run.code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    run.out = ReadText(dir / "out");
    run.err = ReadText(dir / "err");
    return run;
}

} // namespace

TEST(DeviceCommands, InfoSendRemoveAndClearOnTheSimulatedDevice) {
    TempDir dir;
    fs::create_directory(dir / "store");
    WriteFile(dir / "store/1.gof", NarrowCourseMap("Augusta", 1));
    WriteFile(dir / "store/2.gof", WideCourseMap(u"\u6c34\u592b", 2));
    WriteFile(dir / "map.gof", NarrowCourseMap("Muirfield", 3));
    WriteFile(dir / "short.gof", std::vector<std::uint8_t>(7264, 1));
    Simulator device(dir / "link",
                     {"--capacity", "3", "--serial", "SN-77", "--store", dir / "store"});
    const std::string port = "--port '" + device.Link() + "' ";

    CliRun info = Cli(dir, port + "info");
    EXPECT_EQ(info.code, 0) << info.err;
    EXPECT_NE(info.out.find("capacity: 3\n"), std::string::npos) << info.out;
    EXPECT_NE(info.out.find("serial number: SN-77\n"), std::string::npos) << info.out;
    EXPECT_NE(info.out.find("courses: 2\n  @\u6c34\u592b\n  Augusta\n"), std::string::npos)
        << info.out;

    CliRun send = Cli(dir, port + "send '" + (dir / "map.gof") + "'");
    EXPECT_EQ(send.code, 0) << send.err;
    EXPECT_NE(send.out.find("sent: Muirfield"), std::string::npos);
    EXPECT_NE(send.err.find("progress 100%"), std::string::npos);

    // Full now: the device has room for three.
    CliRun full = Cli(dir, port + "send '" + (dir / "map.gof") + "'");
    EXPECT_EQ(full.code, 1);
    EXPECT_NE(full.err.find("full (3/3)"), std::string::npos) << full.err;

    CliRun absent = Cli(dir, port + "remove Nowhere");
    EXPECT_EQ(absent.code, 1);
    EXPECT_NE(absent.err.find("no course named \"Nowhere\""), std::string::npos);

    CliRun removal = Cli(dir, port + "remove Augusta '@\u6c34\u592b'");
    EXPECT_EQ(removal.code, 0) << removal.err;
    CliRun clear = Cli(dir, port + "clear");
    EXPECT_EQ(clear.code, 0) << clear.err;
    EXPECT_TRUE(fs::is_empty(dir / "store"));
}

TEST(DeviceCommands, WrongUsageAndMissingDeviceAreToldApart) {
    TempDir dir;
    EXPECT_EQ(Cli(dir, "send").code, 2);
    EXPECT_EQ(Cli(dir, "info extra").code, 2);
    CliRun shortMap = Cli(dir, "send /dev/null");
    EXPECT_EQ(shortMap.code, 1);
    EXPECT_NE(shortMap.err.find("7296"), std::string::npos);
    CliRun missing = Cli(dir, "--port '" + (dir / "ttyUSB0") + "' info");
    EXPECT_EQ(missing.code, 1);
    EXPECT_NE(missing.err.find("no such port"), std::string::npos) << missing.err;
    CliRun ports = Cli(dir, "--dev-dir /devdir --sys-dir '" + (dir / "nosys") + "' ports");
    EXPECT_EQ(ports.code, 0);
    EXPECT_EQ(ports.out.substr(0, 30), "/devdir/ttyUSB0\n/devdir/ttyUSB");
}
