// The device operation workers.
#include "device/dev_func.h"

#include "device/course_name.h"
#include "device/requests.h"
#include "device/send_cf_req.h"
#include "device/serial.h"
#include "platform/event.h"
#include "platform/messages.h"

#include <algorithm>

namespace verdal {
namespace {

void Progress(HWND page, int percent) {
    PostMessage(page, kProgressMessage, static_cast<WPARAM>(percent), 0);
}

void Finish(HWND page, bool success) {
    EndDialog(GetParent(page), success ? 1 : 0);
}

// Waits for the event up to timeoutMs, or until the link closes under the wait (the device was
// unplugged): true only when the event was set.
bool WaitWhileLinked(const ManualResetEvent& event, std::uint32_t timeoutMs) {
    const std::uint32_t start = GetTickCount();
    for (std::uint32_t spent = 0; spent < timeoutMs; spent = GetTickCount() - start) {
        if (event.Wait(std::min<std::uint32_t>(100, timeoutMs - spent)))
            return true;
        if (!Serial::Instance().IsOpen())
            break;
    }
    return event.IsSet();
}

void Fail(HWND page) {
    Serial::Instance().Close();
    Finish(page, false);
}

} // namespace

void DevFunc::UploadCourse(HWND page) {
    if (course == nullptr) {
        Finish(page, false);
        return;
    }
    ManualResetEvent completion;
    Progress(page, 0);
    SendCFReq request(&completion, course->gof.data(),
                      static_cast<std::uint32_t>(course->gof.size()), page);
    if (!request.WaitForReply()) {
        Fail(page);
        return;
    }
    Progress(page, 20);
    request.StartTransfer();
    if (!WaitWhileLinked(completion, kTransferWaitMs)) {
        Fail(page);
        return;
    }
    Serial::Instance().SetIdleReceiver();
    courses.Add(DeviceCourseName(course->gof.data()));
    Progress(page, 100);
    Sleep(kPauseAfterReplyMs);
    Finish(page, true);
}

void DevFunc::RemoveCourses(HWND page, std::stop_token stop) {
    ManualResetEvent completion;
    Progress(page, 0);
    const std::size_t count = names.size();
    for (std::size_t i = 1; i <= count; ++i) {
        if (stop.stop_requested()) {
            Finish(page, false);
            return;
        }
        const std::u16string& name = names[i - 1];
        {
            DeleteCourseReq request(&completion, DeviceNameBytes(name));
            if (!request.WaitForReply()) {
                Fail(page);
                return;
            }
        }
        Serial::Instance().SetIdleReceiver();
        Sleep(kPauseAfterReplyMs);
        courses.Remove(name);
        Progress(page,
                 static_cast<int>(static_cast<double>(i) / static_cast<double>(count) * 100.0));
    }
    Progress(page, 100);
    Sleep(kPauseAfterReplyMs);
    Finish(page, true);
}

void DevFunc::ClearCourses(HWND page) {
    ManualResetEvent completion;
    {
        ClearCoursesReq request(&completion);
        if (!request.WaitForReply()) {
            Fail(page);
            return;
        }
    }
    Serial::Instance().SetIdleReceiver();
    Sleep(kPauseAfterReplyMs);
    courses.Clear();
    Finish(page, true);
}

} // namespace verdal
