// verdal-cli entry point: global options, then one registered command.
#include "app/cli/cli.h"

#include "app/program_options.h"
#include "app/version.h"
#include "platform/data_dir.h"
#include "platform/instance_lock.h"
#include "platform/language.h"
#include "platform/trace.h"

#include <chrono>
#include <cstring>
#include <exception>
#include <iostream>
#include <map>
#include <thread>

namespace verdal::cli {
namespace {

using verdal::DataDir;
using verdal::Format;
using verdal::InstanceHolder;
using verdal::InstanceLock;
using verdal::Tr;

struct Entry {
    std::string usage;
    CliCommand run;
    FolderUse use = FolderUse::Writes;
};

std::map<std::string, Entry>& Commands() {
    static std::map<std::string, Entry> commands;
    return commands;
}

int Usage(std::ostream& out, int code) {
    out << Tr("Usage: verdal-cli [OPTION]... COMMAND [ARGUMENT]...\n"
              "  or:  verdal-cli --help | --version\n"
              "The golf GPS course manager's device and catalogue operations from a terminal.\n"
              "\n"
              "Options:\n")
        << SharedOptionsHelp()
        // TRANSLATORS: keep the options as they are, and the descriptions in their column.
        << Tr("  --help               show this text\n"
              "  --version            show the version\n"
              "\n"
              "Commands:\n");
    for (const auto& [name, entry] : Commands())
        out << "  " << Tr(entry.usage.c_str()) << "\n";
    out << Tr("\nExit status: 0 success, 1 failure (the reason on standard error), 2 wrong "
              "usage.\n");
    return code;
}

// Takes the data folder's lock for this run: kExitOk once held. Beside a verdal it refuses; beside
// another verdal-cli it waits until that one has ended, saying so once.
int HoldFolder(InstanceLock& lock) {
    bool waitSaid = false;
    for (;;) {
        InstanceHolder holder;
        std::string error;
        switch (lock.Acquire(DataDir(), holder, error)) {
        case InstanceLock::Outcome::Acquired:
            lock.Publish("verdal-cli");
            return kExitOk;
        case InstanceLock::Outcome::Failed:
            std::cerr << "verdal-cli: " << error << "\n";
            return kExitFailed;
        case InstanceLock::Outcome::HeldElsewhere:
            break;
        }
        if (!holder.address.empty()) {
            // TRANSLATORS: the data folder, the program that holds it, its process id.
            std::cerr << "verdal-cli: "
                      << Format(Tr("%s is in use by %s (pid %d)"), DataDir().c_str(),
                                holder.program.c_str(), static_cast<int>(holder.pid))
                      << "\n";
            return kExitFailed;
        }
        if (!waitSaid)
            // TRANSLATORS: the program that holds the data folder, its process id, the folder.
            std::cerr << Format(Tr("verdal-cli: waiting for %s (pid %d), which is using %s\n"),
                                holder.program.c_str(), static_cast<int>(holder.pid),
                                DataDir().c_str());
        waitSaid = true;
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
}

} // namespace

CliRegistration::CliRegistration(std::string name, std::string usage, CliCommand run,
                                 FolderUse use) {
    Commands()[std::move(name)] = Entry{std::move(usage), std::move(run), use};
}

} // namespace verdal::cli

int main(int argc, char** argv) {
    using namespace verdal::cli;
    verdal::FollowSessionLanguage();
    CliOptions options;
    int i = 1;
    const std::map<std::string, std::string*> valued = {
        {"--data-dir", &options.dataDir}, {"--port", &options.port},
        {"--dev-dir", &options.devDir},   {"--sys-dir", &options.sysDir},
        {"--server", &options.server},    {"--trace", &options.trace},
    };
    for (; i < argc && std::strncmp(argv[i], "--", 2) == 0; ++i) {
        const std::string arg = argv[i];
        if (arg == "--help")
            return Usage(std::cout, kExitOk);
        if (arg == "--version") {
            std::cout << "verdal-cli " << verdal::kProgramVersion << "\n";
            return kExitOk;
        }
        auto it = valued.find(arg);
        if (it == valued.end() || i + 1 >= argc) {
            std::cerr << Format(Tr("verdal-cli: unknown option or missing value: %s\n"),
                                arg.c_str());
            return Usage(std::cerr, kExitUsage);
        }
        *it->second = argv[++i];
    }
    if (i >= argc)
        return Usage(std::cerr, kExitUsage);
    auto found = Commands().find(argv[i]);
    if (found == Commands().end()) {
        std::cerr << Format(Tr("verdal-cli: unknown command: %s\n"), argv[i]);
        return Usage(std::cerr, kExitUsage);
    }
    try {
        if (!options.dataDir.empty())
            verdal::SetDataDir(options.dataDir);
        verdal::InstanceLock lock;
        if (found->second.use == FolderUse::Writes)
            if (const int code = HoldFolder(lock); code != kExitOk)
                return code;
        std::string error;
        // Opened once the folder is held: a trace is never written by two programs at once.
        if (!options.trace.empty() && !verdal::trace::Open(options.trace, error)) {
            std::cerr << "verdal-cli: " << error << "\n";
            return kExitFailed;
        }
        return found->second.run(options, std::vector<std::string>(argv + i + 1, argv + argc));
    } catch (const std::exception& error) {
        std::cerr << "verdal-cli: " << error.what() << "\n";
        return kExitFailed;
    }
}
