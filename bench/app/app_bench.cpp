// Times verdal's start to "DEVICE CONNECTED" on the paced device simulator and the catalogue
// service, next to the sum of the connect protocol's listening windows and pauses, and reads the
// resident memory of an idle verdal.
//
//   verdal-bench-app [--rounds N]
#include "app/main_wnd.h"
#include "device/port_discovery.h"
#include "engine/engine_object.h"
#include "platform/child_process.h"
#include "platform/data_dir.h"
#include "ui/element.h"
#include "update/update_workflow.h"

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <thread>

using namespace verdal;
using Clock = std::chrono::steady_clock;

namespace {

bool PumpUntil(HWND window, const std::function<bool()>& done, int boundMs) {
    std::atomic<bool> stop{false};
    std::thread waker([&] {
        while (!stop) {
            PostMessage(window, WM_NULL);
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
    });
    const auto deadline = Clock::now() + std::chrono::milliseconds(boundMs);
    MSG msg;
    while (!done() && Clock::now() < deadline)
        if (GetMessage(msg))
            DispatchMessage(msg);
    stop = true;
    waker.join();
    return done();
}

std::string ResidentKb(pid_t pid) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    for (std::string line; std::getline(status, line);)
        if (line.rfind("VmRSS:", 0) == 0)
            return line.substr(6);
    return "?";
}

} // namespace

int main(int argc, char** argv) {
    int rounds = 3;
    if (argc == 3 && std::strcmp(argv[1], "--rounds") == 0)
        rounds = std::max(1, std::atoi(argv[2]));
    char pattern[] = "/tmp/verdal-bench-app-XXXXXX";
    const std::string dir = ::mkdtemp(pattern);
    const std::string link = dir + "/ttyUSB0";
    std::string error, line;
    ChildProcess device, service;
    if (!device.Start(SiblingProgram("verdal-devsim"),
                      {"--link", link, "--capacity", "20", "--serial", "VD2012-000417", "--pace"},
                      {.captureOutput = true, .keepErrors = true, .stopWithParent = true}, error) ||
        !device.ReadLine(line, 10000) ||
        !service.Start(SiblingProgram("verdal-catalogue-service"),
                       {"--listen", "127.0.0.1:0", "--courses", "100"},
                       {.captureOutput = true, .keepErrors = true, .stopWithParent = true},
                       error) ||
        !service.ReadLine(line, 10000)) {
        std::fprintf(stderr, "verdal-bench-app: the simulator or the service did not start %s\n",
                     error.c_str());
        return 1;
    }
    SetDataDir(dir + "/data");
    PortSearch search;
    search.port = link;
    SetPortSearch(search);
    SetServerOverride("http://127.0.0.1:" + line.substr(10) + "/");
    BindUiThread();
    engine::Engine engine;

    // Handshake, capacity, serial number and course list: each reply's listening window, and the
    // pause after each reply; then the version request, answered at once on loopback.
    const double windows = (500 + 500 + 250 + 500 + 250 + 3000 + 250) / 1000.0;
    std::printf("start to \"DEVICE CONNECTED\" (paced simulator, catalogue service on loopback)\n");
    for (int round = 0; round < rounds; ++round) {
        CMainWnd main;
        const auto start = Clock::now();
        const HWND hwnd = main.Create(0);
        const bool connected = PumpUntil(
            hwnd,
            [&] {
                return GetText(ElementById(RootElement(hwnd), u"message")) == u"DEVICE CONNECTED";
            },
            60000);
        const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
        if (connected)
            std::printf("  %.3f s  (sum of the protocol's windows and pauses %.3f s)\n", seconds,
                        windows);
        else
            std::printf("  not connected within 60 s\n");
        DestroyWindow(hwnd);
    }

    ChildProcess verdal;
    if (verdal.Start(
            SiblingProgram("verdal"),
            {"--demo", "--data-dir", dir + "/demo", "--no-browser", "--listen", "127.0.0.1:0"},
            {.captureOutput = true}, error) &&
        verdal.ReadLine(line, 20000)) {
        // Idle: started, connected to the demo device by its own worker, nothing to do.
        std::this_thread::sleep_for(std::chrono::seconds(8));
        std::printf("resident memory of verdal --demo idle: %s\n",
                    ResidentKb(verdal.Pid()).c_str());
    }
    verdal.Stop();
    device.Stop();
    service.Stop();
    std::error_code code;
    std::filesystem::remove_all(dir, code);
    return 0;
}
