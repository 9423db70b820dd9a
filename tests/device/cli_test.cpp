// verdal-cli's device commands against the simulator.
#include "tests/device/device_harness.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

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

// On a terminal the progress is one line drawn again in place, a bar with the percentage and the
// course's name; the terminal's line ends once, when the command is done.
TEST(DeviceCommands, ProgressOnATerminalIsOneLineRedrawnInPlace) {
    TempDir dir;
    fs::create_directory(dir / "store");
    WriteFile(dir / "map.gof", NarrowCourseMap("Muirfield", 3));
    Simulator device(dir / "link", {"--store", dir / "store"});
    const int master = ::posix_openpt(O_RDWR | O_NOCTTY);
    ASSERT_GE(master, 0);
    ASSERT_EQ(::grantpt(master), 0);
    ASSERT_EQ(::unlockpt(master), 0);
    const std::string terminal = ::ptsname(master);
    const char* bin = std::getenv("VERDAL_BIN");
    const std::string program = std::string(bin ? bin : "build/bin") + "/verdal-cli";
    const std::string data = dir / "data", link = device.Link(), map = dir / "map.gof",
                      out = dir / "out";
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        const int err = ::open(terminal.c_str(), O_RDWR | O_NOCTTY);
        const int file = ::open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        ::dup2(err, STDERR_FILENO);
        ::dup2(file, STDOUT_FILENO);
        ::execl(program.c_str(), program.c_str(), "--data-dir", data.c_str(), "--port",
                link.c_str(), "send", map.c_str(), static_cast<char*>(nullptr));
        ::_exit(127);
    }
    std::string err;
    char buffer[512];
    pollfd in{master, POLLIN, 0};
    int status = 0;
    while (::waitpid(child, &status, WNOHANG) == 0 || ::poll(&in, 1, 0) > 0) {
        if (::poll(&in, 1, 100) > 0) {
            const ssize_t n = ::read(master, buffer, sizeof buffer);
            if (n <= 0)
                break;
            err.append(buffer, static_cast<std::size_t>(n));
        }
    }
    ::close(master);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << err;
    EXPECT_EQ(ReadText(out), "sent: Muirfield\n");
    // Two lines: the connect status, and the progress line once it is done (the terminal turns
    // each newline into a carriage return and a line feed).
    EXPECT_EQ(err.find("CONNECTING TO DEVICE\r\n"), 0u) << err;
    EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 2) << err;
    EXPECT_GT(std::count(err.begin(), err.end(), '\r'), 5) << err;
    EXPECT_NE(err.find("[##############################] 100%  Muirfield"), std::string::npos)
        << err;
    EXPECT_EQ(err.find("progress "), std::string::npos) << err;
}
