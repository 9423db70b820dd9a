// The main window: the page 201 host, owner of everything that lives as long as the window
// (the two lists, the device capacity and course list, the catalogue offer, the page controller),
// its message table, the status message handler and the connect worker.
//
// Threads: user-interface thread, except the workers. The window owns every worker it starts: the
// connect worker and the worker of each progress dialog. Workers get what they need by value and
// report by posting; only this thread writes the device course list, the capacity and the lists.
// OnDestroy asks the workers to stop and joins them before it lets go of the database and the
// device. One device exchange at a time: the device operations are refused while the connect
// worker runs, and Connect while a device operation runs.
#pragma once

#include "app/location_filter.h"
#include "app/main_messages.h"
#include "app/main_page.h"
#include "device/dev_func.h"
#include "device/device_course_list.h"
#include "engine/menu.h"
#include "platform/worker.h"
#include "ui/page_host.h"
#include "update/update_workflow.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace verdal {

inline constexpr int kDeviceListId = 6000;
inline constexpr int kCatalogueListId = 6001;
inline constexpr int kMainPage = 201;
inline constexpr int kCatalogueMenu = 206;
inline constexpr int kDeviceMenu = 207;

// Menu commands.
inline constexpr unsigned ID_ADD_TO_DEVICE = 32776;
inline constexpr unsigned ID_REMOVE_COURSE = 32782;
inline constexpr unsigned ID_REMOVE_ALL_COURSE = 32783;
inline constexpr unsigned ID_COURSE_INFORMATION = 32786;

// What a search looks for: "all" of a select is held as empty.
struct SearchQuery {
    std::string country, city, keyword;
};

// The connect worker, on its own thread: ConnectDevice, then (when it answered 1) what it read
// posted to mainWindow (kDeviceStateMessage) and ServerCheck, which fills offer.
void ConnectWorker(HWND mainWindow, CatalogueOffer& offer, std::stop_token stop);

// The search's worker, on the progress dialog's thread: runs the search statement, hands the
// rows to mainWindow's catalogue list in batches (kCatalogueRowsMessage) together with the
// progress values for the page (kProgressMessage: the row count modulo 1000, divided by 10, each
// time that value changes), each batch as one task of the user-interface thread, and ends the
// dialog with 1. It never waits for the user-interface thread. A stop request ends it between
// two rows. Answers the number of rows found.
std::size_t SearchWorker(HWND mainWindow, HWND page, const SearchQuery& query,
                         std::stop_token stop = {});

// The item data (lParam) of a list view's item, 0 when there is no such item.
LPARAM ListItemData(HWND list, int index);

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

    // Page events.
    void OnConnectClick();
    void OnDisconnectClick();
    void OnUpdateClick();

    // The course lists.
    void RefreshDeviceList();
    void ShowDeviceState();
    void ClearCatalogueList();
    // Appends a catalogue row owning the course's texts; its GOF block stays in the course table
    // until an upload reads it. User-interface thread (the search worker hands rows over).
    void AddCatalogueRow(std::unique_ptr<CourseTexts> record);
    // The popups of the two lists with their entries enabled as the lists stand now; nothing
    // when the menu resource is missing.
    std::optional<engine::Menu> DeviceListMenu() const;
    std::optional<engine::Menu> CatalogueListMenu() const;
    // "Course Information": opens the dialog for the selected catalogue row; false when no row
    // is selected (nothing opens).
    bool ShowSelectedCourseInfo();

    // The location filters and the search. OnCountryChanged refills the regions of the chosen
    // country and chooses their first entry. SearchCourses empties the catalogue list, keeps the
    // criteria ("all" stored as empty) and, unless all three are empty, runs SearchWorker under
    // the progress dialog; a search that ends with no row shows the "not found" message.
    // OnSearchKey runs the search for Enter in the selects or the keyword box; it always answers
    // false, so the key goes on as usual.
    void OnCountryChanged();
    void SearchCourses();
    bool OnSearchKey(const Element& target, unsigned type, unsigned keyCode);

    // The device operations of the menus: each brings the link up (status 2 and nothing more
    // when no device answers), runs its worker under the progress dialog and refreshes the device
    // list. "Add to Device" without a selected catalogue row does nothing. Each is refused while
    // the connect worker runs.
    void OnAddToDevice();
    void OnRemoveCourse();
    void OnRemoveAllCourse();

    // Starts the connect worker; refused (false) while it or a device operation runs.
    bool StartConnectWorker();
    // True while the connect worker runs.
    bool Connecting() const { return connectWorker_.Running(); }
    // Blocks until the connect worker has ended.
    void WaitForConnectWorker() { connectWorker_.Join(); }

    HWND DeviceList() const;
    HWND CatalogueList() const;
    const MainPage& Page() const { return mainPage_; }

    bool OnBehaviorEvent(engine::BEHAVIOR_EVENT_PARAMS& params) override;
    bool OnKey(const Element& he, engine::KEY_PARAMS& params) override;
    bool ProcessPageMessage(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam,
                            LRESULT& result) override;

    // Filled by the connect worker before it posts its status; it has a lock of its own.
    CatalogueOffer offer;
    std::int32_t deviceCapacity = 0;
    std::string searchKeyword, searchCountry, searchCity;
    DeviceCourseList deviceCourses;

private:
    void SetUpDeviceList();
    void SetUpCatalogueList();
    bool OnListMenu(const NMHDR& header);
    bool LinkUp();
    // One device exchange at a time: true while the connect worker or a device operation has the
    // link.
    bool DeviceInUse() const { return deviceBusy_ || Connecting(); }
    // Runs a device operation's worker under its progress dialog, one exchange at a time; the
    // device course list becomes the one the worker left. Answers the dialog's result.
    std::intptr_t RunDeviceOperation(const std::u16string& text, bool bar, DevFunc& work,
                                     DialogWorkerBody worker);
    bool Dispatch(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result);

    MainPage mainPage_;
    LocationFilter locationFilter_;
    // The device list's rows: each keeps its own copy of its name, so a row never paints an
    // entry that a device operation has removed from the device course list.
    std::vector<std::unique_ptr<std::u16string>> deviceRows_;
    // The catalogue list's rows, in the list's order: each item's data points to its course.
    std::vector<std::unique_ptr<CourseTexts>> catalogueRows_;
    // Last: the workers go first, before anything they might still report to.
    WorkerOwner workers_;
    Worker connectWorker_{&workers_};
    bool deviceBusy_ = false; // a device operation's dialog is up
};

} // namespace verdal
