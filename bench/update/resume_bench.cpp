// The whole catalogue update as a golfer meets it at internet distance: verdal-cli update of
// COURSES courses in versions 25, 26 and 27 into a fresh data folder, through a relay that holds
// every byte back ONE_WAY_DELAY_MS each way. Three runs: a clean one; one where every 500th
// course map request is cut halfway (flaky:map:500); and one killed with SIGKILL once half the
// courses are stored, then started again. Each prints its time, the course maps the service
// sent, and verdal-cli's peak resident memory.
//
//   verdal-bench-update-resume [COURSES [ONE_WAY_DELAY_MS]]
//       (default 40000 and 25; run from the build folder or set VERDAL_BIN to the folder
//       holding verdal-cli and the service)
#include "delay_relay.h"
#include "platform/text.h"
#include "service_process.h"
#include "update/http_fetch.h"

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

using namespace verdal;

namespace {

struct Figures {
    double seconds = 0;
    long maps = 0;
    double peakMiB = 0;
    bool completed = true;
};

// verdal-cli update on the data folder against the service at base; its standard output comes
// back through out.
pid_t StartUpdate(const std::string& folder, const std::string& base, std::FILE*& out) {
    int pipeEnds[2];
    if (pipe(pipeEnds) != 0)
        std::exit(1);
    const char* bin = std::getenv("VERDAL_BIN");
    const std::string program = std::string(bin ? bin : "bin") + "/verdal-cli";
    const pid_t pid = fork();
    if (pid == 0) {
        dup2(pipeEnds[1], STDOUT_FILENO);
        dup2(open("/dev/null", O_WRONLY), STDERR_FILENO);
        execl(program.c_str(), program.c_str(), "--data-dir", folder.c_str(), "--server",
              base.c_str(), "update", static_cast<char*>(nullptr));
        _exit(127);
    }
    close(pipeEnds[1]);
    out = fdopen(pipeEnds[0], "r");
    return pid;
}

// Waits for the update to end; answers whether it completed, and its peak memory in peakMiB.
bool Finish(pid_t pid, std::FILE* out, double& peakMiB) {
    char line[512];
    while (std::fgets(line, sizeof line, out)) {
    }
    std::fclose(out);
    int status = 0;
    rusage usage{};
    wait4(pid, &status, 0, &usage);
    peakMiB = std::max(peakMiB, usage.ru_maxrss / 1024.0);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

// The course maps the service has sent, from its /_stats.
long MapsServed(int port) {
    char stats[1024] = {};
    const std::u16string url = Utf8ToUtf16("http://127.0.0.1:" + std::to_string(port) + "/_stats");
    if (FetchUrlToMemory(url, stats, sizeof stats - 1) <= 0)
        return -1;
    const char* map = std::strstr(stats, "\nmap ");
    return map ? std::atol(map + 5) : -1;
}

// One update, killed once it has printed killAfter lines and then run again when killAfter is
// above 0.
Figures Update(const std::filesystem::path& folder, int courses, std::chrono::milliseconds delay,
               const std::vector<std::string>& faults, int killAfter = 0) {
    bench::DelayRelay relay(0, delay);
    std::vector<std::string> options = {"--advertise-port", std::to_string(relay.Port())};
    for (const std::string& fault : faults)
        options.insert(options.end(), {"--fault", fault});
    bench::ServiceProcess service(courses, "25,26,27", options);
    relay.SetTarget(service.Port());
    const std::string base = "http://127.0.0.1:" + std::to_string(relay.Port()) + "/";
    std::filesystem::create_directories(folder);

    Figures figures;
    const auto start = std::chrono::steady_clock::now();
    std::FILE* out = nullptr;
    pid_t pid = StartUpdate(folder.string(), base, out);
    if (killAfter > 0) {
        char line[512];
        for (int n = 0; n < killAfter && std::fgets(line, sizeof line, out); ++n) {
        }
        kill(pid, SIGKILL);
        Finish(pid, out, figures.peakMiB);
        pid = StartUpdate(folder.string(), base, out);
    }
    figures.completed = Finish(pid, out, figures.peakMiB);
    figures.seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    figures.maps = MapsServed(service.Port());
    return figures;
}

void Print(const char* label, const Figures& f, int courses, double cleanSeconds) {
    std::printf("%-28s %8.1f s (%.2f x clean)  %6ld maps (%.3f x courses)  peak %5.1f MiB%s\n",
                label, f.seconds, f.seconds / cleanSeconds, f.maps,
                static_cast<double>(f.maps) / courses, f.peakMiB,
                f.completed ? "" : "  NOT COMPLETED");
    std::fflush(stdout);
}

} // namespace

int main(int argc, char** argv) {
    const int courses = argc > 1 ? std::atoi(argv[1]) : 40000;
    const std::chrono::milliseconds delay(argc > 2 ? std::atoi(argv[2]) : 25);
    const auto folder = std::filesystem::temp_directory_path() /
                        ("verdal-bench-resume-" + std::to_string(getpid()));
    std::printf("verdal-cli update of %d courses (versions 25, 26, 27) from a fresh data folder, "
                "%lld ms each way\n",
                courses, static_cast<long long>(delay.count()));
    const Figures clean = Update(folder / "clean", courses, delay, {});
    Print("clean", clean, courses, clean.seconds);
    const Figures flaky = Update(folder / "flaky", courses, delay, {"flaky:map:500"});
    Print("flaky:map:500", flaky, courses, clean.seconds);
    // Two lines for the server check, then one for each course stored.
    const Figures resumed = Update(folder / "killed", courses, delay, {}, 2 + courses / 2);
    Print("killed at 50%, run again", resumed, courses, clean.seconds);
    std::error_code ignored;
    std::filesystem::remove_all(folder, ignored);
    return clean.completed && flaky.completed && resumed.completed ? 0 : 1;
}
