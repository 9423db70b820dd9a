// The device operations under a progress dialog, against the simulator: their progress, their
// results, and a failure injected at every step of each.
#include "device/connection.h"
#include "device/course_name.h"
#include "device/dev_func.h"
#include "device/port_discovery.h"
#include "device/serial.h"
#include "platform/worker.h"
#include "tests/device/device_harness.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>

using namespace verdal;
using namespace verdal::test;
namespace fs = std::filesystem;

namespace {

// A device holding three courses, one under an "@" name, in a store of its own.
struct Bench {
    Bench() {
        BindUiThread();
        fs::create_directory(dir / "store");
        WriteFile(dir / "store/1.gof", NarrowCourseMap("Augusta", 1));
        WriteFile(dir / "store/2.gof", NarrowCourseMap("Bay Hill", 2));
        WriteFile(dir / "store/3.gof", WideCourseMap(u"\u6c34\u592b", 3));
        SetPortSearch(PortSearch{dir / "dev", dir / "sys", dir / "link"});
    }

    // The names of the courses the device holds: its store, read as the device reads them.
    std::vector<std::u16string> Held() const {
        std::vector<std::u16string> names;
        for (const auto& entry : fs::directory_iterator(dir / "store")) {
            std::ifstream in(entry.path(), std::ios::binary);
            const std::string bytes((std::istreambuf_iterator<char>(in)), {});
            names.push_back(DeviceCourseName(reinterpret_cast<const std::uint8_t*>(bytes.data())));
        }
        std::sort(names.begin(), names.end());
        return names;
    }

    // The bytes the device keeps in one file of its store (empty when there is no such file).
    std::vector<std::uint8_t> Stored(const std::string& leaf) const {
        std::ifstream in(dir / ("store/" + leaf), std::ios::binary);
        return std::vector<std::uint8_t>(std::istreambuf_iterator<char>(in), {});
    }

    // The device course list as a connect procedure left it, with the link up.
    void Connected() {
        list.Clear();
        for (const auto& name : Held())
            list.Add(name);
        ASSERT_EQ(EnsureConnected({}), 1);
    }

    // Runs the operation on func under a dialog; the device course list is the one the worker
    // left, as the main window takes it.
    std::intptr_t Run(void (*operation)(DevFunc&, HWND), DevFunc& func) {
        progress.clear();
        const std::intptr_t result =
            RunWorkerDialog([&](HWND page, std::stop_token) { operation(func, page); },
                            [&](int percent) { progress.push_back(percent); });
        list = func.courses;
        return result;
    }

    TempDir dir;
    DeviceCourseList list;
    std::vector<int> progress;
};

void Upload(DevFunc& func, HWND page) {
    func.UploadCourse(page);
}
void Remove(DevFunc& func, HWND page) {
    func.RemoveCourses(page);
}
void ClearAll(DevFunc& func, HWND page) {
    func.ClearCourses(page);
}

CourseRecord Course(const std::vector<std::uint8_t>& map) {
    CourseRecord course;
    std::copy(map.begin(), map.end(), course.gof.begin());
    return course;
}

} // namespace

TEST(DeviceOperations, RemovingThreeCoursesReportsEachAndEndsWithOne) {
    Bench bench;
    Simulator device(bench.dir / "link", {"--store", bench.dir / "store"});
    bench.Connected();
    DevFunc func(bench.list);
    func.names = {u"Augusta", u"@\u6c34\u592b", u"Bay Hill"};
    EXPECT_EQ(bench.Run(Remove, func), 1);
    EXPECT_EQ(bench.progress, (std::vector<int>{0, 33, 66, 100, 100}));
    EXPECT_EQ(bench.list.Count(), 0u);
    EXPECT_TRUE(bench.Held().empty());

    // Nothing selected: nothing sent, and the dialog still ends with 1.
    func.names.clear();
    EXPECT_EQ(bench.Run(Remove, func), 1);
    EXPECT_EQ(bench.progress, (std::vector<int>{0, 100}));
    Serial::Instance().Close();
}

TEST(DeviceOperations, UploadingAddsTheCourseUnderItsMapName) {
    Bench bench;
    Simulator device(bench.dir / "link", {"--store", bench.dir / "store"});
    bench.Connected();
    const CourseRecord course = Course(WideCourseMap(u"\u516b\u4e01\u76ee", 9));
    DevFunc func(bench.list);
    func.course = &course;
    EXPECT_EQ(bench.Run(Upload, func), 1);
    EXPECT_EQ(bench.list.Names(), bench.Held());
    EXPECT_TRUE(bench.list.Contains(u"@\u516b\u4e01\u76ee"));
    ASSERT_GE(bench.progress.size(), 3u);
    EXPECT_EQ(bench.progress.front(), 0);
    EXPECT_EQ(bench.progress[1], 20);
    EXPECT_EQ(bench.progress.back(), 100);
    EXPECT_TRUE(std::is_sorted(bench.progress.begin(), bench.progress.end()));
    // The device keeps exactly the bytes it received.
    EXPECT_EQ(bench.Stored("course-0001.gof"),
              std::vector<std::uint8_t>(course.gof.begin(), course.gof.end()));
    Serial::Instance().Close();
}

TEST(DeviceOperations, AnUploadEndsOnlyWhenTheDeviceHasTakenTheWholeCourse) {
    const CourseRecord course = Course(NarrowCourseMap("Carnoustie", 7));
    const std::vector<std::uint8_t> whole(course.gof.begin(), course.gof.end());
    // A refused last block, a refused EOT, and a device that answers EOT only after the line
    // has been quiet for 1.5 s: each ends with the whole course on the device.
    for (const char* fault : {"nak:57", "nak-eot", "eot-late:1500"}) {
        Bench bench;
        Simulator device(bench.dir / "link", {"--store", bench.dir / "store", "--fault", fault});
        bench.Connected();
        DevFunc func(bench.list);
        func.course = &course;
        EXPECT_EQ(bench.Run(Upload, func), 1) << fault;
        EXPECT_EQ(bench.Stored("course-0001.gof"), whole) << fault;
        EXPECT_EQ(bench.list.Names(), bench.Held()) << fault;
        Serial::Instance().Close();
    }

    // An EOT never answered: the upload fails within its wait, the port is closed, and the
    // list still says what the device holds.
    Bench bench;
    Simulator device(bench.dir / "link", {"--store", bench.dir / "store", "--fault", "eot-never"});
    bench.Connected();
    DevFunc func(bench.list);
    func.course = &course;
    EXPECT_EQ(bench.Run(Upload, func), 0);
    EXPECT_FALSE(Serial::Instance().IsOpen());
    EXPECT_TRUE(bench.Stored("course-0001.gof").empty());
    EXPECT_EQ(bench.list.Count(), 3u);
    EXPECT_EQ(bench.list.Names(), bench.Held());
    EXPECT_EQ(EnsureConnected({}), 1);
    Serial::Instance().Close();
}

TEST(DeviceOperations, AFailedRemovalAtAnyStepLeavesTheListAsTheDeviceHoldsIt) {
    for (const char* kind : {"silent", "nomarker"}) {
        for (int step = 1; step <= 3; ++step) {
            Bench bench;
            const std::string fault = std::string(kind) + ":CRDC#" + std::to_string(step);
            Simulator device(bench.dir / "link",
                             {"--store", bench.dir / "store", "--fault", fault});
            bench.Connected();
            DevFunc func(bench.list);
            func.names = {u"Bay Hill", u"@\u6c34\u592b", u"Augusta"};
            EXPECT_EQ(bench.Run(Remove, func), 0) << fault;
            EXPECT_EQ(bench.list.Names(), bench.Held()) << fault;
            EXPECT_EQ(bench.list.Count(), static_cast<std::size_t>(3 - (step - 1))) << fault;
            EXPECT_FALSE(Serial::Instance().IsOpen()) << fault;
        }
    }
}

TEST(DeviceOperations, AFailedUploadAtAnyStepLeavesTheListAsTheDeviceHoldsIt) {
    const CourseRecord course = Course(NarrowCourseMap("Carnoustie", 7));
    const std::pair<const char*, int> cases[] = {
        {"silent:NCFS", 0}, {"nomarker:NCFS", 0}, {"silent:STRT", 0},  {"stall:1", 0},
        {"stall:57", 0},    {"nak:1", 1},         {"garbage:NCFS", 1},
    };
    for (const auto& [fault, expected] : cases) {
        Bench bench;
        Simulator device(bench.dir / "link", {"--store", bench.dir / "store", "--fault", fault});
        bench.Connected();
        DevFunc func(bench.list);
        func.course = &course;
        EXPECT_EQ(bench.Run(Upload, func), expected) << fault;
        EXPECT_EQ(bench.list.Names(), bench.Held()) << fault;
        EXPECT_EQ(Serial::Instance().IsOpen(), expected == 1) << fault;
        Serial::Instance().Close();
    }
}

TEST(DeviceOperations, AHangUpDuringTheTransferEndsInTheWaitAndTheDeviceIsFoundAgain) {
    Bench bench;
    Simulator device(bench.dir / "link", {"--store", bench.dir / "store", "--fault", "hangup:10"});
    bench.Connected();
    const CourseRecord course = Course(NarrowCourseMap("Carnoustie", 7));
    DevFunc func(bench.list);
    func.course = &course;
    EXPECT_EQ(bench.Run(Upload, func), 0);
    EXPECT_FALSE(Serial::Instance().IsOpen());
    EXPECT_EQ(bench.list.Names(), bench.Held());
    EXPECT_EQ(bench.list.Count(), 3u);
    // The device is back behind the same link: the next operation probes and finds it.
    EXPECT_EQ(EnsureConnected({}), 1);
    Serial::Instance().Close();
}

TEST(DeviceOperations, AFailedClearingLeavesTheListAndClosesThePort) {
    for (const char* fault : {"silent:CRCA", "nomarker:CRCA"}) {
        Bench bench;
        Simulator device(bench.dir / "link", {"--store", bench.dir / "store", "--fault", fault});
        bench.Connected();
        DevFunc func(bench.list);
        EXPECT_EQ(bench.Run(ClearAll, func), 0) << fault;
        EXPECT_EQ(bench.list.Count(), 3u) << fault;
        EXPECT_EQ(bench.list.Names(), bench.Held()) << fault;
        EXPECT_FALSE(Serial::Instance().IsOpen()) << fault;
    }
    Bench bench;
    Simulator device(bench.dir / "link", {"--store", bench.dir / "store"});
    bench.Connected();
    DevFunc func(bench.list);
    EXPECT_EQ(bench.Run(ClearAll, func), 1);
    EXPECT_TRUE(bench.progress.empty());
    EXPECT_EQ(bench.list.Count(), 0u);
    EXPECT_TRUE(bench.Held().empty());
    Serial::Instance().Close();
}
