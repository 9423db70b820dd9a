// The termios serial port: raw 8N1, exclusive, reads and writes bounded by poll().
#include "platform/serial_port.h"

#include "platform/language.h"
#include "platform/trace.h"

#include <cerrno>
#include <chrono>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <grp.h>
#include <poll.h>
#include <sstream>
#include <sys/eventfd.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <termios.h>
#include <thread>
#include <unistd.h>

namespace verdal {
namespace {

using Clock = std::chrono::steady_clock;

speed_t SpeedOf(std::uint32_t baudRate) {
    switch (baudRate) {
    case 9600:
        return B9600;
    case 19200:
        return B19200;
    case 38400:
        return B38400;
    case 57600:
        return B57600;
    case 230400:
        return B230400;
    default:
        return B115200;
    }
}

// Explains a failed open in words a user can act on, and says what kind of refusal it was.
std::string OpenError(const std::string& path, int error, OpenRefusal& refusal) {
    refusal = OpenRefusal::Other;
    if (error == EBUSY || error == EWOULDBLOCK) {
        const std::string holder = PortHolder(path);
        if (!holder.empty()) {
            refusal = OpenRefusal::Held;
            // TRANSLATORS: the port, then the program that holds it ("verdal (pid 4242)").
            return Format(Tr("%s: the device is in use by %s"), path.c_str(), holder.c_str());
        }
        return Format(Tr("%s: another program is using this port"), path.c_str());
    }
    if (error != EACCES)
        return path + ": " + std::strerror(error);
    // The package's udev rule hands the adapter to the user at the seat when it is plugged in;
    // without it, membership of the port's group is the way in.
    refusal = OpenRefusal::NoPermission;
    struct stat info {};
    const group* owner = ::stat(path.c_str(), &info) == 0 ? ::getgrgid(info.st_gid) : nullptr;
    if (!owner)
        // TRANSLATORS: the port, then the system's words for the refusal.
        return Format(Tr("%s: %s (replug the device for the udev rule)"), path.c_str(),
                      std::strerror(error));
    // TRANSLATORS: the port, the system's words for the refusal, the group that owns the port.
    return Format(Tr("%s: %s (replug the device for the udev rule, or join group '%s' and log in "
                     "again)"),
                  path.c_str(), std::strerror(error), owner->gr_name);
}

int RemainingMs(Clock::time_point deadline) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return left > 0 ? static_cast<int>(left) : 0;
}

} // namespace

std::string PortHolder(const std::string& path) {
    struct stat port {};
    if (::stat(path.c_str(), &port) != 0)
        return {};
    // Each line: "N: FLOCK ADVISORY WRITE PID MAJOR:MINOR:INODE START END", the device numbers
    // in hexadecimal, those of the file system that holds the inode.
    std::ifstream locks("/proc/locks");
    std::string line;
    while (std::getline(locks, line)) {
        std::istringstream fields(line);
        std::string number, kind, mode, access, file;
        long pid = 0;
        if (!(fields >> number >> kind >> mode >> access >> pid >> file) || kind != "FLOCK")
            continue;
        unsigned major = 0, minor = 0;
        unsigned long long inode = 0;
        if (std::sscanf(file.c_str(), "%x:%x:%llu", &major, &minor, &inode) != 3 ||
            major != ::major(port.st_dev) || minor != ::minor(port.st_dev) || inode != port.st_ino)
            continue;
        std::ifstream comm("/proc/" + std::to_string(pid) + "/comm");
        std::string name;
        if (!std::getline(comm, name) || name.empty())
            name = Tr("another program");
        return name + " (pid " + std::to_string(pid) + ")";
    }
    return {};
}

SerialPort::~SerialPort() {
    Close();
}

bool SerialPort::Open(const std::string& path, std::uint32_t baudRate) {
    Close();
    error_.clear();
    refusal_ = OpenRefusal::None;
    const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        error_ = OpenError(path, errno, refusal_);
        return false;
    }
    if (!::isatty(fd)) {
        ::close(fd);
        refusal_ = OpenRefusal::Other;
        error_ = Format(Tr("%s: not a serial port"), path.c_str());
        return false;
    }
    // TIOCEXCL keeps other users' programs out but not root's; the lock also tells another
    // program of ours who holds the port.
    if (::ioctl(fd, TIOCEXCL) != 0 || ::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        error_ = OpenError(path, errno, refusal_);
        ::close(fd);
        return false;
    }
    // Line settings that cannot be applied leave the port as it was configured; the device
    // then simply does not answer, which the callers handle.
    termios tio{};
    if (::tcgetattr(fd, &tio) == 0) {
        ::cfmakeraw(&tio);
        tio.c_cflag &= ~static_cast<tcflag_t>(PARENB | CSTOPB | CSIZE | CRTSCTS);
        tio.c_cflag |= CS8 | CLOCAL | CREAD;
        tio.c_iflag &= ~static_cast<tcflag_t>(IXON | IXOFF | IXANY);
        tio.c_cc[VMIN] = 0;
        tio.c_cc[VTIME] = 0;
        ::cfsetspeed(&tio, SpeedOf(baudRate));
        ::tcsetattr(fd, TCSANOW, &tio);
    }
    ::tcflush(fd, TCIOFLUSH);
    wakeFd_ = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    fd_ = fd;
    gone_ = false;
    path_ = path;
    trace::Line(path_, "open");
    return true;
}

std::size_t SerialPort::Read(std::uint8_t* buffer, std::size_t size) {
    const auto deadline = Clock::now() + std::chrono::milliseconds(size + 1);
    std::size_t got = 0;
    while (fd_ >= 0 && got < size) {
        pollfd fds[2] = {{fd_, POLLIN, 0}, {wakeFd_, POLLIN, 0}};
        const int ready = ::poll(fds, 2, RemainingMs(deadline));
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready <= 0 || (fds[1].revents & POLLIN))
            break;
        if (fds[0].revents & POLLIN) {
            const ssize_t n = ::read(fd_, buffer + got, size - got);
            if (n > 0) {
                got += static_cast<std::size_t>(n);
                continue;
            }
            if (n < 0 && (errno == EAGAIN || errno == EINTR))
                continue;
        }
        // The device is gone (hang-up or error): answer as a read that timed out, without
        // spinning, so that the receive loop keeps its pace.
        gone_ = true;
        trace::Line(path_, "gone: the port hung up or failed");
        std::this_thread::sleep_until(deadline);
        break;
    }
    trace::Bytes(path_, "in", buffer, got);
    return got;
}

std::size_t SerialPort::Write(const std::uint8_t* bytes, std::size_t length) {
    const auto deadline = Clock::now() + std::chrono::milliseconds(10 * length + 1000);
    std::size_t done = 0;
    while (fd_ >= 0 && done < length) {
        const ssize_t n = ::write(fd_, bytes + done, length - done);
        if (n > 0) {
            done += static_cast<std::size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && errno != EAGAIN)
            break;
        pollfd out{fd_, POLLOUT, 0};
        const int left = RemainingMs(deadline);
        if (left == 0 || ::poll(&out, 1, left) <= 0 || (out.revents & (POLLERR | POLLHUP)))
            break;
    }
    trace::Bytes(path_, "out", bytes, done);
    if (done < length && trace::On())
        trace::Line(path_, "out: " + std::to_string(length - done) + " of " +
                               std::to_string(length) + " bytes not written");
    return done;
}

void SerialPort::Wake() {
    if (wakeFd_ >= 0) {
        const std::uint64_t one = 1;
        [[maybe_unused]] const ssize_t n = ::write(wakeFd_, &one, sizeof one);
    }
}

void SerialPort::Close() {
    if (fd_ >= 0) {
        trace::Line(path_, "close");
        // The exclusive mark belongs to the terminal, not to this descriptor: lift it so the
        // port can be opened again while another holder keeps the terminal alive.
        ::ioctl(fd_, TIOCNXCL);
        ::close(fd_);
        fd_ = -1;
    }
    if (wakeFd_ >= 0) {
        ::close(wakeFd_);
        wakeFd_ = -1;
    }
}

} // namespace verdal
