// The command line of verdal.
#pragma once

#include "app/version.h"

#include <string>

namespace verdal {

struct ProgramOptions {
    std::string dataDir; // --data-dir: empty for the default folder
    std::string port;    // --port: the one port to use
    std::string devDir;  // --dev-dir: stands for /dev
    std::string sysDir;  // --sys-dir: stands for /sys
    std::string server;  // --server: the web service for this run
    std::string trace;   // --trace: the trace file (platform/trace.h); none when empty
    std::string listen = "127.0.0.1:0";
    bool browser = false;    // --browser: a browser instead of the program's own window
    bool noBrowser = false;  // --no-browser: only print the start address
    bool automation = false; // --automation: the window lets WebKitWebDriver drive it
    bool demo = false;
    bool demoUnplugged = false; // --demo-unplugged: the demo, its device not yet plugged in
    bool help = false;
    bool version = false;
};

// Reads the arguments; false with a message in error for an unknown option, a missing value, or
// --browser with --no-browser.
bool ParseProgramOptions(int argc, const char* const* argv, ProgramOptions& options,
                         std::string& error);

// The text of --help, in the session's language.
std::string UsageText();

// The help lines of the options verdal and verdal-cli share, in --help's layout and the session's
// language.
std::string SharedOptionsHelp();

} // namespace verdal
