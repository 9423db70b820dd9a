// The catalogue update against Debian's nginx serving the catalogue as static files.
//
// First the catalogue file of CATALOGUE_COURSES courses (versions 25 to 27) as it travels: the
// bytes nginx sends for it asked plainly, and asked as verdal asks (gzip accepted, gzip_comp_level
// 6), with the time each takes on a 10 Mbit/s line. Then verdal-cli update of COURSES courses
// through nginx's limit_req at RATE course maps a second (its 503 page, no Retry-After): the time,
// against the time without the limit and against the rate's own bound (the maps divided by the
// rate), with nginx's 503 answers and verdal-cli's peak memory.
//
// Last, the memory a large catalogue file costs: verdal-cli update of a catalogue of
// MEMORY_COURSES courses whose course maps are missing, so that it reads the whole file and stops
// at the first map; its peak resident memory.
//
//   verdal-bench-update-nginx [COURSES [RATE [CATALOGUE_COURSES [MEMORY_COURSES]]]]
//       (default 2000, 200, 40000 and 120000; run from the build folder or set VERDAL_BIN to the
//       folder holding verdal-cli)
#include "catalogue_generator.h"
#include "nginx_site.h"

#include <curl/curl.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace verdal;
using namespace verdal::catalogue;

namespace {

std::size_t Discard(char*, std::size_t, std::size_t n, void*) {
    return n;
}

// Fetches the address, with gzip accepted or not.
void Fetch(const std::string& url, bool gzip) {
    CURL* easy = curl_easy_init();
    curl_easy_setopt(easy, CURLOPT_URL, url.c_str());
    curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, &Discard);
    if (gzip)
        curl_easy_setopt(easy, CURLOPT_ACCEPT_ENCODING, "");
    curl_easy_perform(easy);
    curl_easy_cleanup(easy);
}

struct Run {
    double seconds = 0;
    double peakMiB = 0;
    bool completed = false;
};

Run Update(const std::string& folder, const std::string& base) {
    const char* bin = std::getenv("VERDAL_BIN");
    const std::string program = std::string(bin ? bin : "bin") + "/verdal-cli";
    std::fflush(stdout);
    const auto start = std::chrono::steady_clock::now();
    const pid_t pid = fork();
    if (pid == 0) {
        const int null = open("/dev/null", O_WRONLY);
        dup2(null, STDOUT_FILENO);
        dup2(null, STDERR_FILENO);
        execl(program.c_str(), program.c_str(), "--data-dir", folder.c_str(), "--server",
              base.c_str(), "update", static_cast<char*>(nullptr));
        _exit(127);
    }
    int status = 0;
    rusage usage{};
    wait4(pid, &status, 0, &usage);
    Run run;
    run.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    run.peakMiB = usage.ru_maxrss / 1024.0;
    run.completed = WIFEXITED(status) && WEXITSTATUS(status) == 0;
    return run;
}

// A fresh folder in memory where the system has one (/dev/shm), so that the disk's flushes, which
// the merge makes every 256 courses, do not blur the pace the server allows.
std::string Folder(const std::string& name) {
    const std::filesystem::path parent = std::filesystem::is_directory("/dev/shm")
                                             ? std::filesystem::path("/dev/shm")
                                             : std::filesystem::temp_directory_path();
    const std::string folder =
        (parent / ("verdal-bench-nginx-" + name + "-" + std::to_string(getpid()))).string();
    std::filesystem::remove_all(folder);
    std::filesystem::create_directories(folder);
    return folder;
}

} // namespace

int main(int argc, char** argv) {
    const int courses = argc > 1 ? std::atoi(argv[1]) : 2000;
    const long rate = argc > 2 ? std::atol(argv[2]) : 200;
    const int catalogueCourses = argc > 3 ? std::atoi(argv[3]) : 40000;
    const int memoryCourses = argc > 4 ? std::atoi(argv[4]) : 120000;
    if (NginxSite::Program().empty()) {
        std::fprintf(stderr, "verdal-bench-update-nginx: nginx is not installed\n");
        return 77;
    }
    curl_global_init(CURL_GLOBAL_DEFAULT);
    std::string error;
    bool ok = true;

    {
        const std::string folder = Folder("catalogue");
        const CatalogueGenerator generator(catalogueCourses, {25, 26, 27});
        NginxOptions options;
        options.gzip = true;
        options.maps = false;
        NginxSite site(folder, generator, options);
        if (!site.Start(error)) {
            std::fprintf(stderr, "%s\n", error.c_str());
            return 1;
        }
        const std::string url = site.Base() + "courses/cat27/cat27.xml";
        Fetch(url, false);
        const double plain = static_cast<double>(site.BytesSent("/courses/"));
        Fetch(url, true);
        const double gzipped = static_cast<double>(site.BytesSent("/courses/")) - plain;
        std::printf("catalogue file of %d courses: %.1f MB plain, %.1f MB gzipped (%.1f%%); "
                    "%.1f s and %.1f s at 10 Mbit/s\n",
                    catalogueCourses, plain / 1e6, gzipped / 1e6, gzipped / plain * 100,
                    plain * 8 / 10e6, gzipped * 8 / 10e6);
        std::filesystem::remove_all(folder);
    }

    const CatalogueGenerator generator(courses, {25, 26, 27});
    for (const long limit : {0L, rate}) {
        const std::string folder = Folder("limit" + std::to_string(limit));
        NginxOptions options;
        options.mapsPerSecond = limit;
        NginxSite site(folder + "/site", generator, options);
        std::filesystem::create_directories(folder + "/data");
        if (!site.Start(error)) {
            std::fprintf(stderr, "%s\n", error.c_str());
            return 1;
        }
        const Run run = Update(folder + "/data", site.Base());
        const long maps = site.Requests("/gof/", 200);
        if (limit == 0)
            std::printf("%d courses, no limit: %.1f s, %ld maps, %.1f MiB%s\n", courses,
                        run.seconds, maps, run.peakMiB, run.completed ? "" : " (failed)");
        else
            std::printf("%d courses, limit_req %ld maps/s: %.1f s against the rate's bound of "
                        "%.1f s (%.2f x), %ld maps, %ld turned away, %.1f MiB%s\n",
                        courses, limit, run.seconds, static_cast<double>(maps) / limit,
                        run.seconds / (static_cast<double>(maps) / limit), maps,
                        site.Requests("/gof/", 503), run.peakMiB, run.completed ? "" : " (failed)");
        ok = ok && run.completed;
        std::filesystem::remove_all(folder);
    }
    {
        const std::string folder = Folder("memory");
        NginxOptions options;
        options.maps = false;
        NginxSite site(folder + "/site", CatalogueGenerator(memoryCourses, {25, 26, 27}), options);
        std::filesystem::create_directories(folder + "/data");
        if (!site.Start(error)) {
            std::fprintf(stderr, "%s\n", error.c_str());
            return 1;
        }
        const Run run = Update(folder + "/data", site.Base());
        const auto bytes =
            std::filesystem::file_size(folder + "/site/root/courses/cat27/cat27.xml");
        std::printf("catalogue file of %d courses (%.1f MB), maps missing: %.1f s, peak %.1f MiB\n",
                    memoryCourses, bytes / 1e6, run.seconds, run.peakMiB);
        std::filesystem::remove_all(folder);
    }
    return ok ? 0 : 1;
}
