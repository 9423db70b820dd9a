// The device tests' fake device and course maps.
#include "tests/support/device_harness.h"

#include "device/course_name.h"
#include "device/send_cf_req.h"

#include <algorithm>
#include <chrono>
#include <fcntl.h>
#include <poll.h>
#include <stdexcept>
#include <termios.h>
#include <unistd.h>

namespace verdal::test {

using Clock = std::chrono::steady_clock;

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

void FakeDevice::Write(const std::string& bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(master_, bytes.data() + done, bytes.size() - done);
        if (n <= 0)
            throw std::runtime_error("fake device cannot write");
        done += static_cast<std::size_t>(n);
    }
}

namespace {

// Appends what the line brings within waitMs milliseconds, at most most bytes; false when nothing
// came.
bool ReadInto(int fd, std::string& bytes, std::size_t most, int waitMs) {
    pollfd in{fd, POLLIN, 0};
    char buffer[512];
    if (::poll(&in, 1, waitMs) <= 0)
        return false;
    const ssize_t n = ::read(fd, buffer, std::min(sizeof buffer, most));
    if (n > 0)
        bytes.append(buffer, static_cast<std::size_t>(n));
    return n > 0;
}

} // namespace

std::string FakeDevice::Read(std::size_t count) {
    std::string bytes;
    const auto deadline = Clock::now() + std::chrono::seconds(10);
    while (bytes.size() < count && Clock::now() < deadline)
        ReadInto(master_, bytes, count - bytes.size(), 100);
    return bytes;
}

std::string FakeDevice::ReadUntilQuiet(int quietMs) {
    std::string bytes;
    while (ReadInto(master_, bytes, 512, quietMs)) {
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

std::vector<std::uint8_t> CourseMap(std::u16string_view name, int seed) {
    std::vector<std::uint8_t> map(7296, 0);
    for (std::size_t i = 20; i < map.size(); ++i)
        map[i] = static_cast<std::uint8_t>((i * 31 + static_cast<std::size_t>(seed) * 7) & 0xFF);
    WriteCourseMapName(name, map.data());
    return map;
}

std::string XmodemBlockText(const std::vector<std::uint8_t>& data, std::uint32_t position) {
    const auto block = XmodemBlock(data.data(), position);
    return std::string(block.begin(), block.end());
}

} // namespace verdal::test
