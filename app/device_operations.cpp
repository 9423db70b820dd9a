// The device operations of the lists' menus: "Add to Device", "Remove Course" and "Remove All
// Course", each under its progress dialog once the device link is up.
#include "app/dialogs.h"
#include "app/main_wnd.h"
#include "device/connection.h"
#include "device/port_discovery.h"
#include "device/serial.h"
#include "engine/listview.h"
#include "platform/messages.h"
#include "store/course_table.h"

#include <filesystem>

namespace verdal {

using namespace engine;

namespace {

// The status line when the course of a catalogue row is no longer in the course table.
constexpr const char16_t* kCourseGoneText = u"COURSE NOT FOUND";

} // namespace

bool CMainWnd::LinkUp() {
    // A device unplugged since it was connected takes its port with it: the link is let go so
    // that the ports are probed again instead of a dialog waiting on a device that is gone.
    Serial& serial = Serial::Instance();
    if (serial.IsOpen()) {
        std::error_code error;
        if (!std::filesystem::exists(serial.PortName(), error))
            serial.Close();
    }
    if (EnsureConnected(EnumSerialPorts()))
        return true;
    PostStatus(Handle(), StatusCode::NotConnected);
    return false;
}

std::intptr_t CMainWnd::RunDeviceOperation(const std::u16string& text, bool bar, DevFunc& work,
                                           DialogWorkerBody worker) {
    deviceBusy_ = true;
    const HWND main = Handle();
    // The worker runs on its own copy of the device course list; it has ended when the dialog
    // returns, and its copy is what the device now holds.
    work.courses = deviceCourses;
    const std::intptr_t result = RunWithProgress(text, bar, main, workers_, std::move(worker));
    deviceBusy_ = false;
    if (!IsWindow(main))
        return result; // the window went while the dialog was up
    deviceCourses = work.courses;
    return result;
}

void CMainWnd::OnAddToDevice() {
    if (DeviceInUse())
        return; // one device exchange at a time
    const HWND list = CatalogueList();
    const auto selected = static_cast<int>(
        SendMessage(list, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED));
    const auto* texts =
        selected < 0 ? nullptr : reinterpret_cast<const CourseTexts*>(ListItemData(list, selected));
    if (!texts)
        return;
    // The row holds the course without its map: the course's current map is read for this upload
    // only, by its id, so a course an update changed since the search goes as it is now.
    CourseRecord course;
    static_cast<CourseTexts&>(course) = *texts;
    if (!ReadCourseGof(texts->objid, course.gof)) {
        mainPage_.SetStatusText(kCourseGoneText);
        return;
    }
    if (!LinkUp())
        return;
    DevFunc upload;
    upload.course = &course;
    if (RunDeviceOperation(u"Uploading course map to device", true, upload,
                           [&upload](HWND page, std::stop_token) { upload.UploadCourse(page); }) ==
        1)
        RefreshDeviceList();
}

void CMainWnd::OnRemoveCourse() {
    if (DeviceInUse() || !LinkUp())
        return;
    DevFunc removal;
    const HWND list = DeviceList();
    const auto count = static_cast<int>(SendMessage(list, LVM_GETITEMCOUNT));
    for (int i = 0; i < count; ++i) {
        if (!(SendMessage(list, LVM_GETITEMSTATE, static_cast<WPARAM>(i), LVIS_SELECTED) &
              LVIS_SELECTED))
            continue;
        if (const auto* name = reinterpret_cast<const std::u16string*>(ListItemData(list, i)))
            removal.names.push_back(*name);
    }
    const HWND main = Handle();
    RunDeviceOperation(
        u"Remove Device Courses", true, removal,
        [&removal](HWND page, std::stop_token stop) { removal.RemoveCourses(page, stop); });
    // Names the device confirmed before a failure are gone from the device course list too: the
    // list is shown as it stands whatever the result.
    if (IsWindow(main))
        RefreshDeviceList();
}

void CMainWnd::OnRemoveAllCourse() {
    if (DeviceInUse() || !LinkUp())
        return;
    DevFunc clearing;
    if (RunDeviceOperation(
            u"Clear Device Courses", false, clearing,
            [&clearing](HWND page, std::stop_token) { clearing.ClearCourses(page); }) == 1)
        RefreshDeviceList();
}

} // namespace verdal
