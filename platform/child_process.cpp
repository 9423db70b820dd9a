// Starting, reading and stopping helper programs.
#include "platform/child_process.h"

#include "platform/language.h"

#include "platform/event.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <poll.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace verdal {
namespace {

// The soft descriptor limit the process was started with, for its children; 0 while it has not
// been raised. Written once before any thread starts.
rlim_t startLimit = 0;

void CloseBoth(int fds[2]) {
    for (int i = 0; i < 2; ++i)
        if (fds[i] >= 0)
            ::close(fds[i]);
}

// In the child: every descriptor from 3 up closed, so that the program holds only its standard
// streams.
void CloseTheRest() {
    if (::syscall(SYS_close_range, 3u, ~0u, 0u) == 0)
        return;
    const long highest = ::sysconf(_SC_OPEN_MAX);
    for (long fd = 3; fd < (highest > 0 ? highest : 65536); ++fd)
        ::close(static_cast<int>(fd));
}

} // namespace

ChildProcess::~ChildProcess() {
    Stop();
}

bool ChildProcess::Start(const std::string& program, const std::vector<std::string>& args,
                         const StartOptions& options, std::string& error) {
    int outputFds[2] = {-1, -1};
    int inputFds[2] = {-1, -1};
    if (options.captureOutput && ::pipe2(outputFds, O_CLOEXEC) != 0) {
        error = Format(Tr("cannot make a pipe: %s"), std::strerror(errno));
        return false;
    }
    if (!options.input.empty()) {
        // Written whole before the program starts, without waiting: a pipe's buffer holds it, and
        // the program finds its end after it.
        errno = EMSGSIZE;
        if (options.input.size() > 65536 || ::pipe2(inputFds, O_CLOEXEC) != 0 ||
            ::fcntl(inputFds[1], F_SETFL, O_NONBLOCK) != 0 ||
            ::write(inputFds[1], options.input.data(), options.input.size()) !=
                static_cast<ssize_t>(options.input.size())) {
            error = Format(Tr("cannot make a pipe: %s"), std::strerror(errno));
            CloseBoth(outputFds);
            CloseBoth(inputFds);
            return false;
        }
        ::close(inputFds[1]);
        inputFds[1] = -1;
    }
    const int null = ::open("/dev/null", O_RDWR | O_CLOEXEC);
    if (null < 0) {
        error = Format(Tr("cannot start %s: %s"), program.c_str(), std::strerror(errno));
        CloseBoth(outputFds);
        CloseBoth(inputFds);
        return false;
    }
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(program.c_str()));
    for (const std::string& arg : args)
        argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);
    const pid_t parent = ::getpid();
    const pid_t pid = ::fork();
    if (pid < 0) {
        error = Format(Tr("cannot start %s: %s"), program.c_str(), std::strerror(errno));
        CloseBoth(outputFds);
        CloseBoth(inputFds);
        ::close(null);
        return false;
    }
    if (pid == 0) {
        if (options.stopWithParent) {
            ::prctl(PR_SET_PDEATHSIG, SIGTERM);
            if (::getppid() != parent)
                ::_exit(127);
        } else {
            ::setsid();
        }
        // dup2 clears close-on-exec on the copies, and only on them.
        ::dup2(inputFds[0] >= 0 ? inputFds[0] : null, 0);
        ::dup2(options.captureOutput ? outputFds[1] : null, 1);
        if (!options.keepErrors)
            ::dup2(null, 2);
        CloseTheRest();
        if (startLimit > 0) {
            rlimit limit{};
            if (::getrlimit(RLIMIT_NOFILE, &limit) == 0) {
                limit.rlim_cur = startLimit;
                ::setrlimit(RLIMIT_NOFILE, &limit);
            }
        }
        ::execvp(program.c_str(), argv.data());
        ::_exit(127);
    }
    ::close(null);
    if (inputFds[0] >= 0)
        ::close(inputFds[0]);
    pid_ = pid;
    pidFd_ = static_cast<int>(::syscall(SYS_pidfd_open, pid, 0)); // close-on-exec by itself
    if (options.captureOutput) {
        ::close(outputFds[1]);
        output_ = outputFds[0];
    }
    return true;
}

bool ChildProcess::ReadLine(std::string& line, int timeoutMs) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        const auto end = pending_.find('\n');
        if (end != std::string::npos) {
            line = pending_.substr(0, end);
            pending_.erase(0, end + 1);
            return true;
        }
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                              deadline - std::chrono::steady_clock::now())
                              .count();
        if (output_ < 0 || left <= 0)
            return false;
        pollfd in{output_, POLLIN, 0};
        if (::poll(&in, 1, static_cast<int>(left)) <= 0)
            continue;
        char buffer[256];
        const ssize_t n = ::read(output_, buffer, sizeof buffer);
        if (n <= 0 && !(n < 0 && errno == EINTR))
            return false;
        if (n > 0)
            pending_.append(buffer, static_cast<std::size_t>(n));
    }
}

void ChildProcess::Stop(int timeoutMs) {
    if (pid_ > 0) {
        ::kill(pid_, SIGTERM);
        int status = 0;
        const auto deadline =
            std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        while (::waitpid(pid_, &status, WNOHANG) == 0) {
            if (std::chrono::steady_clock::now() > deadline) {
                ::kill(pid_, SIGKILL);
                ::waitpid(pid_, &status, 0);
                break;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
    }
    Release();
}

int ChildProcess::Wait() {
    if (pid_ <= 0)
        return -1;
    int status = 0;
    pid_t waited = 0;
    while ((waited = ::waitpid(pid_, &status, 0)) < 0 && errno == EINTR) {
    }
    Release();
    if (waited < 0)
        return -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

bool ChildProcess::WaitForEnd(std::stop_token stop) const {
    if (pid_ <= 0)
        return true;
    const StopFd wake(stop);
    if (wake.Fd() < 0)
        return false;
    bool ended = false;
    while (!ended && !stop.stop_requested()) {
        // Without a pidfd (a kernel before 5.3) the program is looked at ten times a second.
        pollfd fds[2] = {{wake.Fd(), POLLIN, 0}, {pidFd_, POLLIN, 0}};
        const int ready = ::poll(fds, pidFd_ >= 0 ? 2 : 1, pidFd_ >= 0 ? -1 : 100);
        if (ready < 0 && errno != EINTR)
            break;
        siginfo_t info{};
        ended =
            (pidFd_ >= 0 && (fds[1].revents & POLLIN)) ||
            (pidFd_ < 0 &&
             ::waitid(P_PID, static_cast<id_t>(pid_), &info, WEXITED | WNOHANG | WNOWAIT) == 0 &&
             info.si_pid == pid_);
    }
    return ended;
}

bool ChildProcess::Running() const {
    if (pid_ <= 0)
        return false;
    siginfo_t info{};
    return !(::waitid(P_PID, static_cast<id_t>(pid_), &info, WEXITED | WNOHANG | WNOWAIT) == 0 &&
             info.si_pid == pid_);
}

void ChildProcess::Release() {
    pid_ = -1;
    if (pidFd_ >= 0)
        ::close(pidFd_);
    pidFd_ = -1;
    if (output_ >= 0)
        ::close(output_);
    output_ = -1;
}

std::string SiblingProgram(const std::string& name) {
    std::error_code error;
    const auto self = std::filesystem::read_symlink("/proc/self/exe", error);
    if (error)
        return name;
    return (self.parent_path() / name).string();
}

std::string FindProgram(const char* name) {
    const char* path = std::getenv("PATH");
    std::string folders = path ? path : "/usr/bin:/bin";
    std::size_t start = 0;
    while (start <= folders.size()) {
        const std::size_t end = folders.find(':', start);
        const std::string folder =
            folders.substr(start, end == std::string::npos ? std::string::npos : end - start);
        const std::string candidate = (folder.empty() ? "." : folder) + "/" + name;
        if (IsExecutable(candidate))
            return candidate;
        if (end == std::string::npos)
            break;
        start = end + 1;
    }
    return {};
}

bool IsExecutable(const std::string& path) {
    return ::access(path.c_str(), X_OK) == 0;
}

void AskToShow(pid_t pid) {
    if (pid > 0)
        ::kill(pid, SIGUSR1);
}

void RaiseDescriptorLimit() {
    rlimit limit{};
    if (::getrlimit(RLIMIT_NOFILE, &limit) != 0 || limit.rlim_cur >= limit.rlim_max)
        return;
    const rlim_t soft = limit.rlim_cur;
    limit.rlim_cur = limit.rlim_max;
    if (::setrlimit(RLIMIT_NOFILE, &limit) == 0)
        startLimit = soft;
}

bool RunningAsRoot() {
    return ::geteuid() == 0;
}

std::string HelperProgram(const std::string& name) {
    const std::filesystem::path beside = SiblingProgram(name);
    if (!beside.has_parent_path())
        return name;
    const std::filesystem::path installed =
        beside.parent_path().parent_path() / "lib" / "verdal" / name;
    if (::access(beside.c_str(), X_OK) != 0 && ::access(installed.c_str(), X_OK) == 0)
        return installed.string();
    return beside.string();
}

} // namespace verdal
