// The catalogue merge at internet distance: new courses from verdal-catalogue-service, once
// straight over loopback and once through a relay that holds every byte back 25 ms each way
// (50 ms round trips), in courses per second, with the process's peak memory during each merge.
//
//   verdal-bench-update-latency [COURSES]...
//       (default 1000 10000; run from the build folder or set VERDAL_BIN to the folder
//       holding the service)
#include "catalogue_generator.h"
#include "delay_relay.h"
#include "platform/data_dir.h"
#include "platform/messages.h"
#include "platform/window.h"
#include "service_process.h"
#include "store/course_table.h"
#include "store/sqlite_layer.h"
#include "update/catalogue_merge.h"

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

using namespace verdal;

namespace {

constexpr std::chrono::milliseconds kOneWayDelay{25};

// Counts the courses the merge reports stored, as the main window would receive them.
class Counter : public Window {
public:
    long stored = 0;
    bool ProcessWindowMessage(HWND, UINT message, WPARAM wParam, LPARAM, LRESULT& result) override {
        stored +=
            message == kStatusMessage && wParam == static_cast<WPARAM>(StatusCode::CourseStored);
        result = 0;
        return true;
    }
};

std::string Base(int port) {
    return "http://127.0.0.1:" + std::to_string(port) + "/";
}

// Forgets the peak memory so far, so that the next reading is the peak from now on.
void ResetPeakMemory() {
    std::ofstream("/proc/self/clear_refs") << "5";
}

// The process's peak resident memory since the last reset, in MiB.
double PeakMemoryMiB() {
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);) {
        if (line.rfind("VmHWM:", 0) == 0)
            return std::strtod(line.c_str() + 6, nullptr) / 1024.0;
    }
    return 0;
}

struct Result {
    double coursesPerSecond = 0;
    double peakMiB = 0;
    bool ok = false;
};

// Merges the catalogue whose course maps lie at mapBase into a fresh golf.db in folder.
Result Merge(const std::filesystem::path& folder, const std::string& catalogue,
             const std::string& serviceBase, const std::string& mapBase, int courses) {
    std::filesystem::create_directories(folder);
    std::string xml = catalogue;
    for (std::size_t at = 0; (at = xml.find(serviceBase, at)) != std::string::npos;
         at += mapBase.size())
        xml.replace(at, serviceBase.size(), mapBase);
    std::ofstream(folder / "update.xml", std::ios::binary) << xml;
    SetDataDir(folder.string());
    OpenCourseDatabase();
    EnsureCourseTable();

    Counter mainWindow, progressWindow;
    CreateWindowFor(mainWindow, 0);
    CreateWindowFor(progressWindow, 0);
    ResetPeakMemory();
    const auto start = std::chrono::steady_clock::now();
    const bool merged = MergeCatalogue(mainWindow.Handle(), progressWindow.Handle(), 24);
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    Result result;
    result.peakMiB = PeakMemoryMiB();
    bench::HandleQueued(mainWindow);
    bench::HandleQueued(progressWindow);
    result.coursesPerSecond = courses / seconds;
    result.ok = merged && mainWindow.stored == courses;
    if (!result.ok)
        std::fprintf(stderr, "merge failed (%ld of %d courses stored)\n", mainWindow.stored,
                     courses);
    DestroyWindow(mainWindow.Handle());
    DestroyWindow(progressWindow.Handle());
    CourseDatabase().close();
    return result;
}

} // namespace

int main(int argc, char** argv) {
    std::vector<int> counts;
    for (int i = 1; i < argc; ++i)
        counts.push_back(std::atoi(argv[i]));
    if (counts.empty())
        counts = {1000, 10000};
    const auto folder = std::filesystem::temp_directory_path() /
                        ("verdal-bench-latency-" + std::to_string(getpid()));
    std::printf("catalogue merge of new courses from verdal-catalogue-service, each on a new "
                "golf.db; relay: %lld ms each way\n",
                static_cast<long long>(kOneWayDelay.count()));
    BindUiThread();
    int failures = 0;
    for (int courses : counts) {
        bench::ServiceProcess service(courses);
        bench::DelayRelay relay(service.Port(), kOneWayDelay);
        const catalogue::CatalogueGenerator generator(courses, {25});
        const std::string catalogue = generator.CatalogueXml(25, service.Base());
        const std::string tag = std::to_string(courses);
        const Result direct =
            Merge(folder / ("direct" + tag), catalogue, service.Base(), service.Base(), courses);
        const Result relayed =
            Merge(folder / ("relay" + tag), catalogue, service.Base(), Base(relay.Port()), courses);
        failures += !direct.ok + !relayed.ok;
        std::printf(
            "%6d courses   loopback %7.0f courses/s, peak %6.1f MiB   "
            "50 ms round trips %7.0f courses/s, peak %6.1f MiB, %d connections (%d at once)\n",
            courses, direct.coursesPerSecond, direct.peakMiB, relayed.coursesPerSecond,
            relayed.peakMiB, relay.Connections(), relay.PeakConnections());
        std::fflush(stdout);
    }
    std::error_code ignored;
    std::filesystem::remove_all(folder, ignored);
    return failures == 0 ? 0 : 1;
}
