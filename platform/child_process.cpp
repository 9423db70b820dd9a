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
#include <sys/syscall.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace verdal {

ChildProcess::~ChildProcess() {
    Stop();
}

bool ChildProcess::Start(const std::string& program, const std::vector<std::string>& args,
                         const StartOptions& options, std::string& error) {
    const auto [captureOutput, keepErrors, stopWithParent] = options;
    int pipeFds[2] = {-1, -1};
    if (captureOutput && ::pipe2(pipeFds, O_CLOEXEC) != 0) {
        error = Format(Tr("cannot make a pipe: %s"), std::strerror(errno));
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
        return false;
    }
    if (pid == 0) {
        if (stopWithParent) {
            ::prctl(PR_SET_PDEATHSIG, SIGTERM);
            if (::getppid() != parent)
                ::_exit(127);
        } else {
            ::setsid();
        }
        const int null = ::open("/dev/null", O_RDWR);
        ::dup2(null, 0);
        ::dup2(captureOutput ? pipeFds[1] : null, 1);
        if (!keepErrors)
            ::dup2(null, 2);
        ::execvp(program.c_str(), argv.data());
        ::_exit(127);
    }
    pid_ = pid;
    pidFd_ = static_cast<int>(::syscall(SYS_pidfd_open, pid, 0));
    if (captureOutput) {
        ::close(pipeFds[1]);
        output_ = pipeFds[0];
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
    while (::waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
    }
    Release();
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
