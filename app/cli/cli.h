// verdal-cli: the program's device and catalogue operations from a terminal. Each group of
// commands registers itself from its own file with a CliRegistration.
#pragma once

#include <functional>
#include <string>
#include <vector>

namespace verdal::cli {

// Options that come before the command.
struct CliOptions {
    std::string dataDir; // --data-dir
    std::string port;    // --port: one port to use outright
    std::string devDir;  // --dev-dir: the folder holding the serial devices (/dev)
    std::string sysDir;  // --sys-dir: the sysfs folder (/sys)
    std::string server;  // --server: the web service's base address for this run
    std::string trace;   // --trace: the trace file (platform/trace.h)
};

// Exit codes of every command.
inline constexpr int kExitOk = 0;
inline constexpr int kExitFailed = 1; // the reason goes to standard error
inline constexpr int kExitUsage = 2;

// A command: takes the options and the words after the command name, answers an exit code.
using CliCommand = std::function<int(const CliOptions&, const std::vector<std::string>&)>;

// What a command does with the data folder. One that writes it (the catalogue, the settings
// after a connect) holds the folder's lock for its run, as verdal does: beside a verdal on the
// same folder it refuses, and beside another verdal-cli it waits for that one to end. One that
// only reads runs beside either.
enum class FolderUse { Reads, Writes };

// usage is the command's line of --help, marked for the catalogues (N_) and translated there.
struct CliRegistration {
    CliRegistration(std::string name, std::string usage, CliCommand run,
                    FolderUse use = FolderUse::Writes);
};

} // namespace verdal::cli
