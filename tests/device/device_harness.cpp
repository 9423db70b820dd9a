// The device tests' temporary folders, simulator process, fake device and recording window.
#include "tests/device/device_harness.h"

#include "platform/worker.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <poll.h>
#include <stdexcept>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <termios.h>
#include <thread>
#include <unistd.h>

namespace verdal::test {
namespace {

using Clock = std::chrono::steady_clock;

std::string BinDir() {
    const char* bin = std::getenv("VERDAL_BIN");
    return bin ? bin : "build/bin";
}

} // namespace

TempDir::TempDir() {
    std::string pattern =
        (std::filesystem::temp_directory_path() / "verdal-device-XXXXXX").string();
    if (!::mkdtemp(pattern.data()))
        throw std::runtime_error("cannot make a temporary folder");
    path_ = pattern;
}

TempDir::~TempDir() {
    std::error_code error;
    std::filesystem::remove_all(path_, error);
}

Simulator::Simulator(const std::string& link, const std::vector<std::string>& options)
    : link_(link) {
    int pipeFds[2];
    if (::pipe(pipeFds) != 0)
        throw std::runtime_error("pipe failed");
    std::vector<std::string> args = {BinDir() + "/verdal-devsim", "--link", link};
    args.insert(args.end(), options.begin(), options.end());
    pid_ = ::fork();
    if (pid_ == 0) {
        ::prctl(PR_SET_PDEATHSIG, SIGTERM); // no simulator outlives a test that died
        ::dup2(pipeFds[1], STDOUT_FILENO);
        ::close(pipeFds[0]);
        ::close(pipeFds[1]);
        std::vector<char*> argv;
        for (std::string& arg : args)
            argv.push_back(arg.data());
        argv.push_back(nullptr);
        ::execv(argv[0], argv.data());
        ::_exit(127);
    }
    ::close(pipeFds[1]);
    output_ = pipeFds[0];
    // Waits for the READY line.
    std::string line;
    const auto deadline = Clock::now() + std::chrono::seconds(20);
    while (line.find('\n') == std::string::npos && Clock::now() < deadline) {
        pollfd in{output_, POLLIN, 0};
        if (::poll(&in, 1, 200) > 0) {
            char buffer[256];
            const ssize_t n = ::read(output_, buffer, sizeof buffer);
            if (n <= 0)
                break;
            line.append(buffer, static_cast<std::size_t>(n));
        }
    }
    if (line.rfind("READY ", 0) != 0) {
        Stop();
        throw std::runtime_error("verdal-devsim did not start: " + line);
    }
}

Simulator::~Simulator() {
    Stop();
}

void Simulator::Stop() {
    if (pid_ > 0) {
        ::kill(pid_, SIGTERM);
        int status = 0;
        ::waitpid(pid_, &status, 0);
        pid_ = -1;
    }
    if (output_ >= 0) {
        ::close(output_);
        output_ = -1;
    }
}

FakeDevice::FakeDevice() {
    master_ = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (master_ < 0 || ::grantpt(master_) != 0 || ::unlockpt(master_) != 0)
        throw std::runtime_error("cannot make a pseudo-terminal");
    path_ = ::ptsname(master_);
    slave_ = ::open(path_.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    termios tio{};
    ::tcgetattr(slave_, &tio);
    ::cfmakeraw(&tio);
    ::tcsetattr(slave_, TCSANOW, &tio);
}

FakeDevice::~FakeDevice() {
    HangUp();
}

void FakeDevice::Write(const std::string& bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(master_, bytes.data() + done, bytes.size() - done);
        if (n <= 0)
            throw std::runtime_error("fake device cannot write");
        done += static_cast<std::size_t>(n);
    }
}

std::string FakeDevice::Read(std::size_t count) {
    std::string bytes;
    const auto deadline = Clock::now() + std::chrono::seconds(10);
    while (bytes.size() < count && Clock::now() < deadline) {
        pollfd in{master_, POLLIN, 0};
        if (::poll(&in, 1, 100) > 0) {
            char buffer[512];
            const ssize_t n =
                ::read(master_, buffer, std::min(sizeof buffer, count - bytes.size()));
            if (n <= 0)
                break;
            bytes.append(buffer, static_cast<std::size_t>(n));
        }
    }
    return bytes;
}

std::string FakeDevice::ReadUntilQuiet(int quietMs) {
    std::string bytes;
    pollfd in{master_, POLLIN, 0};
    char buffer[512];
    while (::poll(&in, 1, quietMs) > 0) {
        const ssize_t n = ::read(master_, buffer, sizeof buffer);
        if (n <= 0)
            break;
        bytes.append(buffer, static_cast<std::size_t>(n));
    }
    return bytes;
}

void FakeDevice::Babble(const std::string& bytes, const std::atomic<bool>& talking) {
    const int flags = ::fcntl(master_, F_GETFL);
    ::fcntl(master_, F_SETFL, flags | O_NONBLOCK);
    std::size_t next = 0;
    while (talking.load()) {
        pollfd line{master_, POLLIN | POLLOUT, 0};
        if (::poll(&line, 1, 10) <= 0)
            continue;
        if (line.revents & POLLIN) {
            char buffer[512];
            while (::read(master_, buffer, sizeof buffer) > 0) {
            }
        }
        if (line.revents & POLLOUT) {
            const ssize_t n = ::write(master_, bytes.data() + next, bytes.size() - next);
            if (n > 0)
                next = (next + static_cast<std::size_t>(n)) % bytes.size();
        }
        if (line.revents & (POLLERR | POLLHUP))
            break;
    }
    ::fcntl(master_, F_SETFL, flags);
}

void FakeDevice::HangUp() {
    if (master_ >= 0)
        ::close(master_);
    if (slave_ >= 0)
        ::close(slave_);
    master_ = slave_ = -1;
}

bool RecordingWindow::ProcessWindowMessage(HWND, UINT message, WPARAM wParam, LPARAM,
                                           LRESULT& result) {
    if (message == kStop)
        stopped_ = true;
    else if (message == recorded_)
        values.push_back(static_cast<int>(wParam));
    else
        return false;
    result = 0;
    return true;
}

void RecordingWindow::RunWhile(const std::function<void()>& body) {
    stopped_ = false;
    const HWND hwnd = Handle();
    Worker worker;
    worker.Start([&](std::stop_token) {
        body();
        PostMessage(hwnd, kStop);
    });
    MSG msg;
    while (!stopped_ && GetMessage(msg))
        DispatchMessage(msg);
    worker.Join();
}

std::vector<std::uint8_t> NarrowCourseMap(const std::string& name, int seed) {
    std::vector<std::uint8_t> map(7296, 0);
    for (std::size_t i = 20; i < map.size(); ++i)
        map[i] = static_cast<std::uint8_t>((i * 31 + static_cast<std::size_t>(seed) * 7) & 0xFF);
    std::copy_n(name.begin(), std::min<std::size_t>(name.size(), 20), map.begin());
    return map;
}

std::vector<std::uint8_t> WideCourseMap(const std::u16string& units, int seed) {
    std::vector<std::uint8_t> map = NarrowCourseMap("", seed);
    for (std::size_t i = 0; i < units.size() && i < 8; ++i) {
        map[4 + 2 * i] = static_cast<std::uint8_t>(units[i] & 0xFF);
        map[5 + 2 * i] = static_cast<std::uint8_t>(units[i] >> 8);
    }
    return map;
}

void WriteFile(const std::string& path, const std::vector<std::uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
}

} // namespace verdal::test
