// Starting, reading and ending the programs the tests run.
#include "tests/support/programs.h"

#include "platform/text.h"
#include "update/http_fetch.h"

#include <algorithm>
#include <csignal>
#include <cstdlib>
#include <sstream>
#include <stdexcept>

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

// What the service's /_stats page says: a line "KIND COUNT" for each kind of request, then
// "sn-hex HEX".
std::string Stats(const std::string& base) {
    char reply[1024] = {};
    const int n = FetchUrlToMemory(Utf8ToUtf16(base + "_stats"), reply, sizeof reply - 1);
    return std::string(reply, n > 0 ? static_cast<std::size_t>(n) : 0);
}

// Starts the program at path with its output read by the test and its errors on ours; it ends
// with this process at the latest. Throws when it cannot start.
void Start(ChildProcess& process, const std::string& path, const std::vector<std::string>& args) {
    std::string error;
    if (!process.Start(path, args,
                       {.captureOutput = true, .keepErrors = true, .stopWithParent = true}, error))
        throw std::runtime_error(error);
}

// A run of the program at path to its end. Throws when it cannot start.
ProgramRun RunToEnd(const std::string& path, const std::vector<std::string>& args) {
    ChildProcess process;
    Start(process, path, args);
    ProgramRun run;
    for (std::string line; process.ReadLine(line, 60000);)
        run.lines.push_back(line);
    run.exitCode = process.Wait();
    return run;
}

} // namespace

std::string BuiltProgram(const std::string& name) {
    const char* bin = std::getenv("VERDAL_BIN");
    return std::string(bin ? bin : "build/bin") + "/" + name;
}

void StartBuilt(ChildProcess& process, const std::string& name,
                const std::vector<std::string>& args) {
    Start(process, BuiltProgram(name), args);
}

ProgramRun RunBuilt(const std::string& name, const std::vector<std::string>& args) {
    return RunToEnd(BuiltProgram(name), args);
}

CatalogueService::CatalogueService(int courses, const std::string& versions,
                                   const std::vector<std::string>& faults, int port) {
    std::vector<std::string> args = {"--listen",   "127.0.0.1:" + std::to_string(port),
                                     "--courses",  std::to_string(courses),
                                     "--versions", versions};
    for (const std::string& fault : faults)
        args.insert(args.end(), {"--fault", fault});
    StartBuilt(process_, "verdal-catalogue-service", args);
    port_ = std::stoi(Announcement(process_, "LISTENING "));
}

std::string CatalogueService::Base() const {
    return "http://127.0.0.1:" + std::to_string(port_) + "/";
}

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
    // The hexadecimal digits of the "sn-hex" line.
    const std::string stats = Stats(Base());
    const std::string key = "sn-hex ";
    const std::size_t at = stats.find(key);
    std::string serial;
    for (std::size_t i = at == std::string::npos ? stats.size() : at + key.size();
         i + 1 < stats.size() && stats[i] != '\n'; i += 2)
        serial += static_cast<char>(HexDigitValue(stats[i]) * 16 + HexDigitValue(stats[i + 1]));
    return serial;
}

Simulator::Simulator(const std::string& link, const std::vector<std::string>& options)
    : link_(link) {
    std::vector<std::string> args = {"--link", link};
    args.insert(args.end(), options.begin(), options.end());
    StartBuilt(process_, "verdal-devsim", args);
    const bool unplugged =
        std::find(options.begin(), options.end(), "--unplugged") != options.end();
    Announcement(process_, unplugged ? "UNPLUGGED" : "READY ");
}

void Simulator::Toggle(const std::string& announcement) {
    ::kill(process_.Pid(), SIGUSR1);
    Announcement(process_, announcement);
}

void Simulator::AwaitPulledOut() {
    Announcement(process_, "UNPLUGGED");
}

std::string Sqlite3(const std::string& file, const std::string& command) {
    try {
        const ProgramRun run = RunToEnd("sqlite3", {"-batch", file, command});
        std::string output;
        for (const std::string& line : run.lines)
            output += line + "\n";
        return run.exitCode == 0 ? output : output + "sqlite3 failed";
    } catch (const std::runtime_error& cannotStart) {
        return cannotStart.what() + std::string("\nsqlite3 failed");
    }
}

} // namespace verdal::test
