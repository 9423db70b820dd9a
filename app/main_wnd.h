// The main window: the page 201 host and owner of everything that lives as long as the window:
// the page controller, the location filters, the two course lists, the device and its
// operations, the search and the catalogue offer; its message table and the status message.
//
// Threads: user-interface thread, except the workers. The window owns every worker it starts
// through its parts: the connect worker and the worker of each progress dialog. OnDestroy asks
// the workers to stop and joins them before it lets go of the database and the device.
#pragma once

#include "app/course_lists.h"
#include "app/course_search.h"
#include "app/device_operations.h"
#include "app/hotplug.h"
#include "app/location_filter.h"
#include "app/main_messages.h"
#include "app/main_page.h"
#include "platform/worker.h"
#include "ui/page_host.h"
#include "update/update_workflow.h"

namespace verdal {

inline constexpr int kMainPage = 201;

class CMainWnd : public CPageHost {
public:
    CMainWnd();
    ~CMainWnd() override;

    // WM_CREATE: settings, database, page, lists, controls, connect worker. A database that
    // cannot be opened leaves the page up with "DATABASE ERROR" and no connect worker started.
    LRESULT OnCreate();
    // WM_DESTROY: asks every worker to stop and joins them (a course transfer in progress ends
    // by itself first), closes the database, tells the device "$EXIT\r" when it can be reached,
    // posts WM_QUIT.
    void OnDestroy();
    // The status message: text, connect buttons, further effect, as the status table says.
    LRESULT OnStatus(WPARAM code, LPARAM text);

    // Page events. "Connect" and "Disconnect" are refused while the device link is in use.
    void OnConnectClick();
    void OnDisconnectClick();
    void OnUpdateClick();
    // The port watcher's listing, and the link lost under the device (see app/hotplug.h).
    void OnPorts(std::vector<std::string> present);
    void OnLinkLost();
    // The connect that became due (see app/hotplug.h), when nothing stands in its way now.
    void StartDueConnect();

    // "Course Information": opens the dialog for the selected catalogue row; false when no row
    // is selected (nothing opens).
    bool ShowSelectedCourseInfo();
    // The device list refreshed after the device state changed: filters on, courses, serial.
    void ShowDeviceState();
    // The lists' popups as the lists and the device link stand now.
    std::optional<engine::Menu> DeviceListMenu() const;
    std::optional<engine::Menu> CatalogueListMenu() const;

    const MainPage& Page() const { return mainPage_; }
    LocationFilter& Location() { return locationFilter_; }
    CourseLists& Lists() { return lists_; }
    DeviceOperations& Device() { return device_; }
    CourseSearch& Search() { return search_; }

    bool OnBehaviorEvent(engine::BEHAVIOR_EVENT_PARAMS& params) override;
    bool OnKey(const Element& he, engine::KEY_PARAMS& params) override;
    bool ProcessPageMessage(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam,
                            LRESULT& result) override;

private:
    bool OnListMenu(const NMHDR& header);
    bool OnCommand(unsigned command);
    bool Dispatch(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result);

    MainPage mainPage_;
    LocationFilter locationFilter_;
    CourseLists lists_;
    // Filled by the connect worker before it posts its status; it has a lock of its own.
    CatalogueOffer offer_;
    // The workers of the parts below register here; it outlives them.
    WorkerOwner workers_;
    DeviceOperations device_{lists_, mainPage_, workers_};
    Hotplug hotplug_{workers_};
    CourseSearch search_{lists_, workers_};
};

} // namespace verdal
