// verdal: the golf GPS course manager. Takes its data folder (or hands over to the program that
// already has it), starts the window server, creates the main window on page 201, shows the
// start address in the program's own window and runs the message loop until the window is
// closed.
#include "app/demo.h"
#include "app/main_wnd.h"
#include "app/program_options.h"
#include "app/viewer.h"
#include "device/port_discovery.h"
#include "engine/engine_object.h"
#include "platform/child_process.h"
#include "platform/data_dir.h"
#include "platform/file.h"
#include "platform/instance_lock.h"
#include "platform/language.h"
#include "platform/trace.h"
#include "update/update_workflow.h"

#include <cstdio>
#include <exception>

using namespace verdal;

namespace {

ViewerKind KindOf(const ProgramOptions& options) {
    if (options.noBrowser)
        return ViewerKind::None;
    return options.browser ? ViewerKind::Browser : ViewerKind::Window;
}

// The start address as standard output shows it. Scripts read it whole; but the journal, where
// the output of a program started from the desktop's menu goes, can be read by more than the
// user (an administrator, the adm group): there the token is left out.
void PrintAddress(const std::string& address) {
    const std::string shown =
        StandardOutputIsJournal() ? address.substr(0, address.find('?')) : address;
    std::printf("%s\n", shown.c_str());
    std::fflush(stdout);
}

// A program without a window of its own (verdal-cli) has the data folder: this one cannot run
// beside it, and says so where the user looks. The holder is never signalled.
int Refuse(const ProgramOptions& options, const InstanceHolder& holder) {
    // TRANSLATORS: the data folder, the program that holds it, its process id.
    const std::string text =
        Format(Tr("%s is in use by %s (pid %d); try again once it has ended"), DataDir().c_str(),
               holder.program.c_str(), static_cast<int>(holder.pid));
    std::fprintf(stderr, "verdal: %s\n", text.c_str());
    if (!options.noBrowser && HasDisplay())
        ShowMessageWindow(text);
    return 1;
}

// Another verdal has the data folder: it is asked to show itself, and its address printed.
int HandOver(const ProgramOptions& options, const InstanceHolder& holder) {
    if (holder.address.empty())
        return Refuse(options, holder);
    PrintAddress(holder.address);
    std::fflush(stdout);
    if (!options.noBrowser)
        AskToShow(holder.pid);
    // TRANSLATORS: the data folder, then the running program's process id.
    std::fputs(Format(Tr("verdal: already running on %s (pid %d)\n"), DataDir().c_str(),
                      static_cast<int>(holder.pid))
                   .c_str(),
               stderr);
    return 0;
}

int Run(const ProgramOptions& options) {
    SetDataDir(options.demo ? Demo::DataFolder(options.dataDir) : options.dataDir);
    InstanceLock lock;
    InstanceHolder holder;
    std::string error;
    switch (lock.Acquire(DataDir(), holder, error)) {
    case InstanceLock::Outcome::Acquired:
        break;
    case InstanceLock::Outcome::HeldElsewhere:
        return HandOver(options, holder);
    case InstanceLock::Outcome::Failed:
        std::fprintf(stderr, "verdal: %s\n", error.c_str());
        return 1;
    }
    // Only the folder's own program writes its trace: a later start that hands over must not
    // touch the running one's.
    if (!options.trace.empty() && !trace::Open(options.trace, error)) {
        std::fprintf(stderr, "verdal: %s\n", error.c_str());
        return 1;
    }

    Demo demo;
    PortSearch search = PortSearchFromOptions(options.port, options.devDir, options.sysDir);
    std::string server = options.server;
    if (options.demo) {
        if (!demo.Start(DataDir(), options.demoUnplugged, error)) {
            std::fputs(Format(Tr("verdal: the demo cannot start: %s\n"), error.c_str()).c_str(),
                       stderr);
            return 1;
        }
        if (options.demoUnplugged)
            std::fputs(Format(Tr("verdal: the demo device is unplugged; plug it in (and out "
                                 "again) with: kill -USR1 %d\n"),
                              static_cast<int>(demo.DevicePid()))
                           .c_str(),
                       stderr);
        search.port = demo.DevicePort();
        server = demo.ServerUrl();
    }
    SetPortSearch(search);
    SetServerOverride(server);

    BindUiThread();
    engine::Engine engine;
    engine::ServerOptions serverOptions;
    serverOptions.listen = options.listen;
    if (!engine.Serve(serverOptions, error)) {
        std::fprintf(stderr, "verdal: %s\n", error.c_str());
        return 1;
    }
    CMainWnd mainWindow;
    if (mainWindow.Create(0) == 0) {
        std::fputs(Tr("verdal: the main window cannot be created\n"), stderr);
        return 1;
    }
    const std::string address = engine.StartAddress();
    PrintAddress(address);
    lock.Publish(address);

    // Closing the program's own window ends the program as SIGTERM does; a browser's window
    // is only known by its connection, which a reload drops for a moment.
    Viewer viewer(KindOf(options), ProgramFilePath("chromium-profile"), options.automation,
                  [&engine] { engine.RequestShutdown(); });
    engine.SetShowHandler([&engine, &viewer] {
        viewer.Show();
        engine.SetEndWithBrowsers(!viewer.WindowOpen());
    });
    viewer.Open(address);
    engine.SetEndWithBrowsers(!viewer.WindowOpen());
    const int code = RunMessageLoop();
    viewer.Close();
    engine.SetShowHandler({});
    engine.StopServing();
    demo.Stop();
    return code;
}

} // namespace

int main(int argc, char** argv) {
    FollowSessionLanguage();
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
    // Before any thread starts, and before the first descriptor the server needs.
    RaiseDescriptorLimit();
    try {
        return Run(options);
    } catch (const std::exception& failure) {
        std::fprintf(stderr, "verdal: %s\n", failure.what());
        return 1;
    }
}
