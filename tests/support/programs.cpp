// Starting, reading and ending the programs the tests run.
#include "tests/support/programs.h"

#include "platform/text.h"
#include "update/http_fetch.h"

#include <arpa/inet.h>
#include <cstdio>
#include <cstdlib>
#include <netinet/in.h>
#include <sstream>
#include <stdexcept>
#include <sys/socket.h>
#include <unistd.h>

namespace verdal::test {
namespace {

// The first line of a program that announces itself once it is ready; throws unless it begins
// with prefix.
std::string Announcement(ChildProcess& process, const std::string& prefix) {
    std::string line;
    if (!process.ReadLine(line, 20000) || line.rfind(prefix, 0) != 0)
        throw std::runtime_error("no " + prefix + "line, but: " + line);
    return line.substr(prefix.size());
}

} // namespace

std::string BuiltProgram(const std::string& name) {
    const char* bin = std::getenv("VERDAL_BIN");
    return std::string(bin ? bin : "build/bin") + "/" + name;
}

void StartBuilt(ChildProcess& process, const std::string& name,
                const std::vector<std::string>& args) {
    StartOptions options;
    options.captureOutput = true;
    options.keepErrors = true;
    options.stopWithParent = true;
    std::string error;
    if (!process.Start(BuiltProgram(name), args, options, error))
        throw std::runtime_error(error);
}

ProgramRun RunBuilt(const std::string& name, const std::vector<std::string>& args) {
    ChildProcess process;
    StartBuilt(process, name, args);
    ProgramRun run;
    for (std::string line; process.ReadLine(line, 60000);)
        run.lines.push_back(line);
    run.exitCode = process.Wait();
    return run;
}

CatalogueService::CatalogueService(int courses, const std::string& versions,
                                   const std::vector<std::string>& faults) {
    std::vector<std::string> args = {
        "--listen", "127.0.0.1:0", "--courses", std::to_string(courses), "--versions", versions};
    for (const std::string& fault : faults)
        args.insert(args.end(), {"--fault", fault});
    StartBuilt(process_, "verdal-catalogue-service", args);
    port_ = std::stoi(Announcement(process_, "LISTENING "));
}

std::string CatalogueService::Base() const {
    return "http://127.0.0.1:" + std::to_string(port_) + "/";
}

namespace {

std::string Stats(const std::string& base) {
    char reply[1024] = {};
    const int n = FetchUrlToMemory(Utf8ToUtf16(base + "_stats"), reply, sizeof reply - 1);
    return std::string(reply, n > 0 ? static_cast<std::size_t>(n) : 0);
}

} // namespace

std::map<std::string, long> CatalogueService::Served() const {
    std::map<std::string, long> served;
    std::istringstream lines(Stats(Base()));
    std::string kind;
    long count = 0;
    while (lines >> kind >> count)
        served[kind] = count;
    return served;
}

std::string CatalogueService::LastSerialNumber() const {
    const std::string stats = Stats(Base());
    const std::size_t at = stats.find("sn-hex ");
    std::string serial;
    for (std::size_t i = at == std::string::npos ? stats.size() : at + 7;
         i + 1 < stats.size() && stats[i] != '\n'; i += 2)
        serial += static_cast<char>(std::stoi(stats.substr(i, 2), nullptr, 16));
    return serial;
}

Simulator::Simulator(const std::string& link, const std::vector<std::string>& options)
    : link_(link) {
    std::vector<std::string> args = {"--link", link};
    args.insert(args.end(), options.begin(), options.end());
    StartBuilt(process_, "verdal-devsim", args);
    Announcement(process_, "READY ");
}

std::string Sqlite3(const std::string& file, const std::string& command) {
    const std::string line = "sqlite3 -batch '" + file + "' \"" + command + "\" 2>&1";
    FILE* pipe = ::popen(line.c_str(), "r");
    if (!pipe)
        return "sqlite3 failed";
    std::string output;
    char chunk[4096];
    for (std::size_t n; (n = std::fread(chunk, 1, sizeof chunk, pipe)) > 0;)
        output.append(chunk, n);
    return ::pclose(pipe) == 0 ? output : output + "sqlite3 failed";
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
