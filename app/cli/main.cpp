// verdal-cli entry point: global options, then one registered command.
#include "app/cli/cli.h"

#include "app/program_options.h"
#include "app/version.h"
#include "platform/data_dir.h"
#include "platform/language.h"
#include "platform/trace.h"

#include <cstring>
#include <exception>
#include <iostream>
#include <map>

namespace verdal::cli {
namespace {

using verdal::Format;
using verdal::Tr;

struct Entry {
    std::string usage;
    CliCommand run;
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

} // namespace

CliRegistration::CliRegistration(std::string name, std::string usage, CliCommand run) {
    Commands()[std::move(name)] = Entry{std::move(usage), std::move(run)};
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
        std::string error;
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
