// Starting and ending the loopback servers of the tests.
#include "loopback_servers.h"

#include <arpa/inet.h>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <netinet/in.h>
#include <poll.h>
#include <stdexcept>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include "platform/event.h"

namespace verdal::test {

ChildProcess::ChildProcess(const std::vector<std::string>& argv, bool discardErrors) {
    int pipeFds[2];
    if (::pipe2(pipeFds, O_CLOEXEC) != 0)
        throw std::runtime_error("pipe failed");
    pid_ = ::fork();
    if (pid_ == 0) {
        ::dup2(pipeFds[1], STDOUT_FILENO);
        if (discardErrors) {
            const int null = ::open("/dev/null", O_WRONLY);
            ::dup2(null, STDERR_FILENO);
        }
        std::vector<char*> args;
        for (const std::string& arg : argv)
            args.push_back(const_cast<char*>(arg.c_str()));
        args.push_back(nullptr);
        ::execvp(args[0], args.data());
        ::_exit(127);
    }
    ::close(pipeFds[1]);
    out_ = pipeFds[0];
    if (pid_ < 0)
        throw std::runtime_error("fork failed");
}

ChildProcess::~ChildProcess() {
    if (pid_ > 0) {
        ::kill(pid_, SIGTERM);
        int status = 0;
        ::waitpid(pid_, &status, 0);
    }
    if (out_ >= 0)
        ::close(out_);
}

int ChildProcess::Finish(int signal) {
    if (pid_ <= 0)
        return -1;
    if (signal)
        ::kill(pid_, signal);
    int status = 0;
    ::waitpid(pid_, &status, 0);
    pid_ = -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

std::string ChildProcess::ReadLine(int timeoutMs) {
    const std::uint32_t start = GetTickCount();
    for (;;) {
        if (auto newline = pending_.find('\n'); newline != std::string::npos) {
            std::string line = pending_.substr(0, newline);
            pending_.erase(0, newline + 1);
            return line;
        }
        const int left = timeoutMs - static_cast<int>(GetTickCount() - start);
        pollfd fd{out_, POLLIN, 0};
        if (left <= 0 || ::poll(&fd, 1, left) <= 0)
            return {};
        char chunk[512];
        const ssize_t n = ::read(out_, chunk, sizeof chunk);
        if (n <= 0)
            return {};
        pending_.append(chunk, static_cast<std::size_t>(n));
    }
}

std::string BuiltProgram(const std::string& name) {
    const char* bin = std::getenv("VERDAL_BIN");
    return std::string(bin ? bin : "bin") + "/" + name;
}

namespace {

std::vector<std::string> ServiceArgs(int courses, const std::string& versions,
                                     const std::vector<std::string>& faults) {
    std::vector<std::string> args = {BuiltProgram("verdal-catalogue-service"),
                                     "--listen",
                                     "127.0.0.1:0",
                                     "--courses",
                                     std::to_string(courses),
                                     "--versions",
                                     versions};
    for (const std::string& fault : faults) {
        args.push_back("--fault");
        args.push_back(fault);
    }
    return args;
}

} // namespace

CatalogueService::CatalogueService(int courses, const std::string& versions,
                                   const std::vector<std::string>& faults)
    : process_(ServiceArgs(courses, versions, faults)) {
    const std::string line = process_.ReadLine(20000);
    if (line.rfind("LISTENING ", 0) != 0)
        throw std::runtime_error("verdal-catalogue-service did not start: " + line);
    port_ = std::stoi(line.substr(10));
}

std::string CatalogueService::Base() const {
    return "http://127.0.0.1:" + std::to_string(port_) + "/";
}

TempFolder::TempFolder() {
    std::string pattern =
        (std::filesystem::temp_directory_path() / "verdal-update-XXXXXX").string();
    if (!::mkdtemp(pattern.data()))
        throw std::runtime_error("mkdtemp failed");
    path_ = pattern;
}

TempFolder::~TempFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
}

StaticServer::StaticServer() {
    TempFolder made;
    folder_ = made.Path().string() + "-static";
    std::filesystem::rename(made.Path(), folder_);
    port_ = ClosedPort();
    process_ = std::make_unique<ChildProcess>(
        std::vector<std::string>{"python3", "-u", "-m", "http.server", "--bind", "127.0.0.1",
                                 "--directory", folder_.string(), std::to_string(port_)},
        /*discardErrors=*/true);
    // http.server announces itself on standard output once it listens.
    if (process_->ReadLine(20000).find("Serving HTTP") == std::string::npos)
        throw std::runtime_error("python3 -m http.server did not start");
}

StaticServer::~StaticServer() {
    process_.reset();
    std::error_code ignored;
    std::filesystem::remove_all(folder_, ignored);
}

std::string StaticServer::Url(const std::string& name) const {
    return "http://127.0.0.1:" + std::to_string(port_) + "/" + name;
}

void StaticServer::Put(const std::string& name, const std::string& content) const {
    std::ofstream(folder_ / name, std::ios::binary) << content;
}

int ClosedPort() {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
    ::close(fd);
    return ntohs(address.sin_port);
}

} // namespace verdal::test

#include "platform/text.h"
#include "update/http_fetch.h"

#include <sstream>

namespace verdal::test {

std::map<std::string, long> CatalogueService::Served() const {
    char reply[512] = {};
    const int n = FetchUrlToMemory(Utf8ToUtf16(Base() + "_stats"), reply, sizeof reply - 1);
    std::map<std::string, long> served;
    std::istringstream lines(std::string(reply, n > 0 ? static_cast<std::size_t>(n) : 0));
    std::string kind;
    long count = 0;
    while (lines >> kind >> count)
        served[kind] = count;
    return served;
}

} // namespace verdal::test
