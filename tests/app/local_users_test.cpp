// verdal among the other users and programs of one computer, run as a user runs it: another
// user reads every process's arguments and finds no token there; a local flood of idle
// connections leaves the page answering and verdal idle; verdal-cli and verdal keep out of each
// other's data folder; the trace of the running program stays whole, and what the folder holds
// stays its user's.
#include "platform/child_process.h"
#include "tests/support/loopback.h"
#include "tests/support/programs.h"
#include "tests/support/temp_folder.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

using namespace verdal;
using namespace verdal::test;

namespace {

// Everything another user reads of the machine's processes: every argument of every one.
std::string CommandLinesAsNobody() {
    ChildProcess reader;
    std::string error, all;
    if (!reader.Start("/usr/bin/setpriv",
                      {"--reuid=65534", "--regid=65534", "--clear-groups", "--", "/bin/sh", "-c",
                       "cat /proc/[0-9]*/cmdline 2>/dev/null | tr '\\0' ' '; echo"},
                      {.captureOutput = true}, error))
        return error;
    for (std::string line; reader.ReadLine(line, 20000);)
        all += line;
    reader.Wait();
    return all;
}

std::string TokenOf(const std::string& address) {
    const std::size_t at = address.find("token=");
    return at == std::string::npos ? address : address.substr(at + 6);
}

// The pids of the processes whose parent is pid, with their names.
std::vector<std::pair<pid_t, std::string>> ChildrenOf(pid_t pid) {
    std::vector<std::pair<pid_t, std::string>> children;
    for (const auto& entry : std::filesystem::directory_iterator("/proc")) {
        std::ifstream status(entry.path() / "status");
        std::string line, name;
        pid_t parent = 0;
        while (std::getline(status, line)) {
            if (line.rfind("Name:\t", 0) == 0)
                name = line.substr(6);
            else if (line.rfind("PPid:\t", 0) == 0)
                parent = std::atoi(line.c_str() + 6);
        }
        if (parent == pid && !name.empty())
            children.emplace_back(std::stoi(entry.path().filename()), name);
    }
    return children;
}

bool HasChildNamed(pid_t pid, const std::string& name) {
    for (const auto& [child, childName] : ChildrenOf(pid))
        if (childName == name)
            return true;
    return false;
}

// The CPU time the process has used so far, in seconds.
double CpuSeconds(pid_t pid) {
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
    // The fields after the name, which ends at the last ')': utime and stime are the 12th and
    // 13th of them.
    std::istringstream fields(text.substr(text.rfind(')') + 2));
    std::string field;
    double ticks = 0;
    for (int i = 1; i <= 13 && fields >> field; ++i)
        if (i >= 12)
            ticks += std::stod(field);
    return ticks / static_cast<double>(::sysconf(_SC_CLK_TCK));
}

// Sends the request on the connection and answers the status of its answer, whose body it
// reads; 0 when none came within 10 s.
int PageStatus(int fd, const std::string& request) {
    ::send(fd, request.data(), request.size(), MSG_NOSIGNAL);
    std::string response;
    char buffer[4096];
    std::size_t end = std::string::npos, length = 0;
    while (end == std::string::npos || response.size() < end + 4 + length) {
        const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
        if (n <= 0)
            return 0;
        response.append(buffer, static_cast<std::size_t>(n));
        if (end == std::string::npos && (end = response.find("\r\n\r\n")) != std::string::npos) {
            const std::size_t field = response.find("Content-Length: ");
            length = field < end ? std::stoul(response.substr(field + 16)) : 0;
        }
    }
    return response.size() > 12 ? std::atoi(response.c_str() + 9) : 0;
}

// verdal on its own data folder, with no device and no catalogue service to reach.
std::vector<std::string> Alone(const TempFolder& dir, const std::vector<std::string>& more = {}) {
    std::vector<std::string> args = {"--data-dir",      dir / "data", "--port",
                                     dir / "no-device", "--server",   "http://127.0.0.1:9/"};
    args.insert(args.end(), more.begin(), more.end());
    return args;
}

mode_t ModeOf(const std::string& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 ? (info.st_mode & 07777) : 0;
}

} // namespace

TEST(LocalUsers, AnotherUserFindsNoTokenOnAnyCommandLine) {
    if (!RunningAsRoot())
        GTEST_SKIP() << "reading as another user needs root";
    TempFolder dir;
    // A browser that stays, as Chromium does, with its arguments for all to see.
    std::filesystem::create_directory(dir / "bin");
    WriteFile(dir / "bin/chromium", "#!/bin/sh\necho \"$@\" >\"$0.args\"\nsleep 60\n");
    std::filesystem::permissions(dir / "bin/chromium", std::filesystem::perms(0755));
    const std::string path = std::getenv("PATH") ? std::getenv("PATH") : "/usr/bin:/bin";
    ::setenv("PATH", (dir / "bin" + ":" + path).c_str(), 1);
    ::setenv("DISPLAY", ":424242", 1);
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    const std::string runtimeBefore = runtime ? runtime : "";
    ::setenv("XDG_RUNTIME_DIR", dir.Path().c_str(), 1);
    {
        ChildProcess verdal;
        StartBuilt(verdal, "verdal", Alone(dir, {"--browser"}));
        std::string address;
        ASSERT_TRUE(verdal.ReadLine(address, 20000));
        ASSERT_TRUE(WaitUntil([&] { return HasChildNamed(verdal.Pid(), "chromium"); }));
        EXPECT_EQ(CommandLinesAsNobody().find(TokenOf(address)), std::string::npos);
        // The browser was sent a launcher of this user's alone, which goes to the address.
        const std::string launcher = dir / ("verdal-" + std::to_string(verdal.Pid()) + ".html");
        EXPECT_TRUE(WaitUntil([&] {
            return ReadFile(dir / "bin/chromium.args").find("--app=file://" + launcher) == 0;
        })) << ReadFile(dir / "bin/chromium.args");
        EXPECT_NE(ReadFile(launcher).find(address), std::string::npos);
        EXPECT_EQ(ModeOf(launcher), 0600u);
        // Killed, verdal takes its browser window with it; the launcher's token is dead.
        pid_t browser = 0;
        for (const auto& [child, name] : ChildrenOf(verdal.Pid()))
            if (name == "chromium")
                browser = child;
        ::kill(verdal.Pid(), SIGKILL);
        EXPECT_EQ(verdal.Wait(), 128 + SIGKILL);
        EXPECT_TRUE(WaitUntil([&] { return ::kill(browser, 0) != 0; }));
    }
    ::setenv("PATH", path.c_str(), 1);
    if (runtimeBefore.empty())
        ::unsetenv("XDG_RUNTIME_DIR");
    else
        ::setenv("XDG_RUNTIME_DIR", runtimeBefore.c_str(), 1);

    // The program's own window, on a display of its own.
    if (!IsExecutable("/usr/bin/Xvfb") || !IsExecutable(BuiltProgram("verdal-window"))) {
        ::unsetenv("DISPLAY");
        GTEST_SKIP() << "no Xvfb or verdal-window for the window's part";
    }
    ChildProcess display;
    std::string error, number;
    ASSERT_TRUE(display.Start("/usr/bin/Xvfb", {"-displayfd", "1", "-nolisten", "tcp"},
                              {.captureOutput = true, .stopWithParent = true}, error))
        << error;
    ASSERT_TRUE(display.ReadLine(number, 20000));
    ::setenv("DISPLAY", (":" + number).c_str(), 1);
    ChildProcess verdal;
    StartBuilt(verdal, "verdal", Alone(dir));
    std::string address;
    ASSERT_TRUE(verdal.ReadLine(address, 20000));
    ASSERT_TRUE(WaitUntil([&] { return HasChildNamed(verdal.Pid(), "verdal-window"); }));
    EXPECT_EQ(CommandLinesAsNobody().find(TokenOf(address)), std::string::npos);
    verdal.Stop();
    ::unsetenv("DISPLAY");
}

// A desktop session's descriptor limit, and more idle connections than it allows, from another
// process.
TEST(LocalUsers, AFloodOfIdleConnectionsLeavesThePageAnsweringAndVerdalIdle) {
    rlimit limit{};
    ASSERT_EQ(::getrlimit(RLIMIT_NOFILE, &limit), 0);
    if (limit.rlim_max < 1200)
        GTEST_SKIP() << "this process may not open 1,100 connections";
    limit.rlim_cur = limit.rlim_max;
    ASSERT_EQ(::setrlimit(RLIMIT_NOFILE, &limit), 0);
    TempFolder dir;
    ChildProcess verdal;
    std::vector<std::string> args = {"--nofile=1024:1024", "--", BuiltProgram("verdal")};
    for (const std::string& arg : Alone(dir, {"--no-browser"}))
        args.push_back(arg);
    std::string error;
    ASSERT_TRUE(verdal.Start("/usr/bin/prlimit", args,
                             {.captureOutput = true, .keepErrors = true, .stopWithParent = true},
                             error))
        << error;
    std::string address;
    ASSERT_TRUE(verdal.ReadLine(address, 20000));
    const std::uint16_t port =
        static_cast<std::uint16_t>(std::stoi(address.substr(address.find(':', 7) + 1)));
    // The page, as the window has it: a connection that has shown the token, kept alive.
    const int page = ConnectLoopback(port, 10);
    const std::string request = "GET " + address.substr(address.find('/', 7)) +
                                " HTTP/1.1\r\nHost: 127.0.0.1:" + std::to_string(port) + "\r\n\r\n";
    ASSERT_EQ(PageStatus(page, request), 200);
    std::vector<int> flood;
    for (int i = 0; i < 1100; ++i)
        if (const int fd = ConnectLoopback(port, 10); fd >= 0)
            flood.push_back(fd);
    EXPECT_EQ(flood.size(), 1100u);
    const double before = CpuSeconds(verdal.Pid());
    std::this_thread::sleep_for(std::chrono::seconds(3));
    const double spent = CpuSeconds(verdal.Pid()) - before;
    std::printf("verdal's CPU time over 3 s of a flood of 1,100 idle connections: %.2f s\n", spent);
    EXPECT_LT(spent, 0.3);
    EXPECT_EQ(PageStatus(page, request), 200);
    ::close(page);
    for (const int fd : flood)
        ::close(fd);
    verdal.Stop();
}

// verdal-cli's writing commands hold the folder as verdal does: beside verdal they refuse and
// change nothing; verdal beside one of them says so and leaves it alone; a second one waits.
TEST(LocalUsers, VerdalAndVerdalCliKeepOutOfEachOthersFolder) {
    TempFolder dir;
    CatalogueService service(10, "25");
    const auto cli = [&](const std::string& args) {
        const std::string command = BuiltProgram("verdal-cli") + " --data-dir '" + (dir / "data") +
                                    "' " + args + " >'" + (dir / "out") + "' 2>'" + (dir / "err") +
                                    "'";
        const int status = std::system(command.c_str());
        return std::pair(WEXITSTATUS(status), ReadFile(dir / "err"));
    };
    {
        ChildProcess verdal;
        StartBuilt(verdal, "verdal", Alone(dir, {"--no-browser"}));
        std::string address;
        ASSERT_TRUE(verdal.ReadLine(address, 20000));
        const std::vector<std::string> before = FilesIn(dir / "data");
        const std::string settings = ReadFile(dir / "data/settings.reg");
        const auto [code, said] = cli("--server " + service.Base() + " update");
        EXPECT_EQ(code, 1);
        EXPECT_NE(said.find("in use by verdal (pid " + std::to_string(verdal.Pid()) + ")"),
                  std::string::npos)
            << said;
        EXPECT_EQ(FilesIn(dir / "data"), before);
        EXPECT_EQ(ReadFile(dir / "data/settings.reg"), settings);
        EXPECT_EQ(service.Served()["catalogue"], 0);
        // Reading the catalogue goes on beside it.
        EXPECT_EQ(cli("search Nothing").first, 0);
        verdal.Stop();
    }

    // An update that waits for its slow service holds the folder meanwhile.
    CatalogueService slow(10, "25", {"stall:version"});
    ChildProcess holder;
    std::string error;
    ASSERT_TRUE(holder.Start("/bin/sh",
                             {"-c", "exec '" + BuiltProgram("verdal-cli") + "' --data-dir '" +
                                        (dir / "data") + "' --server " + slow.Base() +
                                        " update 2>/dev/null"},
                             {.captureOutput = true, .stopWithParent = true}, error));
    std::string line;
    ASSERT_TRUE(holder.ReadLine(line, 20000)); // CONNECTING TO SERVER
    ProgramRun refused = RunBuilt("verdal", Alone(dir, {"--no-browser"}));
    EXPECT_EQ(refused.exitCode, 1);
    EXPECT_TRUE(refused.lines.empty());
    EXPECT_TRUE(holder.Running()); // never signalled

    // A second verdal-cli waits for the first, then runs.
    ChildProcess second;
    ASSERT_TRUE(
        second.Start("/bin/sh",
                     {"-c", "exec '" + BuiltProgram("verdal-cli") + "' --data-dir '" +
                                (dir / "data") + "' --server " + service.Base() + " update 2>&1"},
                     {.captureOutput = true, .stopWithParent = true}, error));
    ASSERT_TRUE(second.ReadLine(line, 20000));
    EXPECT_EQ(
        line.rfind("verdal-cli: waiting for verdal-cli (pid " + std::to_string(holder.Pid()) + ")",
                   0),
        0u)
        << line;
    holder.Stop();
    while (second.ReadLine(line, 20000) && line != "UPDATE GOF FILE COMPLETED") {
    }
    EXPECT_EQ(line, "UPDATE GOF FILE COMPLETED");
    EXPECT_EQ(second.Wait(), 0);
}

// A second start that hands over leaves the running program's trace whole; the trace, the data
// folder and the settings are for their user alone.
TEST(LocalUsers, TheRunningProgramsTraceStaysWholeAndItsFilesStayItsUsers) {
    TempFolder dir;
    Simulator device(dir / "link", {"--serial", "SN-1"});
    const std::string trace = dir / "verdal.trace";
    ChildProcess verdal;
    StartBuilt(verdal, "verdal",
               {"--no-browser", "--data-dir", dir / "data", "--port", device.Link(), "--server",
                "http://127.0.0.1:9/", "--trace", trace});
    std::string address;
    ASSERT_TRUE(verdal.ReadLine(address, 20000));
    ASSERT_TRUE(WaitUntil([&] { return ReadFile(trace).find(" in ") != std::string::npos; }));
    const std::string traced = ReadFile(trace);
    const ProgramRun second =
        RunBuilt("verdal", {"--no-browser", "--data-dir", dir / "data", "--trace", trace});
    EXPECT_EQ(second.exitCode, 0);
    EXPECT_EQ(second.lines, std::vector<std::string>{address});
    EXPECT_EQ(ReadFile(trace).substr(0, traced.size()), traced);
    EXPECT_EQ(ModeOf(trace), 0600u);
    EXPECT_EQ(ModeOf(dir / "data"), 0700u);
    EXPECT_EQ(ModeOf(dir / "data/settings.reg"), 0600u);
    verdal.Stop();
}
