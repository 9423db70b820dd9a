// The device operations that run under a progress dialog: send a course, remove courses, remove
// them all. Each worker takes the progress dialog's page window, posts the progress message
// (10858, percentage in wParam) to it, and ends the page's parent dialog with 1 on success or 0
// on failure. A failure closes the port without posting a status: the next operation probes
// the ports again.
//
// Threads: a worker runs on the thread the progress dialog starts for it; it changes the device
// course list while the user-interface thread waits in the modal dialog.
#pragma once

#include "device/device_course_list.h"
#include "platform/window.h"
#include "store/course_record.h"

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace verdal {

class DevFunc {
public:
    explicit DevFunc(DeviceCourseList* courseList = nullptr) : owner(courseList) {}

    // Sends course's GOF block: "$NCFS\r" (1500 ms for "$OKFS"), then the XMODEM transfer
    // (8000 ms), progress 0, 20 to 100, 100. On success the device course name of the block is
    // added to the device course list. Without a course it ends the dialog with 0 at once.
    void UploadCourse(HWND page);

    // Deletes each name of names in turn (2000 ms each for "$OKDC"), removing it from the device
    // course list once the device confirmed it; progress 0, i / count * 100 after the i-th, then
    // 100. The first failure ends the dialog with 0; the names done stay deleted.
    void RemoveCourses(HWND page);

    // Deletes every course ("$CRCA\r", 4000 ms for "$OKCA") and then empties the device course
    // list; posts no progress.
    void ClearCourses(HWND page);

    DeviceCourseList* owner = nullptr;
    const CourseRecord* course = nullptr;
    std::vector<std::u16string> names;
};

} // namespace verdal
