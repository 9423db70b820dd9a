// The device as the main window knows it (its capacity and the courses it holds) and what is
// done with it: the connect worker, which brings the link up and reads the device, and the
// operations of the lists' menus, "Add to Device", "Remove Course" and "Remove All Course".
//
// Threads: user-interface thread, except the workers. One device exchange at a time: each
// operation is refused while the connect worker or another operation has the link, and the
// connect worker while an operation runs. Workers get what they need by value or by a reference
// that outlives them (the window joins them first) and report by posting; only this thread
// writes the capacity and the course list.
#pragma once

#include "app/course_lists.h"
#include "app/dialogs.h"
#include "app/main_messages.h"
#include "app/main_page.h"
#include "device/dev_func.h"
#include "platform/messages.h"
#include "platform/worker.h"
#include "update/update_workflow.h"

#include <cstdint>
#include <stop_token>
#include <string>

namespace verdal {

// The connect worker, on its own thread: ConnectDevice, then (when it answered 1) what it read
// posted to mainWindow (kDeviceStateMessage) and ServerCheck, which fills offer. The device lost
// during the server check abandons its request and ends the connect with NotConnected (the
// device was unplugged). ports: the ports an automatic connect probes; none for the user's
// connect, which probes every candidate and, when it fails, posts kDisconnectMessage.
void ConnectWorker(HWND mainWindow, CatalogueOffer& offer, const std::vector<std::string>& ports,
                   std::stop_token stop);
// What the connect worker does when it fails, inside its catch block: the device is not
// connected, and the failure's text ("DATABASE ERROR", …) is posted after that status so that the
// status line keeps it.
void ReportConnectFailure(HWND mainWindow);

class DeviceOperations {
public:
    // The operations show their results in lists and on page and run their workers in workers;
    // all three outlive this.
    DeviceOperations(CourseLists& lists, const MainPage& page, WorkerOwner& workers)
        : lists_(lists), page_(page), workers_(workers) {}

    void Attach(HWND mainWindow) { main_ = mainWindow; }

    std::int32_t Capacity() const { return capacity_; }
    const DeviceCourseList& Courses() const { return courses_; }
    // What the connect worker read becomes what the device holds.
    void Take(const DeviceState& state);
    // "Disconnect": the device's course list is emptied; its capacity stays.
    void Forget();
    // A connect that failed: the capacity is 0 until a device is read again, and the losses so
    // far have been said.
    void ConnectFailed();
    // The link was lost (see app/hotplug.h): the page shows "DEVICE NOT CONNECTED" and offers
    // "Connect", once for each loss. A connect under way says for itself how it ended; an
    // operation under way fails, and then says that the device was unplugged. A loss counts for
    // the connect or operation it happened in, never for a later one.
    void LinkLost();
    // The capacity, the course count and the device list as they stand.
    void ShowCourses();

    // Starts the connect worker, which fills offer; refused (false) while it or a device
    // operation runs. ports: those an automatic connect probes (see ConnectWorker).
    bool StartConnect(CatalogueOffer& offer, std::vector<std::string> ports = {});
    // True while the connect worker runs.
    bool Connecting() const { return connectWorker_.Running(); }
    // Blocks until the connect worker has ended.
    void WaitForConnect() { connectWorker_.Join(); }
    // True while the connect worker or a device operation has the link.
    bool InUse() const { return busy_ || Connecting(); }
    Link LinkState() const { return Connecting() ? Link::Connecting : Link::Free; }

    // Each operation brings the link up (status 2 and nothing more when no device answers),
    // runs its worker under the progress dialog and shows the device's courses after. A course
    // gone from the course table since the search says "COURSE NOT FOUND" and is not sent.
    void Add(const CourseTexts& course);
    void Remove(std::vector<std::u16string> names);
    void RemoveAll();

private:
    // Brings the link up, or posts status 2 with why and the disconnect probe.
    bool LinkUp();
    // Runs an operation's worker under its progress dialog; the device course list becomes the
    // one the worker left. Answers the dialog's result.
    std::intptr_t Run(const std::u16string& text, ProgressBar bar, DevFunc& work,
                      DialogWorkerBody worker);
    // Shows a loss of the serial link not shown yet: status 2, saying why when it is to be shown.
    void ShowLoss(const StatusReason& why);

    CourseLists& lists_;
    const MainPage& page_;
    WorkerOwner& workers_;
    HWND main_ = 0;
    std::int32_t capacity_ = 0;
    DeviceCourseList courses_;
    bool busy_ = false;        // an operation's dialog is up
    unsigned shownLosses_ = 0; // the serial link's losses said, by the page or by what failed
    Worker connectWorker_{&workers_};
};

} // namespace verdal
