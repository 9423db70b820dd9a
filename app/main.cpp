// verdal: the golf GPS course manager. Starts the window server, creates the main window on
// page 201, opens the start address in a browser and runs the message loop until the window is
// closed.
#include "app/browser_launch.h"
#include "app/demo.h"
#include "app/main_wnd.h"
#include "app/program_options.h"
#include "device/port_discovery.h"
#include "engine/server.h"
#include "platform/data_dir.h"
#include "update/update_workflow.h"

#include <cstdio>
#include <exception>
#include <filesystem>

using namespace verdal;

namespace {

int Run(const ProgramOptions& options) {
    Demo demo;
    std::string dataDir = options.dataDir;
    PortSearch search = PortSearchFromOptions(options.port, options.devDir, options.sysDir);
    std::string server = options.server;
    if (options.demo) {
        dataDir = Demo::DataFolder(options.dataDir);
        std::string error;
        if (!demo.Start(dataDir, error)) {
            std::fprintf(stderr, "verdal: the demo cannot start: %s\n", error.c_str());
            return 1;
        }
        search.port = demo.DevicePort();
        server = demo.ServerUrl();
    }
    SetDataDir(dataDir);
    SetPortSearch(search);
    SetServerOverride(server);

    BindUiThread();
    engine::ServerOptions serverOptions;
    serverOptions.listen = options.listen;
    std::string error;
    if (!engine::StartServer(serverOptions, error)) {
        std::fprintf(stderr, "verdal: %s\n", error.c_str());
        return 1;
    }
    CMainWnd mainWindow;
    if (mainWindow.Create(0) == 0) {
        std::fprintf(stderr, "verdal: the main window cannot be created\n");
        engine::StopServer();
        return 1;
    }
    const std::string address = engine::StartAddress();
    std::printf("%s\n", address.c_str());
    std::fflush(stdout);
    if (!options.noBrowser) {
        std::string reason;
        if (!OpenStartAddress(address, ProgramFilePath("chromium-profile"), reason))
            std::fprintf(stderr, "verdal: %s\n", reason.c_str());
    }
    const int code = RunMessageLoop();
    engine::StopServer();
    demo.Stop();
    return code;
}

} // namespace

int main(int argc, char** argv) {
    ProgramOptions options;
    std::string error;
    if (!ParseProgramOptions(argc, argv, options, error)) {
        std::fprintf(stderr, "verdal: %s\n%s", error.c_str(), UsageText().c_str());
        return 2;
    }
    if (options.help) {
        std::fputs(UsageText().c_str(), stdout);
        return 0;
    }
    if (options.version) {
        std::printf("verdal %s\n", kProgramVersion);
        return 0;
    }
    try {
        return Run(options);
    } catch (const std::exception& failure) {
        std::fprintf(stderr, "verdal: %s\n", failure.what());
        return 1;
    }
}
