// The main window: start-up and shutdown of the window, its message table, the status message
// and the page's buttons.
#include "app/main_wnd.h"

#include "app/dialogs.h"
#include "app/status_table.h"
#include "device/connection.h"
#include "engine/listview.h"
#include "platform/messages.h"
#include "platform/text.h"
#include "store/course_table.h"
#include "store/settings.h"
#include "store/sqlite_database.h"

#include <cstdio>

namespace verdal {

using namespace engine;

CMainWnd::CMainWnd() : CPageHost(HANDLE_BEHAVIOR_EVENT | HANDLE_KEY, ViewKind::Window) {}

CMainWnd::~CMainWnd() {
    // A worker may still run when the window was never destroyed (a failed start).
    workers_.StopAndJoinAll();
}

HWND CMainWnd::DeviceList() const {
    return GetDlgItem(Handle(), kDeviceListId);
}

HWND CMainWnd::CatalogueList() const {
    return GetDlgItem(Handle(), kCatalogueListId);
}

LRESULT CMainWnd::OnCreate() {
    bool databaseOpen = false;
    try {
        LoadSettings();
        OpenCourseDatabase();
        EnsureCourseTable();
        databaseOpen = true;
    } catch (const std::exception& error) {
        std::fprintf(stderr, "verdal: the course database cannot be used: %s\n", error.what());
    }
    LoadPage(kMainPage);
    SetUpDeviceList();
    SetUpCatalogueList();
    mainPage_.Attach(Handle());
    mainPage_.SetPortSelection(CopySettings().comIndex);
    mainPage_.EnableFilters(false);
    if (databaseOpen)
        locationFilter_.Start(Handle());
    if (databaseOpen) {
        StartConnectWorker();
    } else {
        mainPage_.SetStatusText(u"DATABASE ERROR");
        mainPage_.SetConnectButtons(ConnectButtons::NotConnected);
    }
    return 0;
}

void CMainWnd::OnDestroy() {
    // The workers use the database and the device link: they end before either goes. A
    // progress dialog further down the stack may still hold its worker; it is joined here all
    // the same, and its dialog dies with this window.
    workers_.StopAndJoinAll();
    ClearCatalogueList();
    SendMessage(DeviceList(), LVM_DELETEALLITEMS);
    deviceRows_.clear();
    CourseDatabase().close();
    DisconnectDevice();
    PostQuitMessage(0);
}

LRESULT CMainWnd::OnStatus(WPARAM code, LPARAM text) {
    const StatusRow* row = FindStatus(code);
    if (!row)
        return 0;
    if (row->code == StatusCode::CourseStored) {
        if (const auto* name = reinterpret_cast<const std::u16string*>(text))
            mainPage_.SetStatusText(ShownText(*name).c_str());
    } else if (row->code == StatusCode::NotConnected) {
        mainPage_.SetStatusText(NotConnectedText(LastConnectProblem()).c_str());
    } else if (row->code == StatusCode::UpdateError) {
        mainPage_.SetStatusText(UpdateErrorText(LastUpdateProblem()).c_str());
    } else {
        mainPage_.SetStatusText(row->text);
    }
    if (row->buttons)
        mainPage_.SetConnectButtons(*row->buttons);
    switch (row->effect) {
    case StatusEffect::Disconnect:
        DisconnectDevice();
        break;
    case StatusEffect::ShowDeviceState:
        ShowDeviceState();
        break;
    case StatusEffect::RefillFilters:
        locationFilter_.Refill();
        break;
    case StatusEffect::None:
        break;
    }
    return 0;
}

void ConnectWorker(HWND hwnd, CatalogueOffer& offer, std::stop_token stop) {
    try {
        auto found = std::make_unique<DeviceState>();
        if (ConnectDevice(hwnd, found->capacity, found->courses, stop) != 1)
            return;
        PostMessageWith(hwnd, kDeviceStateMessage, 0, std::move(found));
        ServerCheck(hwnd, offer, stop);
    } catch (...) {
        ReportFailure(hwnd, "connect worker");
        PostStatus(hwnd, StatusCode::NotConnected);
    }
}

bool CMainWnd::StartConnectWorker() {
    if (DeviceInUse())
        return false;
    connectWorker_.Start([hwnd = Handle(), &offer = offer](std::stop_token stop) {
        ConnectWorker(hwnd, offer, stop);
    });
    return true;
}

void CMainWnd::OnConnectClick() {
    if (DeviceInUse())
        return; // one device exchange at a time
    mainPage_.SetConnectButtons(ConnectButtons::Connecting);
    const NamedValues values = GetNamedValues(RootElement(Handle()));
    int port = 0;
    if (const auto found = values.find(u"comport"); found != values.end())
        port = static_cast<int>(
            std::strtol(Utf16ToAnsi(found->second.ToString()).c_str(), nullptr, 10));
    ChangeSettings([port](Settings& settings) { settings.comIndex = port; });
    SaveSettings();
    StartConnectWorker();
}

void CMainWnd::OnDisconnectClick() {
    if (DeviceInUse())
        return; // the link belongs to the worker that uses it
    PostStatus(Handle(), StatusCode::NotConnected);
    deviceCourses.Clear();
    SendMessage(DeviceList(), LVM_DELETEALLITEMS);
    deviceRows_.clear();
    mainPage_.EnableFilters(false);
    mainPage_.SetConnectButtons(ConnectButtons::NotConnected);
}

void CMainWnd::OnUpdateClick() {
    const HWND main = Handle();
    RunWithProgress(u"Update GOF File...", true, main, workers_,
                    [main, current = offer.Get()](HWND page, std::stop_token stop) {
                        RunCatalogueUpdate(main, current, page, stop);
                    });
}

bool CMainWnd::OnBehaviorEvent(BEHAVIOR_EVENT_PARAMS& params) {
    const std::u16string id = GetAttribute(params.heTarget, "id");
    try {
        if (params.cmd == BUTTON_CLICK && id == page201::kConnect)
            OnConnectClick();
        else if (params.cmd == BUTTON_CLICK && id == page201::kDisconnect)
            OnDisconnectClick();
        else if (params.cmd == BUTTON_CLICK && id == page201::kUpdate)
            OnUpdateClick();
        else if (params.cmd == SELECT_SELECTION_CHANGED && id == page201::kCountry)
            OnCountryChanged();
        else if (params.cmd == BUTTON_CLICK && id == page201::kSearch)
            SearchCourses();
    } catch (...) {
        ReportFailure(Handle(), "page event");
    }
    return false;
}

bool CMainWnd::ProcessPageMessage(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam,
                                  LRESULT& result) {
    try {
        return Dispatch(hwnd, message, wParam, lParam, result);
    } catch (...) {
        ReportFailure(hwnd, "main window");
        result = 0;
        return message != WM_DESTROY;
    }
}

bool CMainWnd::Dispatch(HWND, UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) {
    switch (message) {
    case WM_CREATE:
        result = OnCreate();
        return true;
    case WM_DESTROY:
        OnDestroy();
        return false;
    case kStatusMessage:
        result = OnStatus(wParam, lParam);
        return true;
    case kFailureMessage:
        if (const auto* text = reinterpret_cast<const std::u16string*>(lParam))
            mainPage_.SetStatusText(text->c_str());
        result = 0;
        return true;
    case kDeviceStateMessage:
        if (const auto* state = reinterpret_cast<const DeviceState*>(lParam)) {
            deviceCapacity = state->capacity;
            deviceCourses = state->courses;
        }
        result = 0;
        return true;
    case kCatalogueRowsMessage:
        if (auto* rows = reinterpret_cast<CatalogueRows*>(lParam)) {
            for (auto& row : *rows)
                AddCatalogueRow(std::move(row));
            rows->clear();
        }
        result = 0;
        return true;
    case WM_NOTIFY:
        result = 0;
        return OnListMenu(*reinterpret_cast<const NMHDR*>(lParam));
    case WM_COMMAND:
        result = 0;
        switch (LOWORD(wParam)) {
        case ID_COURSE_INFORMATION:
            ShowSelectedCourseInfo();
            return true;
        case ID_ADD_TO_DEVICE:
            OnAddToDevice();
            return true;
        case ID_REMOVE_COURSE:
            OnRemoveCourse();
            return true;
        case ID_REMOVE_ALL_COURSE:
            OnRemoveAllCourse();
            return true;
        default:
            return false;
        }
    default:
        return false;
    }
}

} // namespace verdal
