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

void CMainWnd::OnAddToDevice() {
    const HWND list = CatalogueList();
    const auto selected = static_cast<int>(
        SendMessage(list, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED));
    const auto* texts =
        selected < 0 ? nullptr : reinterpret_cast<const CourseTexts*>(ListItemData(list, selected));
    if (!texts || !LinkUp())
        return;
    // The row holds the course without its map: the map is read for this upload only.
    auto course = std::make_shared<CourseRecord>();
    static_cast<CourseTexts&>(*course) = *texts;
    if (!ReadCourseGof(texts->objid, texts->fileid, course->gof))
        return; // the course is gone from the table: there is nothing to send
    DevFunc upload = devFunc_;
    upload.course = course.get();
    const HWND main = Handle();
    // The worker keeps the course alive: the dialog's thread may outlive this call.
    if (RunWithProgress(
            u"Uploading course map to device", true, main,
            [upload, course](HWND page) mutable { upload.UploadCourse(page); }, main) == 1)
        RefreshDeviceList();
}

void CMainWnd::OnRemoveCourse() {
    if (!LinkUp())
        return;
    devFunc_.names.clear();
    const HWND list = DeviceList();
    const auto count = static_cast<int>(SendMessage(list, LVM_GETITEMCOUNT));
    for (int i = 0; i < count; ++i) {
        if (!(SendMessage(list, LVM_GETITEMSTATE, static_cast<WPARAM>(i), LVIS_SELECTED) &
              LVIS_SELECTED))
            continue;
        if (const auto* name = reinterpret_cast<const std::u16string*>(ListItemData(list, i)))
            devFunc_.names.push_back(*name);
    }
    const HWND main = Handle();
    DevFunc* work = &devFunc_;
    // Names the device confirmed before a failure are gone from the device course list too: the
    // list is shown as it stands whatever the result.
    RunWithProgress(
        u"Remove Device Courses", true, main, [work](HWND page) { work->RemoveCourses(page); },
        main);
    RefreshDeviceList();
}

void CMainWnd::OnRemoveAllCourse() {
    if (!LinkUp())
        return;
    const HWND main = Handle();
    DevFunc* work = &devFunc_;
    if (RunWithProgress(
            u"Clear Device Courses", false, main, [work](HWND page) { work->ClearCourses(page); },
            main) == 1)
        RefreshDeviceList();
}

} // namespace verdal
