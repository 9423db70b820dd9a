// Real HTTP servers on loopback for the tests: verdal-catalogue-service and python3's
// http.server, each run as a child process that is ended when its object goes.
#pragma once

#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace verdal::test {

// A child process whose standard output is read line by line.
class ChildProcess {
public:
    // Starts argv[0] (looked up in PATH) with the arguments; its standard error goes to ours, or
    // nowhere when discardErrors is set.
    explicit ChildProcess(const std::vector<std::string>& argv, bool discardErrors = false);
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;
    ~ChildProcess(); // SIGTERM, then waits for the child

    // The next line of the child's standard output; empty at its end or after timeoutMs.
    std::string ReadLine(int timeoutMs);
    // Sends the signal (none when 0), waits for the child to end and answers its exit code, or
    // 128 plus the signal that ended it.
    int Finish(int signal = 0);
    int Pid() const { return pid_; }

private:
    int pid_ = -1;
    int out_ = -1;
    std::string pending_;
};

// verdal-catalogue-service on a free port of 127.0.0.1.
class CatalogueService {
public:
    explicit CatalogueService(int courses = 10, const std::string& versions = "25,26",
                              const std::vector<std::string>& faults = {});
    int Port() const { return port_; }
    // "http://127.0.0.1:<port>/"
    std::string Base() const;
    // The requests served so far, by kind: "version", "catalogue", "map", "other".
    std::map<std::string, long> Served() const;

private:
    ChildProcess process_;
    int port_ = 0;
};

// python3 -m http.server serving a fresh temporary folder on a free port of 127.0.0.1.
class StaticServer {
public:
    StaticServer();
    ~StaticServer();
    const std::filesystem::path& Folder() const { return folder_; }
    std::string Url(const std::string& name) const;
    // Writes a file of the given content into the served folder.
    void Put(const std::string& name, const std::string& content) const;

private:
    std::filesystem::path folder_;
    std::unique_ptr<ChildProcess> process_;
    int port_ = 0;
};

// A fresh temporary folder, removed with everything in it when the object goes.
class TempFolder {
public:
    TempFolder();
    ~TempFolder();
    const std::filesystem::path& Path() const { return path_; }

private:
    std::filesystem::path path_;
};

// A loopback port on which nothing listens (bound, then released).
int ClosedPort();

// The path of a program built into VERDAL_BIN.
std::string BuiltProgram(const std::string& name);

} // namespace verdal::test
