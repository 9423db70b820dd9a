// The device operations that run under a progress dialog: send a course, remove courses, remove
// them all. Each worker takes the progress dialog's page window, posts the progress message
// (10858, percentage in wParam) to it, and ends the page's parent dialog with 1 on success or 0
// on failure. A failure closes the port without posting a status: the next operation probes
// the ports again.
//
// Threads: a worker runs on the thread the progress dialog starts for it, on a DevFunc of its own
// holding a copy of the device course list. The dialog's opener joins the worker and then takes
// the copy back as the device course list, on its own thread.
#pragma once

#include "device/device_course_list.h"
#include "platform/window.h"
#include "store/course_record.h"

#include <array>
#include <cstdint>
#include <stop_token>
#include <string>
#include <vector>

namespace verdal {

class DevFunc {
public:
    explicit DevFunc(DeviceCourseList deviceCourses = {}) : courses(std::move(deviceCourses)) {}

    // Sends course's GOF block: "$NCFS\r" (1500 ms for "$OKFS"), then the XMODEM transfer
    // (8000 ms, ended early when the link closes under it), progress 0, 20 to 100, 100. On success
    // the device course name of the block is added to the device course list. Without a course it
    // ends the dialog with 0 at once.
    void UploadCourse(HWND page);

    // Deletes each name of names in turn (2000 ms each for "$OKDC"), removing it from the device
    // course list once the device confirmed it; progress 0, i / count * 100 after the i-th, then
    // 100. The first failure ends the dialog with 0; the names done stay deleted. A stop request
    // ends it with 0 between two names.
    void RemoveCourses(HWND page, std::stop_token stop = {});

    // Deletes every course ("$CRCA\r", 4000 ms for "$OKCA") and then empties the device course
    // list; posts no progress.
    void ClearCourses(HWND page);

    // The device course list as the worker leaves it.
    DeviceCourseList courses;
    const CourseRecord* course = nullptr;
    std::vector<std::u16string> names;
};

} // namespace verdal
