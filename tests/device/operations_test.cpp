// The device operations under a progress dialog, against the simulator: their progress, their
// results, and a failure injected at every step of each.
#include "device/connection.h"
#include "device/course_name.h"
#include "device/dev_func.h"
#include "device/port_discovery.h"
#include "device/serial.h"
#include "platform/worker.h"
#include "tests/support/device_harness.h"
#include "tests/support/programs.h"
#include "tests/support/temp_folder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <optional>

using namespace verdal;
using namespace verdal::test;
namespace fs = std::filesystem;

namespace {

// A device holding three courses, one under an "@" name, in a store of its own; the link to it
// is closed when the bench goes.
struct Bench {
    Bench() {
        BindUiThread();
        fs::create_directory(dir / "store");
        WriteFile(dir / "store/1.gof", CourseMap(u"Augusta", 1));
        WriteFile(dir / "store/2.gof", CourseMap(u"Bay Hill", 2));
        WriteFile(dir / "store/3.gof", CourseMap(u"\u6c34\u592b", 3));
        SetPortSearch(PortSearch{dir / "dev", dir / "sys", dir / "link"});
    }
    ~Bench() { Serial::Instance().Close(); }

    // The names of the courses the device holds: its store, read as the device reads them.
    std::vector<std::u16string> Held() const {
        std::vector<std::u16string> names;
        for (const auto& entry : fs::directory_iterator(dir / "store")) {
            const std::string bytes = ReadFile(entry.path());
            names.push_back(DeviceCourseName(reinterpret_cast<const std::uint8_t*>(bytes.data())));
        }
        std::sort(names.begin(), names.end());
        return names;
    }

    // The bytes the device keeps of the first course it received (none when there is none).
    std::string Received() const { return ReadFile(dir / "store/course-0001.gof"); }

    // Starts the device with the options, and leaves the device course list as a connect
    // procedure leaves it, with the link up.
    void Connected(std::vector<std::string> options = {}) {
        options.insert(options.end(), {"--store", dir / "store"});
        device.emplace(dir / "link", options);
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

    TempFolder dir;
    std::optional<Simulator> device;
    DeviceCourseList list;
    std::vector<int> progress;
};

using Operation = void (*)(DevFunc&, HWND);
const Operation Upload = [](DevFunc& func, HWND page) { func.UploadCourse(page); };
const Operation Remove = [](DevFunc& func, HWND page) { func.RemoveCourses(page); };
const Operation ClearAll = [](DevFunc& func, HWND page) { func.ClearCourses(page); };

} // namespace

TEST(DeviceOperations, UploadingRemovingAndClearingReportTheirProgressAndChangeTheList) {
    Bench bench;
    bench.Connected();
    CourseRecord course;
    std::ranges::copy(CourseMap(u"\u516b\u4e01\u76ee", 9), course.gof.begin());
    DevFunc upload(bench.list);
    upload.course = &course;
    EXPECT_EQ(bench.Run(Upload, upload), 1);
    EXPECT_EQ(bench.list.Names(), bench.Held());
    EXPECT_TRUE(bench.list.Contains(u"@\u516b\u4e01\u76ee"));
    ASSERT_GE(bench.progress.size(), 3u);
    EXPECT_EQ(bench.progress.front(), 0);
    EXPECT_EQ(bench.progress[1], 20);
    EXPECT_EQ(bench.progress.back(), 100);
    EXPECT_TRUE(std::is_sorted(bench.progress.begin(), bench.progress.end()));
    // The device keeps exactly the bytes it received.
    EXPECT_EQ(bench.Received(), std::string(course.gof.begin(), course.gof.end()));

    // Three courses removed, each reported; then nothing selected: nothing sent, and the dialog
    // still ends with 1.
    DevFunc remove(bench.list);
    remove.names = {u"Augusta", u"@\u6c34\u592b", u"Bay Hill"};
    EXPECT_EQ(bench.Run(Remove, remove), 1);
    EXPECT_EQ(bench.progress, (std::vector<int>{0, 33, 66, 100, 100}));
    EXPECT_EQ(bench.list.Names(), std::vector<std::u16string>{u"@\u516b\u4e01\u76ee"});
    EXPECT_EQ(bench.Held(), bench.list.Names());
    remove.names.clear();
    EXPECT_EQ(bench.Run(Remove, remove), 1);
    EXPECT_EQ(bench.progress, (std::vector<int>{0, 100}));

    DevFunc clear(bench.list);
    EXPECT_EQ(bench.Run(ClearAll, clear), 1);
    EXPECT_TRUE(bench.progress.empty());
    EXPECT_EQ(bench.list.Count(), 0u);
    EXPECT_TRUE(bench.Held().empty());
}

// Each operation with a fault at one of its steps. An upload ends only when the device has taken
// the whole course, and only a whole upload leaves the device a course; every failed operation
// closes the port; and after each the list says what the device holds.
TEST(DeviceOperations, AFaultAtAnyStepLeavesTheListAsTheDeviceHoldsIt) {
    struct Case {
        Operation operation;
        std::string fault;
        std::intptr_t result;
        std::size_t held;
    };
    std::vector<Case> cases = {
        // A refused block or EOT, a device that answers EOT only after the line has been quiet
        // for 1.5 s, and garbage before a reply are outlasted.
        {Upload, "nak:1", 1, 4},         {Upload, "nak:57", 1, 4},
        {Upload, "nak-eot", 1, 4},       {Upload, "eot-late:1500", 1, 4},
        {Upload, "garbage:NCFS", 1, 4},  {Upload, "eot-never", 0, 3},
        {Upload, "hangup:10", 0, 3},     {Upload, "silent:NCFS", 0, 3},
        {Upload, "nomarker:NCFS", 0, 3}, {Upload, "silent:STRT", 0, 3},
        {Upload, "stall:1", 0, 3},       {Upload, "stall:57", 0, 3},
        {ClearAll, "silent:CRCA", 0, 3}, {ClearAll, "nomarker:CRCA", 0, 3},
    };
    for (const char* kind : {"silent", "nomarker"})
        for (int step = 1; step <= 3; ++step)
            cases.push_back({Remove, std::string(kind) + ":CRDC#" + std::to_string(step), 0,
                             static_cast<std::size_t>(4 - step)});
    CourseRecord course;
    std::ranges::copy(CourseMap(u"Carnoustie", 7), course.gof.begin());
    const std::string sent(course.gof.begin(), course.gof.end());
    for (const Case& c : cases) {
        SCOPED_TRACE(c.fault);
        Bench bench;
        bench.Connected({"--fault", c.fault});
        DevFunc func(bench.list);
        func.course = &course;
        func.names = {u"Bay Hill", u"@\u6c34\u592b", u"Augusta"};
        EXPECT_EQ(bench.Run(c.operation, func), c.result);
        EXPECT_EQ(bench.Held().size(), c.held);
        EXPECT_EQ(bench.list.Names(), bench.Held());
        EXPECT_EQ(Serial::Instance().IsOpen(), c.result == 1);
        EXPECT_EQ(bench.Received(), c.operation == Upload && c.result == 1 ? sent : "");
        // A device that went silent in the transfer or hung up is found again by the next one.
        if (c.fault == "eot-never" || c.fault == "hangup:10") {
            EXPECT_EQ(EnsureConnected({}), 1);
        }
    }
}
