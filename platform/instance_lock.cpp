// The data folder's lock file: flock() held for the life of the program, its pid and address in
// the file.
#include "platform/instance_lock.h"

#include "platform/language.h"

#include <cerrno>
#include <charconv>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <string_view>
#include <sys/file.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace verdal {
namespace {

// "PID\nADDRESS\n" or "PID\nPROGRAM\n", as Publish writes it; false for a file still empty or half
// written.
bool ParseHolder(std::string_view text, InstanceHolder& holder) {
    const std::size_t first = text.find('\n');
    if (first == std::string_view::npos)
        return false;
    const std::size_t second = text.find('\n', first + 1);
    if (second == std::string_view::npos || second == first + 1)
        return false;
    const std::string_view digits = text.substr(0, first);
    pid_t pid = 0;
    const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), pid);
    if (error != std::errc() || end != digits.data() + digits.size() || pid <= 0)
        return false;
    holder.pid = pid;
    const std::string_view named = text.substr(first + 1, second - first - 1);
    const bool address = named.rfind("http://", 0) == 0;
    holder.address = address ? std::string(named) : std::string();
    holder.program = address ? std::string("verdal") : std::string(named);
    return true;
}

std::string ReadAll(int fd) {
    std::string text;
    char buffer[512];
    off_t offset = 0;
    for (;;) {
        const ssize_t n = ::pread(fd, buffer, sizeof buffer, offset);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return text;
        text.append(buffer, static_cast<std::size_t>(n));
        offset += n;
    }
}

} // namespace

InstanceLock::~InstanceLock() {
    if (fd_ >= 0)
        ::close(fd_);
}

InstanceLock::Outcome InstanceLock::Acquire(const std::string& folder, InstanceHolder& holder,
                                            std::string& error, int waitMs) {
    const std::string path = folder + "/verdal.lock";
    // Close-on-exec: a helper program that inherited the descriptor would keep the lock alive
    // after this program died.
    const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0) {
        error = path + ": " + std::strerror(errno);
        return Outcome::Failed;
    }
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(waitMs);
    for (;;) {
        if (::flock(fd, LOCK_EX | LOCK_NB) == 0) {
            // A file that was there already keeps its mode otherwise.
            if (::fchmod(fd, 0600) != 0 || ::ftruncate(fd, 0) != 0) {
                error = path + ": " + std::strerror(errno);
                ::close(fd);
                return Outcome::Failed;
            }
            fd_ = fd;
            return Outcome::Acquired;
        }
        if (errno != EWOULDBLOCK && errno != EINTR) {
            error = path + ": " + std::strerror(errno);
            ::close(fd);
            return Outcome::Failed;
        }
        if (ParseHolder(ReadAll(fd), holder)) {
            ::close(fd);
            return Outcome::HeldElsewhere;
        }
        if (std::chrono::steady_clock::now() >= deadline) {
            error =
                Format(Tr("another verdal is starting on %s and has not answered"), folder.c_str());
            ::close(fd);
            return Outcome::Failed;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
}

bool InstanceLock::Publish(const std::string& addressOrProgram) {
    if (fd_ < 0)
        return false;
    const std::string text = std::to_string(::getpid()) + "\n" + addressOrProgram + "\n";
    // One write: a later start reads either nothing or the whole of it.
    return ::ftruncate(fd_, 0) == 0 &&
           ::pwrite(fd_, text.data(), text.size(), 0) == static_cast<ssize_t>(text.size());
}

} // namespace verdal
