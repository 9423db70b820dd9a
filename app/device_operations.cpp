// The device as the main window knows it: the connect worker, and the device operations of the
// lists' menus, each under its progress dialog once the device link is up.
#include "app/device_operations.h"

#include "app/dialogs.h"
#include "app/status_table.h"
#include "device/connection.h"
#include "device/port_discovery.h"
#include "device/serial.h"
#include "platform/event.h"
#include "platform/language.h"
#include "platform/messages.h"
#include "platform/text.h"
#include "store/course_table.h"
#include "store/settings.h"

#include <filesystem>

namespace verdal {

namespace {

// The status line when the course of a catalogue row is no longer in the course table.
constexpr const char* kCourseGoneText = N_("COURSE NOT FOUND");

} // namespace

void ConnectWorker(HWND hwnd, CatalogueOffer& offer, const std::vector<std::string>& ports,
                   std::stop_token stop) {
    const auto failed = [&] {
        PostMessage(hwnd, kConnectFailedMessage);
        if (ports.empty())
            PostMessage(hwnd, kDisconnectMessage);
    };
    try {
        auto found = std::make_unique<DeviceState>();
        if (ConnectDevice(hwnd, found->capacity, found->courses, stop, ports) != 1) {
            if (!stop.stop_requested())
                failed();
            return;
        }
        PostMessageWith(hwnd, kDeviceStateMessage, 0, std::move(found));
        // The server check does not touch the link: its loss must end it all the same.
        const std::stop_token lost = Serial::Instance().LossToken();
        const EitherStop ended(stop, lost);
        ServerCheck(hwnd, offer, ended.Token());
        if (lost.stop_requested() && !stop.stop_requested()) {
            PostStatus(hwnd, StatusCode::NotConnected, UnpluggedReason());
            failed();
        }
    } catch (...) {
        ReportConnectFailure(hwnd);
    }
}

void ReportConnectFailure(HWND mainWindow) {
    PostStatus(mainWindow, StatusCode::NotConnected);
    ReportFailure(mainWindow, "connect worker");
}

void DeviceOperations::Take(const DeviceState& state) {
    capacity_ = state.capacity;
    courses_ = state.courses;
}

void DeviceOperations::Forget() {
    courses_.Clear();
    lists_.ClearDeviceList();
}

void DeviceOperations::ShowCourses() {
    page_.ShowCapacity(capacity_, static_cast<int>(courses_.Count()));
    lists_.ShowDeviceCourses(courses_);
}

bool DeviceOperations::StartConnect(CatalogueOffer& offer, std::vector<std::string> ports) {
    if (InUse())
        return false;
    shownLosses_ = Serial::Instance().Losses();
    connectWorker_.Start([hwnd = main_, &offer, ports = std::move(ports)](std::stop_token stop) {
        ConnectWorker(hwnd, offer, ports, stop);
    });
    return true;
}

void DeviceOperations::ConnectFailed() {
    capacity_ = 0;
    shownLosses_ = Serial::Instance().Losses();
}

bool DeviceOperations::LinkUp() {
    // A device unplugged since it was connected takes its port with it: the link is let go so
    // that the ports are probed again instead of a dialog waiting on a device that is gone.
    Serial& serial = Serial::Instance();
    if (serial.IsOpen()) {
        std::error_code error;
        if (!std::filesystem::exists(serial.PortName(), error))
            serial.Close();
    }
    StatusReason why;
    if (EnsureConnected(EnumSerialPorts(), why))
        return true;
    PostStatus(main_, StatusCode::NotConnected, why);
    PostMessage(main_, kDisconnectMessage);
    return false;
}

std::intptr_t DeviceOperations::Run(const std::u16string& text, ProgressBar bar, DevFunc& work,
                                    DialogWorkerBody worker) {
    busy_ = true;
    shownLosses_ = Serial::Instance().Losses(); // a loss before this operation is not its own
    const HWND main = main_;
    // The worker runs on its own copy of the device course list. However the dialog ends (a
    // failure inside its loop included) the worker has ended with it, its copy is what the
    // device now holds, and the device is free again.
    work.courses = courses_;
    struct Ended {
        DeviceOperations& operations;
        const DevFunc& work;
        HWND main;
        ~Ended() {
            operations.busy_ = false;
            if (IsWindow(main)) // else the window went while the dialog was up
                operations.courses_ = work.courses;
        }
    } ended{*this, work, main};
    const std::intptr_t result = RunWithProgress(text, bar, main, workers_, std::move(worker));
    if (result != 1 && IsWindow(main))
        ShowLoss(UnpluggedReason());
    return result;
}

void DeviceOperations::LinkLost() {
    if (!InUse())
        ShowLoss({});
}

void DeviceOperations::ShowLoss(const StatusReason& why) {
    const unsigned losses = Serial::Instance().Losses();
    if (losses == shownLosses_)
        return;
    shownLosses_ = losses;
    page_.SetStatusText(NotConnectedText(why).c_str());
    page_.SetConnectButtons(ConnectButtons::NotConnected);
}

void DeviceOperations::Add(const CourseTexts& texts) {
    if (InUse())
        return; // one device exchange at a time
    // The row holds the course without its map: the course's current map is read for this upload
    // only, by its id, so a course an update changed since the search goes as it is now.
    CourseRecord course;
    static_cast<CourseTexts&>(course) = texts;
    if (!ReadCourseGof(texts.objid, course.gof)) {
        page_.SetStatusText(Utf8ToUtf16(Tr(kCourseGoneText)).c_str());
        return;
    }
    if (!LinkUp())
        return;
    DevFunc upload;
    upload.course = &course;
    if (Run(Utf8ToUtf16(Tr("Uploading course map to device")), ProgressBar::Shown, upload,
            [&upload](HWND page, std::stop_token) { upload.UploadCourse(page); }) == 1)
        ShowCourses();
}

void DeviceOperations::Remove(std::vector<std::u16string> names) {
    if (InUse() || !LinkUp())
        return;
    DevFunc removal;
    removal.names = std::move(names);
    const HWND main = main_;
    Run(Utf8ToUtf16(Tr("Remove Device Courses")), ProgressBar::Shown, removal,
        [&removal](HWND page, std::stop_token stop) { removal.RemoveCourses(page, stop); });
    // Names the device confirmed before a failure are gone from the device course list too: the
    // list is shown as it stands whatever the result.
    if (IsWindow(main))
        ShowCourses();
}

void DeviceOperations::RemoveAll() {
    if (InUse() || !LinkUp())
        return;
    DevFunc clearing;
    if (Run(Utf8ToUtf16(Tr("Clear Device Courses")), ProgressBar::Hidden, clearing,
            [&clearing](HWND page, std::stop_token) { clearing.ClearCourses(page); }) == 1)
        ShowCourses();
}

} // namespace verdal
