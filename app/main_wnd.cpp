// The main window: start-up and shutdown of the window, its message table, the status message,
// the page's buttons, and the lists' menus with their commands.
#include "app/main_wnd.h"

#include "app/dialogs.h"
#include "app/status_table.h"
#include "device/connection.h"
#include "device/port_discovery.h"
#include "device/port_watcher.h"
#include "device/serial.h"
#include "engine/listview.h"
#include "platform/language.h"
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

LRESULT CMainWnd::OnCreate() {
    bool databaseOpen = false;
    try {
        LoadSettings();
        OpenCourseDatabase();
        EnsureCourseTable();
        databaseOpen = true;
    } catch (const std::exception& error) {
        std::fputs(
            Format(Tr("verdal: the course database cannot be used: %s\n"), error.what()).c_str(),
            stderr);
    }
    LoadPage(kMainPage);
    lists_.SetUp(Handle());
    device_.Attach(Handle());
    search_.Attach(Handle());
    mainPage_.Attach(Handle());
    mainPage_.SetPortSelection(CopySettings().comIndex);
    mainPage_.SetFilters(Filters::Disabled);
    if (databaseOpen)
        locationFilter_.Start(Handle());
    if (databaseOpen) {
        device_.StartConnect(offer_);
        hotplug_.Start(Handle());
    } else {
        mainPage_.SetStatusText(Utf8ToUtf16(Tr("DATABASE ERROR")).c_str());
        mainPage_.SetConnectButtons(ConnectButtons::NotConnected);
    }
    return 0;
}

void CMainWnd::OnDestroy() {
    // The workers use the database and the device link: they end before either goes. A
    // progress dialog further down the stack may still hold its worker; it is joined here all
    // the same, and its dialog dies with this window.
    hotplug_.Stop();
    workers_.StopAndJoinAll();
    lists_.ClearCatalogue();
    lists_.ClearDeviceList();
    CourseDatabase().close();
    DisconnectDevice();
    PostQuitMessage(0);
}

LRESULT CMainWnd::OnStatus(WPARAM code, LPARAM text) {
    const StatusRow* row = FindStatus(code);
    if (!row)
        return 0;
    if (row->code == StatusCode::CourseStored) {
        mainPage_.SetStatusText(ShownText(Utf8ToUtf16(StatusText(text))).c_str());
    } else if (row->code == StatusCode::NotConnected) {
        mainPage_.SetStatusText(NotConnectedText(StatusReasonOf(text)).c_str());
    } else if (row->code == StatusCode::UpdateError) {
        mainPage_.SetStatusText(UpdateErrorText(StatusText(text)).c_str());
    } else if (row->code == StatusCode::ServerNotConnected) {
        mainPage_.SetStatusText(ServerNotConnectedText(StatusText(text)).c_str());
    } else {
        mainPage_.SetStatusText(Utf8ToUtf16(StatusLineText(code)).c_str());
    }
    if (row->buttons)
        mainPage_.SetConnectButtons(*row->buttons);
    switch (row->effect) {
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

void CMainWnd::ShowDeviceState() {
    mainPage_.SetFilters(Filters::Enabled);
    device_.ShowCourses();
    mainPage_.ShowSerialNumber(CopySettings().serialNumber);
}

bool CMainWnd::ShowSelectedCourseInfo() {
    const CourseTexts* course = lists_.SelectedCourse();
    if (!course)
        return false;
    ShowCourseInfo(*course, Handle());
    return true;
}

void CMainWnd::OnConnectClick() {
    if (device_.InUse())
        return; // one device exchange at a time
    mainPage_.SetConnectButtons(ConnectButtons::Connecting);
    const NamedValues values = GetNamedValues(RootElement(Handle()));
    int port = 0;
    if (const auto found = values.find(u"comport"); found != values.end())
        port = static_cast<int>(
            std::strtol(Utf16ToAnsi(found->second.ToString()).c_str(), nullptr, 10));
    ChangeSettings([port](Settings& settings) { settings.comIndex = port; });
    SaveSettings();
    hotplug_.Accepted();
    device_.StartConnect(offer_);
}

void CMainWnd::OnDisconnectClick() {
    if (device_.InUse())
        return; // the link belongs to the worker that uses it
    hotplug_.Declined(Serial::Instance().PortName());
    PostStatus(Handle(), StatusCode::NotConnected);
    PostMessage(Handle(), kDisconnectMessage);
    device_.Forget();
    mainPage_.SetFilters(Filters::Disabled);
    mainPage_.SetConnectButtons(ConnectButtons::NotConnected);
}

void CMainWnd::OnPorts(std::vector<std::string> present) {
    Serial& serial = Serial::Instance();
    if (serial.IsOpen() && !PortPresent(serial.PortName())) {
        serial.CloseAsLost();
        OnLinkLost();
    }
    // The listing was taken a moment ago: a port gone since, as a lost link's may be, is not
    // present.
    std::erase_if(present, [](const std::string& port) { return !PortPresent(port); });
    const Settings settings = CopySettings();
    hotplug_.Listed(present, [&settings](const std::string& port) {
        return ConnectsByItself(port, CurrentPortSearch(), settings.comIndex, settings.adapter);
    });
    // A loss that nothing in use said (it came as the link's last connect or operation ended).
    device_.LinkLost();
    StartDueConnect();
}

void CMainWnd::StartDueConnect() {
    // It waits for the dialog to close and for the link to be free; a device connected already
    // leaves nothing to connect.
    if (ModalDialogOpen() || device_.InUse())
        return;
    std::vector<std::string> ports = hotplug_.TakeDue();
    if (ports.empty() || Serial::Instance().IsOpen())
        return;
    mainPage_.SetConnectButtons(ConnectButtons::Connecting);
    device_.StartConnect(offer_, std::move(ports));
}

void CMainWnd::OnLinkLost() {
    hotplug_.Lost(Serial::Instance().PortName());
    device_.LinkLost();
}

void CMainWnd::OnUpdateClick() {
    const HWND main = Handle();
    RunWithProgress(
        Utf8ToUtf16(Tr("Update GOF File...")), ProgressBar::Shown, main, workers_,
        [main, current = offer_.Get()](HWND page, std::stop_token stop) {
            RunCatalogueUpdate(main, current, page, stop);
        },
        StopButton::Shown);
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
            locationFilter_.OnCountryChanged();
        else if (params.cmd == BUTTON_CLICK && id == page201::kSearch)
            search_.Run();
    } catch (...) {
        ReportFailure(Handle(), "page event");
    }
    return false;
}

bool CMainWnd::OnKey(const Element& he, KEY_PARAMS& params) {
    try {
        return search_.OnKey(params.target ? params.target : he, params.cmd, params.key_code);
    } catch (...) {
        ReportFailure(Handle(), "search key");
        return false;
    }
}

std::optional<Menu> CMainWnd::DeviceListMenu() const {
    return lists_.DeviceMenu(device_.LinkState());
}

std::optional<Menu> CMainWnd::CatalogueListMenu() const {
    return lists_.CatalogueMenu(device_.LinkState(), device_.Capacity());
}

bool CMainWnd::OnListMenu(const NMHDR& header) {
    if (header.code != NM_RCLICK)
        return false;
    std::optional<Menu> popup;
    if (header.idFrom == kDeviceListId)
        popup = DeviceListMenu();
    else if (header.idFrom == kCatalogueListId)
        popup = CatalogueListMenu();
    else
        return false;
    if (popup) {
        const POINT at = GetMessagePos();
        TrackPopupMenu(*popup, TPM_LEFTBUTTON, at.x, at.y, Handle());
    }
    return true;
}

bool CMainWnd::OnCommand(unsigned command) {
    switch (command) {
    case ID_COURSE_INFORMATION:
        ShowSelectedCourseInfo();
        return true;
    case ID_ADD_TO_DEVICE:
        if (const CourseTexts* course = lists_.SelectedCourse())
            device_.Add(*course);
        return true;
    case ID_REMOVE_COURSE:
        device_.Remove(lists_.SelectedDeviceNames());
        return true;
    case ID_REMOVE_ALL_COURSE:
        device_.RemoveAll();
        return true;
    default:
        return false;
    }
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
        if (const auto* state = reinterpret_cast<const DeviceState*>(lParam))
            device_.Take(*state);
        result = 0;
        return true;
    case kConnectFailedMessage:
        device_.ConnectFailed();
        StartDueConnect();
        result = 0;
        return true;
    case kDisconnectMessage:
        DisconnectDevice();
        result = 0;
        return true;
    case kPortsMessage:
        if (const auto* present = reinterpret_cast<const std::vector<std::string>*>(lParam))
            OnPorts(*present);
        result = 0;
        return true;
    case kLinkLostMessage:
        OnLinkLost();
        result = 0;
        return true;
    case kCatalogueRowsMessage:
        if (auto* rows = reinterpret_cast<CatalogueRows*>(lParam)) {
            for (auto& row : *rows)
                lists_.AddCatalogueRow(std::move(row));
            rows->clear();
        }
        result = 0;
        return true;
    case WM_NOTIFY:
        result = 0;
        return OnListMenu(*reinterpret_cast<const NMHDR*>(lParam));
    case WM_COMMAND:
        result = 0;
        return OnCommand(LOWORD(wParam));
    default:
        return false;
    }
}

} // namespace verdal
