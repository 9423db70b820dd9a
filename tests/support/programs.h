// The built programs the tests run as child processes: verdal-catalogue-service and
// verdal-devsim, each ended when its object goes, and runs of a program to its end.
#pragma once

#include "platform/child_process.h"

#include <map>
#include <string>
#include <vector>

namespace verdal::test {

// The path of a program built into VERDAL_BIN.
std::string BuiltProgram(const std::string& name);

// Starts the built program with its output read by the test and its errors on ours; it ends with
// this process at the latest. Throws when it cannot start.
void StartBuilt(ChildProcess& process, const std::string& name,
                const std::vector<std::string>& args);

// What a run of a program to its end printed, line by line, and its exit code.
struct ProgramRun {
    std::vector<std::string> lines;
    int exitCode = -1;
};
ProgramRun RunBuilt(const std::string& name, const std::vector<std::string>& args);

// verdal-catalogue-service on a free port of 127.0.0.1.
class CatalogueService {
public:
    // On the given port, or a free one when 0.
    explicit CatalogueService(int courses = 10, const std::string& versions = "25,26",
                              const std::vector<std::string>& faults = {}, int port = 0);
    int Port() const { return port_; }
    // "http://127.0.0.1:<port>/"
    std::string Base() const;
    // The requests served so far, by kind: "version", "catalogue", "map", "other".
    std::map<std::string, long> Served() const;
    // The serial number the last version request carried, as the service decoded it.
    std::string LastSerialNumber() const;

private:
    ChildProcess process_;
    int port_ = 0;
};

// verdal-devsim started with --link at link and the given options, ended by SIGTERM. Started with
// --unplugged, it waits to be plugged in.
class Simulator {
public:
    Simulator(const std::string& link, const std::vector<std::string>& options = {});
    const std::string& Link() const { return link_; }

    // Plugs the device in, or pulls it out (SIGUSR1), once it has said so.
    void PlugIn() { Toggle("READY "); }
    void PullOut() { Toggle("UNPLUGGED"); }
    // Waits for the line the simulator prints as it is pulled out by its unplug fault.
    void AwaitPulledOut();

private:
    void Toggle(const std::string& announcement);

    std::string link_;
    ChildProcess process_;
};

// What the sqlite3 program prints for one command on the database file, an independent reader
// of what the program stored, its errors on ours; a last line "sqlite3 failed" when it did not
// end with 0.
std::string Sqlite3(const std::string& file, const std::string& command);

} // namespace verdal::test
