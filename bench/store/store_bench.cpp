// Course table speed: inserts and updates one statement at a time, as the catalogue merge sends
// them, and a search that reads 15,000 courses into records, with the memory it takes.
//
//   verdal-bench-store [--rows N] [--mode plain|tuned|both] [--dir DIR] [--keep FOLDER]
//                      [--search-only FOLDER]
//
// "plain" opens golf.db with the library's defaults (rollback journal, full syncing); "tuned" is
// how the program opens it (write-ahead journal, normal syncing). Each mode starts from an
// empty golf.db in a folder of its own under DIR (default: the system's temporary folder).
// --keep leaves the last golf.db made in FOLDER; --search-only runs just the search on the
// golf.db in FOLDER.
#include "platform/data_dir.h"
#include "store/course_table.h"
#include "store/sqlite_layer.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

using namespace verdal;

namespace {

using Clock = std::chrono::steady_clock;

double SecondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// A line of /proc/self/status in kilobytes ("VmRSS", "VmHWM").
long StatusKb(const char* field) {
    std::ifstream status("/proc/self/status");
    std::string line;
    const std::size_t length = std::strlen(field);
    while (std::getline(status, line)) {
        if (line.compare(0, length, field) == 0 && line[length] == ':')
            return std::atol(line.c_str() + length + 1);
    }
    return -1;
}

// Starts a new peak of the resident memory from the current figure.
void ResetPeakMemory() {
    std::ofstream clear("/proc/self/clear_refs");
    clear << "5";
}

// A deterministic course: names in no particular order, 3 in 8 courses in the USA, and a map of
// varied bytes, as real maps are.
void MakeCourse(int i, int round, CourseRecord& record) {
    static const char* const kCountries[] = {"Canada", "England", "France", "Germany", "Japan"};
    static const char* const kRegions[] = {"North", "South", "East", "West", "Central", "Coast"};
    std::uint32_t x = static_cast<std::uint32_t>(i) * 2654435761u + 1u;
    char text[64];
    std::snprintf(text, sizeof text, "%c%c Course %d'%d", 'A' + x % 26, 'a' + (x >> 8) % 26, i,
                  round);
    record.objid = i + 1;
    record.SetFileId(std::to_string(100000 + i));
    record.SetName(text);
    record.SetAlias("Club");
    record.SetCountry(i % 8 < 3 ? "USA" : kCountries[i % 5]);
    record.SetCity(kRegions[x % 6]);
    record.SetAddress("1 Fairway Drive");
    record.SetTelephone("+1 555 0100");
    record.SetEmail("pro@club.example");
    record.SetHole("4,4,3,5,4,4,3,4,5,4,4,3,5,4,4,3,4,5");
    std::uint32_t state = x ^ static_cast<std::uint32_t>(round * 977);
    for (std::size_t b = 0; b < kCourseMapSize; ++b) {
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        // Maps hold many small coordinates: bias the bytes toward low values.
        record.gof[b] = static_cast<std::uint8_t>(b % 4 == 0 ? state : state % 64);
    }
    std::fill(record.gof.begin() + kCourseMapSize, record.gof.end(), 0);
}

struct Figures {
    double insertsPerSecond = 0;
    double updatesPerSecond = 0;
    double searchSeconds = 0;
    double searchRowsPerSecond = 0;
    double firstRowSeconds = 0;
    long searchRows = 0;
    long rssBeforeKb = 0;
    long peakKb = 0;
    std::uintmax_t fileBytes = 0;
};

Figures Run(const std::string& folder, bool tuned, int rows, bool searchOnly) {
    Figures figures;
    SetDataDir(folder);
    if (tuned)
        OpenCourseDatabase();
    else
        CourseDatabase().open(ProgramFilePath("golf.db").c_str());
    EnsureCourseTable();
    if (searchOnly)
        rows = 0;

    auto record = std::make_unique<CourseRecord>();
    Clock::time_point start = Clock::now();
    for (int i = 0; i < rows; ++i) {
        MakeCourse(i, 0, *record);
        InsertCourse(*record);
    }
    figures.insertsPerSecond = rows / SecondsSince(start);

    start = Clock::now();
    for (int i = 0; i < rows; ++i) {
        MakeCourse(i, 1, *record);
        UpdateCourse(*record);
    }
    figures.updatesPerSecond = rows / SecondsSince(start);
    record.reset();

    // The search as the search worker runs it: every row into a record of its own.
    CourseDatabase().close();
    if (tuned)
        OpenCourseDatabase();
    else
        CourseDatabase().open(ProgramFilePath("golf.db").c_str());
    figures.rssBeforeKb = StatusKb("VmRSS");
    ResetPeakMemory();
    start = Clock::now();
    std::vector<std::unique_ptr<CourseRecord>> found;
    {
        CppSQLite3Cursor cursor = CourseDatabase().runQuery(SearchStatement("USA", "", "").c_str());
        figures.firstRowSeconds = SecondsSince(start);
        while (!cursor.atEnd()) {
            auto course = std::make_unique<CourseRecord>();
            ReadCourse(cursor, *course);
            found.push_back(std::move(course));
        }
    }
    figures.searchSeconds = SecondsSince(start);
    figures.peakKb = StatusKb("VmHWM");
    figures.searchRows = static_cast<long>(found.size());
    figures.searchRowsPerSecond = static_cast<double>(found.size()) / figures.searchSeconds;
    found.clear();
    CourseDatabase().close();
    figures.fileBytes = std::filesystem::file_size(ProgramFilePath("golf.db"));
    return figures;
}

void Print(const char* mode, int rows, const Figures& f) {
    if (rows > 0) {
        std::printf("%-6s inserts: %6d rows, %9.0f rows/s\n", mode, rows, f.insertsPerSecond);
        std::printf("%-6s updates: %6d rows, %9.0f rows/s\n", mode, rows, f.updatesPerSecond);
    }
    std::printf("%-6s search:  %6ld rows in %.3f s (first row after %.3f s), %9.0f rows/s\n", mode,
                f.searchRows, f.searchSeconds, f.firstRowSeconds, f.searchRowsPerSecond);
    std::printf("%-6s memory:  %ld KiB resident before the search, peak %ld KiB during it "
                "(+%ld KiB)\n",
                mode, f.rssBeforeKb, f.peakKb, f.peakKb - f.rssBeforeKb);
    std::printf("%-6s golf.db: %.1f MiB\n", mode, static_cast<double>(f.fileBytes) / 1048576.0);
    std::fflush(stdout);
}

} // namespace

int main(int argc, char** argv) {
    int rows = 40000;
    std::string mode = "both";
    std::string base = std::filesystem::temp_directory_path().string();
    std::string keep;
    std::string searchOnly;
    for (int i = 1; i + 1 < argc; i += 2) {
        std::string option = argv[i];
        if (option == "--rows")
            rows = std::atoi(argv[i + 1]);
        else if (option == "--mode")
            mode = argv[i + 1];
        else if (option == "--dir")
            base = argv[i + 1];
        else if (option == "--keep")
            keep = argv[i + 1];
        else if (option == "--search-only")
            searchOnly = argv[i + 1];
        else {
            std::fprintf(stderr, "usage: %s [--rows N] [--mode plain|tuned|both] [--dir DIR]\n",
                         argv[0]);
            return 2;
        }
    }
    if (rows <= 0 || (mode != "plain" && mode != "tuned" && mode != "both")) {
        std::fprintf(stderr, "verdal-bench-store: bad --rows or --mode\n");
        return 2;
    }
    std::printf("course table benchmark: %d courses of %zu-byte maps, search of the %d in USA\n",
                rows, kGofBlockSize, (rows / 8) * 3 + std::min(rows % 8, 3));
    try {
        for (const char* each : {"plain", "tuned"}) {
            if (mode != "both" && mode != each)
                continue;
            const bool tuned = std::strcmp(each, "tuned") == 0;
            if (!searchOnly.empty()) {
                Print(each, 0, Run(searchOnly, tuned, rows, true));
                continue;
            }
            std::string folder = base + "/verdal-bench-store-XXXXXX";
            if (!::mkdtemp(folder.data())) {
                std::perror("mkdtemp");
                return 1;
            }
            Figures figures = Run(folder, tuned, rows, false);
            if (keep.empty()) {
                std::filesystem::remove_all(folder);
            } else {
                std::filesystem::create_directories(keep);
                std::filesystem::rename(folder + "/golf.db", keep + "/golf.db");
                std::filesystem::remove_all(folder);
            }
            Print(each, rows, figures);
        }
    } catch (const std::exception& error) {
        std::fprintf(stderr, "verdal-bench-store: %s\n", error.what());
        return 1;
    }
    return 0;
}
