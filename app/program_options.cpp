// The command line of verdal.
#include "app/program_options.h"

#include "platform/language.h"

#include <cstring>

namespace verdal {

std::string SharedOptionsHelp() {
    // TRANSLATORS: keep the options and their arguments as they are, and the descriptions in the
    // column where they begin.
    return Tr(
        "  --data-dir DIR       folder of golf.db, update.xml and settings.reg\n"
        "                       (default $XDG_DATA_HOME/verdal or ~/.local/share/verdal)\n"
        "  --port PATH          the serial port of the device, instead of searching\n"
        "  --dev-dir DIR        where device files are looked for (default /dev)\n"
        "  --sys-dir DIR        where the serial port list is read (default /sys)\n"
        "  --server URL         the catalogue web service for this run\n"
        "  --trace FILE         write every byte to and from the device, each request's verdict\n"
        "                       and each web request to FILE (it holds the serial number)\n");
}

std::string UsageText() {
    return std::string(Tr("Usage: verdal [OPTION]...\n"
                          "  or:  verdal --help | --version\n"
                          "The golf GPS course manager. It prints its start address and shows it "
                          "in a window\n"
                          "of its own; it ends when its window is closed. A second start on the "
                          "same data\n"
                          "folder brings the running program's window forward.\n"
                          "\n"
                          "Options:\n")) +
           SharedOptionsHelp() +
           // TRANSLATORS: keep the options as they are, and the descriptions in their column.
           Tr("  --listen ADDR:PORT   the loopback address of the window server\n"
              "                       (default 127.0.0.1:0, a free port)\n"
              "  --browser            open the start address in a browser instead of the window\n"
              "                       (Chromium in app mode, else the desktop's browser)\n"
              "  --no-browser         only print the start address\n"
              "  --automation         let WebKitWebDriver drive the window (for tests)\n"
              "  --demo               run on a simulated device and a sample catalogue service\n"
              "  --demo-unplugged     the same, the device not yet plugged in: SIGUSR1 to\n"
              "                       verdal-devsim plugs it in, and pulls it out again\n"
              "  --help               show this text\n"
              "  --version            show the version\n");
}

bool ParseProgramOptions(int argc, const char* const* argv, ProgramOptions& options,
                         std::string& error) {
    struct Valued {
        const char* name;
        std::string ProgramOptions::*field;
    };
    static const Valued kValued[] = {
        {"--data-dir", &ProgramOptions::dataDir}, {"--port", &ProgramOptions::port},
        {"--dev-dir", &ProgramOptions::devDir},   {"--sys-dir", &ProgramOptions::sysDir},
        {"--server", &ProgramOptions::server},    {"--listen", &ProgramOptions::listen},
        {"--trace", &ProgramOptions::trace},
    };
    for (int i = 1; i < argc; ++i) {
        const char* arg = argv[i];
        bool matched = false;
        for (const Valued& valued : kValued) {
            if (std::strcmp(arg, valued.name) != 0)
                continue;
            if (i + 1 >= argc) {
                error = Format(Tr("%s needs a value"), arg);
                return false;
            }
            options.*valued.field = argv[++i];
            matched = true;
        }
        if (matched)
            continue;
        if (std::strcmp(arg, "--browser") == 0)
            options.browser = true;
        else if (std::strcmp(arg, "--no-browser") == 0)
            options.noBrowser = true;
        else if (std::strcmp(arg, "--automation") == 0)
            options.automation = true;
        else if (std::strcmp(arg, "--demo") == 0)
            options.demo = true;
        else if (std::strcmp(arg, "--demo-unplugged") == 0)
            options.demo = options.demoUnplugged = true;
        else if (std::strcmp(arg, "--help") == 0 || std::strcmp(arg, "-h") == 0)
            options.help = true;
        else if (std::strcmp(arg, "--version") == 0)
            options.version = true;
        else {
            error = Format(Tr("unknown option %s"), arg);
            return false;
        }
    }
    if (options.browser && options.noBrowser) {
        error = Tr("--browser and --no-browser exclude each other");
        return false;
    }
    return true;
}

} // namespace verdal
