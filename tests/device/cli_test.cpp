// verdal-cli's device commands run as a script runs them, against the simulator: their exit
// codes, the lines they print and what the device holds afterwards.
#include "platform/serial_port.h"
#include "tests/support/device_harness.h"
#include "tests/support/programs.h"
#include "tests/support/temp_folder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <future>
#include <sstream>
#include <sys/wait.h>
#include <tuple>

using namespace verdal::test;

namespace {

struct CliRun {
    int code = -1;
    std::string out;
    std::string err;
};

// Runs verdal-cli with the arguments through the shell; its standard error goes to the terminal
// when one is named, and is read back otherwise.
CliRun Cli(const TempFolder& dir, const std::string& args, const std::string& terminal = "") {
    const std::string command = BuiltProgram("verdal-cli") + " --data-dir '" + (dir / "data") +
                                "' " + args + " >'" + (dir / "out") + "' 2>'" +
                                (terminal.empty() ? dir / "err" : terminal) + "'";
    const int status = std::system(command.c_str());
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, ReadFile(dir / "out"),
            terminal.empty() ? ReadFile(dir / "err") : ""};
}

} // namespace

TEST(DeviceCommands, InfoSendRemoveAndClearAsAScriptRunsThem) {
    TempFolder dir;
    std::filesystem::create_directory(dir / "store");
    WriteFile(dir / "store/1.gof", CourseMap(u"Augusta", 1));
    WriteFile(dir / "store/2.gof", CourseMap(u"\u6c34\u592b", 2));
    WriteFile(dir / "map.gof", CourseMap(u"Muirfield", 3));
    WriteFile(dir / "map2.gof", CourseMap(u"Troon", 4));
    Simulator device(dir / "link",
                     {"--capacity", "4", "--serial", "SN-77", "--store", dir / "store"});
    const std::string port = "--port '" + device.Link() + "' ";

    const CliRun ports = Cli(dir, "--dev-dir /devdir --sys-dir '" + (dir / "nosys") + "' ports");
    EXPECT_EQ(ports.code, 0);
    EXPECT_EQ(ports.out.substr(0, 30), "/devdir/ttyUSB0\n/devdir/ttyUSB");

    const CliRun info = Cli(dir, port + "info");
    EXPECT_EQ(info.code, 0) << info.err;
    EXPECT_EQ(info.out,
              "capacity: 4\nserial number: SN-77\ncourses: 2\n  @\u6c34\u592b\n  Augusta\n");

    const CliRun send = Cli(dir, port + "send '" + (dir / "map.gof") + "'");
    EXPECT_EQ(std::tie(send.code, send.out), std::tuple(0, "sent: Muirfield\n")) << send.err;
    EXPECT_NE(send.err.find("progress 100%"), std::string::npos);

    // On a terminal the progress is one line drawn again in place, a bar with the percentage and
    // the course's name; the line ends once, when the command is done.
    FakeDevice terminal;
    auto onTerminal = std::async(std::launch::async, [&] {
        return Cli(dir, port + "send '" + (dir / "map2.gof") + "'", terminal.Path());
    });
    std::string shown;
    while (onTerminal.wait_for(std::chrono::seconds(0)) != std::future_status::ready)
        shown += terminal.ReadUntilQuiet();
    shown += terminal.ReadUntilQuiet();
    EXPECT_EQ(onTerminal.get().code, 0) << shown;
    EXPECT_EQ(shown.rfind("CONNECTING TO DEVICE\n", 0), 0u) << shown;
    EXPECT_EQ(std::count(shown.begin(), shown.end(), '\n'), 2) << shown;
    EXPECT_GT(std::count(shown.begin(), shown.end(), '\r'), 5) << shown;
    EXPECT_NE(shown.find("[##############################] 100%  Troon"), std::string::npos)
        << shown;
    EXPECT_EQ(shown.find("progress "), std::string::npos) << shown;

    // Wrong usage (2) is told apart from a failure (1), which says why. The device has room for
    // four and is full now.
    const std::tuple<std::string, int, std::string> failing[] = {
        {"send", 2, ""},
        {"info extra", 2, ""},
        {"send /dev/null", 1, "7296"},
        {"--port '" + (dir / "ttyUSB0") + "' info", 1, "no such port"},
        {port + "send '" + (dir / "map.gof") + "'", 1, "full (4/4)"},
        {port + "remove Nowhere", 1, "no course named \"Nowhere\""}};
    for (const auto& [args, code, why] : failing) {
        const CliRun run = Cli(dir, args);
        EXPECT_EQ(run.code, code) << args;
        EXPECT_NE(run.err.find(why), std::string::npos) << args << ": " << run.err;
    }
    EXPECT_EQ(Cli(dir, port + "remove Augusta '@\u6c34\u592b'").code, 0);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir / "store"), {}), 2);
    EXPECT_EQ(Cli(dir, port + "clear").code, 0);
    EXPECT_TRUE(std::filesystem::is_empty(dir / "store"));
}

TEST(DeviceCommands, WhileVerdalHoldsTheDeviceTheySayItIsInUseByVerdal) {
    TempFolder dir;
    Simulator device(dir / "link");
    verdal::ChildProcess verdal;
    StartBuilt(verdal, "verdal",
               {"--no-browser", "--data-dir", dir / "app", "--port", device.Link()});
    std::string address;
    ASSERT_TRUE(verdal.ReadLine(address, 20000));
    // Its connect worker takes the port at start.
    ASSERT_TRUE(WaitUntil([&] { return !verdal::PortHolder(device.Link()).empty(); }));
    const std::string held = device.Link() + ": the device is in use by verdal (pid " +
                             std::to_string(verdal.Pid()) + ")";
    const std::string said = "DEVICE NOT CONNECTED - " + held + "\nverdal-cli: " + held +
                             "; close it there, or use the device from it\n";
    const CliRun info = Cli(dir, "--port '" + device.Link() + "' info");
    EXPECT_EQ(std::tie(info.code, info.err), std::tuple(1, "CONNECTING TO DEVICE\n" + said));
    const CliRun clear = Cli(dir, "--port '" + device.Link() + "' clear");
    EXPECT_EQ(std::tie(clear.code, clear.err), std::tuple(1, said));
}

// With --trace, a connect, an upload and an update leave each byte both ways, each request's
// window and verdict and each web request, every line timed; without it, nothing is written. The
// simulator's trace names the same port, and what went out of verdal-cli came into it.
TEST(DeviceCommands, ATraceHoldsTheBytesTheVerdictsAndTheWebRequests) {
    TempFolder dir;
    WriteFile(dir / "map.gof", CourseMap(u"Muirfield", 3));
    Simulator device(dir / "link", {"--serial", "SN-77", "--trace-file", dir / "device.trace"});
    CatalogueService service(10, "25");
    const auto traced = [&](const std::string& name, const std::string& command) {
        const std::string file = dir / (name + ".trace");
        EXPECT_EQ(Cli(dir, "--trace '" + file + "' --port '" + device.Link() + "' --server '" +
                               service.Base() + "' " + command)
                      .code,
                  0)
            << command;
        return ReadFile(file);
    };
    const std::string port = device.Link() + " ";
    const std::string connect = traced("connect", "info");
    for (const std::string& line : {port + "open", port + "out 24 46 43 4f 4e 0d  $FCON.",
                                    port + "request $FCON window 500 ms: answered",
                                    port + "request $RDSN window 500 ms", port + "close"})
        EXPECT_NE(connect.find(line), std::string::npos) << line << "\n" << connect;
    EXPECT_NE(connect.find("SN-77"), std::string::npos); // the serial number, as the device sent it
    std::istringstream lines(connect);
    for (std::string line; std::getline(lines, line);)
        EXPECT_EQ(line.find_first_not_of("0123456789"), 13u) << line; // the time in ms

    const std::string upload = traced("upload", "send '" + (dir / "map.gof") + "'");
    EXPECT_NE(upload.find(port + "request $NCFS window 500 ms: answered"), std::string::npos);
    EXPECT_NE(upload.find(port + "out 01 01 fe "), std::string::npos); // the first block

    const std::string update = traced("update", "update");
    EXPECT_NE(update.find(" http GET " + service.Base()), std::string::npos) << update;
    EXPECT_NE(update.find(" 200 "), std::string::npos) << update;

    EXPECT_NE(
        ReadFile(dir / "device.trace").find("devsim:" + port + "in 24 46 43 4f 4e 0d  $FCON."),
        std::string::npos);
    const auto before = std::distance(std::filesystem::directory_iterator(dir.Path()), {});
    const CliRun quiet = Cli(dir, "--port '" + device.Link() + "' info");
    EXPECT_EQ(quiet.err.find("request"), std::string::npos);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.Path()), {}), before);
}
