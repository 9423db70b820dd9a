// The device's roads through the kernel's own USB-serial driver, run inside the test machine
// (tests/vm/machine.sh): verdal-cli and verdal against the simulator behind QEMU's FTDI
// adapter (ftdi_sio, udevd), which the host plugs in and pulls out. Each group boots once: Cli
// for the command line, Verdal for the program watching the adapters come and go.
#include "tests/support/device_harness.h"
#include "tests/support/programs.h"
#include "tests/support/temp_folder.h"
#include "tests/vm/guest_host.h"

#include "device/course_name.h"
#include "platform/child_process.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <memory>

using namespace verdal;
using namespace verdal::vm;

namespace {

namespace fs = std::filesystem;

struct Cli : ::testing::Test {
    test::TempFolder data;

    std::string Command(const std::string& args) const {
        return Built("verdal-cli") + " --data-dir " + data.Path() + " " + args;
    }
    // A course map file of that name.
    std::string MapFile(const std::u16string& name) const {
        const std::string file = data / "course.gof";
        test::WriteFile(file, test::CourseMap(name, 7));
        return file;
    }
    void TearDown() override { host::Pull("device"); }
};

TEST_F(Cli, PortsInfoSendRemoveAndClearGoThroughFtdiSio) {
    host::Device("--capacity 20 --serial VD-VM-0001 --course Augusta");
    const auto plugged = Clock::now();
    host::Plug("device");
    const std::string port = AdapterPort(kDevice);
    ASSERT_FALSE(port.empty());
    const long long named = MsSince(plugged);
    const fs::path sys = "/sys/class/tty/" + fs::path(port).filename().string();
    EXPECT_EQ(fs::read_symlink(sys / "device" / "driver").filename(), "ftdi_sio");

    const Outcome ports = Shell(Command("ports"));
    EXPECT_EQ(ports.exitCode, 0) << ports.Text();
    EXPECT_TRUE(ports.Says(port)) << ports.Text();
    const Outcome info = Shell(Command("info"));
    EXPECT_EQ(info.exitCode, 0) << info.Text();
    EXPECT_TRUE(info.Says("capacity: 20") && info.Says("serial number: VD-VM-0001") &&
                info.Says("  Augusta"))
        << info.Text();
    const Outcome send = Shell(Command("send " + MapFile(u"Pine Valley")));
    EXPECT_EQ(send.exitCode, 0) << send.Text();
    EXPECT_TRUE(send.Says("sent: Pine Valley")) << send.Text();
    const Outcome remove = Shell(Command("remove Augusta"));
    EXPECT_EQ(remove.exitCode, 0) << remove.Text();
    const Outcome clear = Shell(Command("clear"));
    EXPECT_EQ(clear.exitCode, 0) << clear.Text();
    EXPECT_TRUE(clear.Says("cleared")) << clear.Text();

    // The same send on a pseudo-terminal, the simulator paced alike, in this machine.
    test::Simulator pty(data / "pty", {"--pace"});
    const Outcome direct = Shell(Built("verdal-cli") + " --data-dir " + data.Path() + " --port " +
                                 pty.Link() + " send " + MapFile(u"Pine Valley"));
    EXPECT_EQ(direct.exitCode, 0) << direct.Text();
    std::printf("# plugged in to %s named by udev: %lld ms; through ftdi_sio: ports %lld ms, "
                "info %lld ms, send %lld ms, remove %lld ms, clear %lld ms; the same send on a "
                "pseudo-terminal: %lld ms\n",
                port.c_str(), named, ports.ms, info.ms, send.ms, remove.ms, clear.ms, direct.ms);
}

TEST_F(Cli, ASendPulledOutInTheMiddleEndsSayingTheDeviceWasUnplugged) {
    host::Device("--fault unplug:30");
    host::Plug("device");
    const std::string port = AdapterPort(kDevice);
    ASSERT_FALSE(port.empty());
    ChildProcess send;
    std::string error;
    ASSERT_TRUE(send.Start("/bin/sh", {"-c", Command("send " + MapFile(u"Cut Short")) + " 2>&1"},
                           {.captureOutput = true}, error))
        << error;
    ASSERT_TRUE(test::WaitUntil([&] { return !fs::exists(port); }, 60000));
    const auto pulled = Clock::now();
    Outcome run;
    for (std::string line; send.ReadLine(line, 60000);)
        run.lines.push_back(line);
    run.exitCode = send.Wait();
    const long long ended = MsSince(pulled);
    EXPECT_EQ(run.exitCode, 1) << run.Text();
    EXPECT_TRUE(run.Says("the device was unplugged")) << run.Text();
    EXPECT_LT(ended, 10000);
    std::printf("# a send pulled out at block 30 ended %lld ms after the port went\n", ended);
}

TEST_F(Cli, AUserWithoutAccessToThePortIsToldBothRemedies) {
    host::Device();
    host::Plug("device");
    ASSERT_FALSE(AdapterPort(kDevice).empty());
    fs::permissions(data.Path(), fs::perms::all);
    const Outcome info =
        Shell("setpriv --reuid=65534 --regid=65534 --clear-groups " + Command("info"));
    EXPECT_EQ(info.exitCode, 1) << info.Text();
    EXPECT_TRUE(info.Says("Permission denied") && info.Says("replug the device") &&
                info.Says("join group 'dialout'"))
        << info.Text();
}

// verdal with no window, seen through its page's WebSocket and its trace, beside a catalogue
// service of its own in this machine.
struct Verdal : ::testing::Test {
    test::TempFolder data;
    ChildProcess service, verdal;
    std::unique_ptr<Page> page;

    // The catalogue service with these options beside its port and size.
    std::string StartService(std::vector<std::string> options = {}) {
        options.insert(options.end(), {"--listen", "127.0.0.1:0", "--courses", "10"});
        std::string error, line;
        if (!service.Start(Built("verdal-catalogue-service"), options, {.captureOutput = true},
                           error) ||
            !service.ReadLine(line, 30000) || line.rfind("LISTENING ", 0) != 0)
            throw std::runtime_error("no catalogue service: " + error + line);
        return "http://127.0.0.1:" + line.substr(10) + "/";
    }
    void StartVerdal(const std::string& server) {
        std::string error, address;
        if (!verdal.Start(Built("verdal"),
                          {"--no-browser", "--data-dir", data.Path(), "--server", server, "--trace",
                           data / "trace"},
                          {.captureOutput = true}, error) ||
            !verdal.ReadLine(address, 60000))
            throw std::runtime_error("verdal did not start: " + error);
        page = std::make_unique<Page>(address);
    }
    // Whether verdal's trace says it opened the port.
    bool Opened(const std::string& port) const {
        return test::ReadFile(data / "trace").find(" " + port + " open") != std::string::npos;
    }
    void TearDown() override {
        page.reset();
        verdal.Stop(30000);
        service.Stop();
        host::Pull("device");
        host::Pull("other");
    }
};

// The adapter the device answered on (here to verdal-cli) is known: plugged in while verdal runs,
// it is connected with no click; pulled out, the page says so.
TEST_F(Verdal, TheKnownAdapterPluggedInIsConnectedAndPulledOutIsNoticed) {
    host::Device("--course Augusta");
    host::Plug("device");
    ASSERT_FALSE(AdapterPort(kDevice).empty());
    const Outcome info = Shell(Built("verdal-cli") + " --data-dir " + data.Path() + " info");
    ASSERT_EQ(info.exitCode, 0) << info.Text();
    EXPECT_NE(test::ReadFile(data / "settings.reg")
                  .find("\"adapter\"=\"usb 0403:6001 serial " + std::string(kDevice)),
              std::string::npos);
    host::Pull("device");
    ASSERT_TRUE(AdapterGone(kDevice));
    StartVerdal(StartService());
    ASSERT_GE(page->Until("DEVICE NOT CONNECTED", 120000), 0) << page->Status();

    host::Plug("device");
    const long long connected = page->Until("DEVICE CONNECTED", 120000);
    ASSERT_GE(connected, 0) << page->Status();
    host::Pull("device");
    const long long noticed = page->Until("DEVICE NOT CONNECTED", 60000);
    EXPECT_GE(noticed, 0) << page->Status();
    std::printf("# verdal: plugged in to DEVICE CONNECTED %lld ms, pulled out to DEVICE NOT "
                "CONNECTED %lld ms\n",
                connected, noticed);
}

// An adapter that is not the device's may be anything: plugged in while verdal runs, it is never
// opened, nor sent a byte.
TEST_F(Verdal, AnotherAdapterPluggedInIsNeverOpened) {
    StartVerdal(StartService());
    ASSERT_GE(page->Until("DEVICE NOT CONNECTED", 120000), 0) << page->Status();
    host::Plug("other");
    const std::string port = AdapterPort(kOther);
    ASSERT_FALSE(port.empty());
    EXPECT_TRUE(page->Never("CONNECTING TO DEVICE", 8000)) << page->Status();
    EXPECT_FALSE(Opened(port));
    EXPECT_EQ(host::OtherBytes(), 0);
}

// Pulled out while the web service is slow to answer the server check (3 s, within the 5 s that a
// version request is given): the connect ends at once as a device not connected, never as "DEVICE
// CONNECTED"; plugged in again, it is connected; and an operation that then fails for another
// reason does not say that the device was unplugged.
TEST_F(Verdal, APullDuringTheServerCheckEndsNotConnectedAndNoLaterFailureBorrowsIt) {
    host::Device("--course Augusta --fault nomarker:CRCA");
    host::Plug("device");
    ASSERT_FALSE(AdapterPort(kDevice).empty());
    StartVerdal(StartService({"--fault", "delay:version", "--delay", "3000"}));
    ASSERT_GE(page->Until("CONNECTING TO SERVER", 120000), 0) << page->Status();
    host::Pull("device");
    const long long ended = page->Until("DEVICE NOT CONNECTED - the device was unplugged", 30000);
    EXPECT_GE(ended, 0) << page->Status();
    EXPECT_TRUE(page->Never("DEVICE CONNECTED", 10000));

    host::Plug("device");
    ASSERT_FALSE(AdapterPort(kDevice).empty());
    ASSERT_GE(page->Until("CONNECTING TO DEVICE", 60000), 0) << page->Status();
    ASSERT_GE(page->Until("DEVICE CONNECTED", 120000), 0) << page->Status();
    page->DeviceMenu(32783); // "Remove All Course"
    ASSERT_TRUE(test::WaitUntil(
        [&] { return test::ReadFile(data / "trace").find("$CRCA") != std::string::npos; }, 60000));
    EXPECT_TRUE(page->Never("DEVICE NOT CONNECTED - the device was unplugged", 12000))
        << page->Status();
    std::printf("# verdal: pulled out during the server check to DEVICE NOT CONNECTED %lld ms\n",
                ended);
}

} // namespace
