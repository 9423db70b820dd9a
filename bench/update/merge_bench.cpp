// The catalogue merge on loopback: 10,000 new courses from verdal-catalogue-service, then the
// same merge again (every course an update), in courses per second. The shares of HTTP and
// SQLite are the time each part takes alone (every map fetched, every statement run) against the
// merge's time; the merge overlaps the two, so the shares may add up to more or less than 100%.
//
//   verdal-bench-update-merge [COURSES [ROUNDS]]
//       (default 10000 and 3; run from the build folder or set VERDAL_BIN to the folder
//       holding the service)
#include "catalogue_generator.h"
#include "platform/data_dir.h"
#include "platform/messages.h"
#include "platform/text.h"
#include "platform/window.h"
#include "service_process.h"
#include "store/course_table.h"
#include "update/catalogue_merge.h"
#include "update/http_fetch.h"

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

using namespace verdal;

namespace {

double Seconds(std::chrono::steady_clock::duration d) {
    return std::chrono::duration<double>(d).count();
}

template <class F> double Timed(F&& f) {
    const auto start = std::chrono::steady_clock::now();
    f();
    return Seconds(std::chrono::steady_clock::now() - start);
}

// Counts what the merge posts, as the main window and the progress dialog would receive it.
class Counter : public Window {
public:
    long statuses = 0;
    bool ProcessWindowMessage(HWND, UINT message, WPARAM, LPARAM, LRESULT& result) override {
        statuses += message == kStatusMessage;
        result = 0;
        return true;
    }
};

// The records the merge stores for the generated catalogue, for timing the statements alone.
std::vector<CourseRecord> Records(const catalogue::CatalogueGenerator& generator, int courses) {
    std::vector<CourseRecord> records(static_cast<std::size_t>(courses));
    for (int uid = 1; uid <= courses; ++uid) {
        const auto course = generator.Course(uid, 25);
        CourseRecord& r = records[static_cast<std::size_t>(uid - 1)];
        r.objid = uid;
        r.SetFileId(course.fileid);
        r.SetName(course.name);
        r.SetAlias(course.alias);
        r.SetCountry(course.country);
        r.SetCity(course.city);
        r.SetAddress(course.address);
        r.SetTelephone(course.phone);
        r.SetEmail(course.email);
        r.SetHole(course.holes);
        const std::string map = generator.CourseMap(uid, 25);
        std::copy(map.begin(), map.end(), r.gof.begin());
    }
    return records;
}

void OpenFreshDatabase(const std::filesystem::path& folder) {
    SetDataDir(folder.string());
    OpenCourseDatabase();
    EnsureCourseTable();
}

struct Round {
    double insert = 0, update = 0;                 // the two merges
    double http = 0, sqlInsert = 0, sqlUpdate = 0; // each part alone
};

void Print(const char* label, int courses, const Round& r) {
    std::printf("%-8s new courses %6.0f/s (HTTP %3.0f%%, SQLite %3.0f%%)   all updates %6.0f/s "
                "(HTTP %3.0f%%, SQLite %3.0f%%)   alone: fetch %5.0f/s, insert %5.0f/s, "
                "update %5.0f/s\n",
                label, courses / r.insert, 100 * r.http / r.insert, 100 * r.sqlInsert / r.insert,
                courses / r.update, 100 * r.http / r.update, 100 * r.sqlUpdate / r.update,
                courses / r.http, courses / r.sqlInsert, courses / r.sqlUpdate);
}

} // namespace

int main(int argc, char** argv) {
    const int courses = argc > 1 ? std::atoi(argv[1]) : 10000;
    const int rounds = argc > 2 ? std::atoi(argv[2]) : 3;
    bench::ServiceProcess service(courses);
    const auto folder =
        std::filesystem::temp_directory_path() / ("verdal-bench-merge-" + std::to_string(getpid()));
    BindUiThread();
    Counter mainWindow, progressWindow;
    CreateWindowFor(mainWindow, 0);
    CreateWindowFor(progressWindow, 0);
    const catalogue::CatalogueGenerator generator(courses, {25});
    const std::vector<CourseRecord> records = Records(generator, courses);
    const std::u16string catalogue = Utf8ToUtf16(service.Base() + "courses/cat25/cat25.xml");

    std::printf("catalogue merge of %d courses from verdal-catalogue-service on loopback, "
                "%d rounds, each on a new golf.db\n",
                courses, rounds);
    Round bestInsert, bestUpdate;
    for (int round = 0; round < rounds; ++round) {
        Round r;
        OpenFreshDatabase(folder / ("merge" + std::to_string(round)));
        if (DownloadCatalogue(catalogue) != 1)
            return 1;
        bool merged = true;
        mainWindow.statuses = 0;
        r.insert = Timed(
            [&] { merged &= MergeCatalogue(mainWindow.Handle(), progressWindow.Handle(), 24); });
        bench::HandleQueued(mainWindow);
        r.update = Timed(
            [&] { merged &= MergeCatalogue(mainWindow.Handle(), progressWindow.Handle(), 24); });
        bench::HandleQueued(mainWindow);
        if (!merged || mainWindow.statuses != 2L * courses) {
            std::fprintf(stderr, "merge failed (%ld courses stored)\n", mainWindow.statuses);
            return 1;
        }

        // Each part alone: the fetches of every course map, then the statements of each merge.
        GofBlock block{};
        r.http = Timed([&] {
            for (int uid = 1; uid <= courses; ++uid)
                FetchUrlToMemory(
                    Utf8ToUtf16(service.Base() + catalogue::CatalogueGenerator::MapPath(uid, 25)),
                    block.data(), kGofBlockSize);
        });
        OpenFreshDatabase(folder / ("statements" + std::to_string(round)));
        auto store = [&] {
            for (const CourseRecord& record : records) {
                if (CourseCountById(record.objid) == 0)
                    InsertCourse(record);
                else
                    UpdateCourse(record);
            }
        };
        r.sqlInsert = Timed(store);
        r.sqlUpdate = Timed(store);
        CourseDatabase().close();

        Print(("round " + std::to_string(round + 1)).c_str(), courses, r);
        if (round == 0 || r.insert < bestInsert.insert)
            bestInsert = r;
        if (round == 0 || r.update < bestUpdate.update)
            bestUpdate = r;
    }
    std::printf("best new courses:  %6.0f courses/s (HTTP %3.0f%%, SQLite %3.0f%% of the time)\n",
                courses / bestInsert.insert, 100 * bestInsert.http / bestInsert.insert,
                100 * bestInsert.sqlInsert / bestInsert.insert);
    std::printf("best all updates:  %6.0f courses/s (HTTP %3.0f%%, SQLite %3.0f%% of the time)\n",
                courses / bestUpdate.update, 100 * bestUpdate.http / bestUpdate.update,
                100 * bestUpdate.sqlUpdate / bestUpdate.update);
    std::error_code ignored;
    std::filesystem::remove_all(folder, ignored);
    return 0;
}
