// The main window driven through its handlers on the window system, read back from the page:
// the status table, the button rules at each moment, the device info line, the device list and
// the lists' menus.
#include "app/main_wnd.h"
#include "app/status_table.h"
#include "app_test_support.h"
#include "device/port_discovery.h"
#include "platform/data_dir.h"
#include "platform/messages.h"
#include "platform/text.h"
#include "store/settings.h"
#include "store/sqlite_exception.h"
#include "tests/support/device_harness.h"
#include "tests/support/programs.h"
#include "tests/support/temp_folder.h"
#include "update/update_workflow.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <stdexcept>

using namespace verdal;
using namespace verdal::engine;
using namespace verdal::test;

namespace {

struct MainWindowTest : ::testing::Test {
    std::unique_ptr<CMainWnd> window = std::make_unique<CMainWnd>();
    CMainWnd& main = *window;
    HWND hwnd = 0;

    // Creates the window; a test prepares what it is to find at start-up first.
    void Open() {
        hwnd = main.Create(0);
        ASSERT_NE(hwnd, 0);
    }
    void TearDown() override {
        DestroyWindow(hwnd);
        DrainQueue();
    }

    // Waits for the connect worker, which finds no device.
    void AwaitNotConnected() {
        main.Device().WaitForConnect();
        ASSERT_TRUE(PumpUntil(hwnd, [&] { return !Disabled(hwnd, u"reconnect"); }));
        EXPECT_EQ(TextOf(hwnd, u"message"), u"DEVICE NOT CONNECTED");
    }

    void Connected(std::int32_t capacity, std::vector<std::u16string> names) {
        DeviceState state{capacity, {}};
        for (const auto& name : names)
            state.courses.Add(name);
        main.Device().Take(state);
        ChangeSettings([](Settings& settings) { settings.serialNumber = u"VD2012-000417"; });
        main.OnStatus(static_cast<WPARAM>(StatusCode::Connected), 0);
    }

    // The buttons as each state of the button rules shows them: "Connect" shown and enabled,
    // "Disconnect" shown, the port select enabled.
    void ExpectButtons(ConnectButtons state) {
        const bool connected = state == ConnectButtons::Connected;
        EXPECT_EQ(Shown(hwnd, u"reconnect"), !connected);
        EXPECT_EQ(!Disabled(hwnd, u"reconnect"), state == ConnectButtons::NotConnected);
        EXPECT_EQ(Shown(hwnd, u"disconnect"), connected);
        EXPECT_EQ(!Disabled(hwnd, u"comport"), state == ConnectButtons::NotConnected);
    }
    void ExpectFilters(Filters state) {
        for (const char16_t* id : {u"country", u"city", u"search", u"updategof", u"keyword"})
            EXPECT_EQ(Disabled(hwnd, id), state == Filters::Disabled) << Utf16ToUtf8(id);
    }
    void ExpectPlaceholders() {
        EXPECT_EQ(TextOf(hwnd, u"cfnumber"), u"DEVICE CAPACITY: x/xx");
        EXPECT_EQ(TextOf(hwnd, u"snnumber"), u"S/N:");
    }

    // A catalogue row of the course, whose texts are written as the record holds them.
    void AddRow(CourseTexts course) {
        main.Lists().AddCatalogueRow(std::make_unique<CourseTexts>(std::move(course)));
    }
};

TEST_F(MainWindowTest, StatusTableSetsTextButtonsAndEffects) {
    Open();
    // End of start-up: nothing can be pressed until the first connect worker reports.
    ExpectButtons(ConnectButtons::Connecting);
    ExpectFilters(Filters::Disabled);
    ExpectPlaceholders();
    AwaitNotConnected();

    // The connecting and update texts leave the buttons as they were; a failure to connect or to
    // reach the server offers "Connect" again. The search controls stay as they were.
    struct Expected {
        StatusCode code;
        const char16_t* text;
        ConnectButtons buttons;
    };
    for (const Expected& row :
         {Expected{StatusCode::Connecting, u"CONNECTING TO DEVICE", ConnectButtons::Connecting},
          {StatusCode::ConnectingServer, u"CONNECTING TO SERVER", ConnectButtons::Connecting},
          {StatusCode::UpdateCompleted, u"UPDATE GOF FILE COMPLETED", ConnectButtons::Connecting},
          {StatusCode::UpdateError, u"UPDATE GOF FILE ERROR", ConnectButtons::Connecting},
          {StatusCode::NotConnected, u"DEVICE NOT CONNECTED", ConnectButtons::NotConnected},
          {StatusCode::SerialNumberError, u"DEVICE SN ERROR", ConnectButtons::NotConnected},
          {StatusCode::ServerNotConnected, u"SERVER NOT CONNECTED",
           ConnectButtons::NotConnected}}) {
        main.Page().SetConnectButtons(ConnectButtons::Connecting);
        main.OnStatus(static_cast<WPARAM>(row.code), 0);
        EXPECT_EQ(TextOf(hwnd, u"message"), row.text);
        ExpectButtons(row.buttons);
        ExpectFilters(Filters::Disabled);
    }

    // 9 shows the name it carries as written (the merge sends it quotes doubled, as the record
    // holds it); the buttons stay.
    const StatusReason name{"Bishop''s Creek \xc3\xa9t\xc3\xa9"};
    main.OnStatus(static_cast<WPARAM>(StatusCode::CourseStored), reinterpret_cast<LPARAM>(&name));
    EXPECT_EQ(TextOf(hwnd, u"message"), u"Bishop's Creek \u00e9t\u00e9");
    ExpectButtons(ConnectButtons::NotConnected);

    // A failure shows why, as its status carries it.
    const StatusReason why{"the disk is full (update.xml)"};
    main.OnStatus(static_cast<WPARAM>(StatusCode::UpdateError), reinterpret_cast<LPARAM>(&why));
    EXPECT_EQ(TextOf(hwnd, u"message"), u"UPDATE GOF FILE ERROR - the disk is full (update.xml)");

    // 0, 13 and the gaps of the table change nothing at all.
    const std::string before = RootElement(hwnd).OuterHtml();
    for (WPARAM code : {0, 6, 7, 8, 13, 2024})
        EXPECT_EQ(main.OnStatus(code, reinterpret_cast<LPARAM>(&name)), 0);
    EXPECT_EQ(RootElement(hwnd).OuterHtml(), before);

    // 10: connected, with the device's capacity, course count and serial number.
    Connected(20, {u"Heron Lakes", u"@Fuji", u"18 Holes"});
    EXPECT_EQ(TextOf(hwnd, u"message"), u"DEVICE CONNECTED");
    ExpectButtons(ConnectButtons::Connected);
    ExpectFilters(Filters::Enabled);
    EXPECT_EQ(TextOf(hwnd, u"cfnumber"), u"DEVICE CAPACITY: 3/20");
    EXPECT_EQ(TextOf(hwnd, u"snnumber"), u"S/N: VD2012-000417");

    // A device lost after 10 offers "Connect" again but keeps the search usable.
    main.OnStatus(static_cast<WPARAM>(StatusCode::NotConnected), 0);
    ExpectButtons(ConnectButtons::NotConnected);
    ExpectFilters(Filters::Enabled);
}

// The stored port here is one the select does not offer ("Auto" is 99, then 0 to 20): the page
// comes up with none of the options chosen, so the select shows its first, "Auto", and Connect
// reads that.
TEST_F(MainWindowTest, ButtonRulesAndThePortSelectFollowConnectAndDisconnect) {
    ChangeSettings([](Settings& settings) { settings.comIndex = 25; });
    SaveSettings();
    Open();
    AwaitNotConnected();
    EXPECT_EQ(CopySettings().comIndex, 25);
    const std::string select = ElementById(RootElement(hwnd), u"comport").OuterHtml();
    EXPECT_EQ(select.find("selected"), std::string::npos) << select;
    EXPECT_EQ(GetNamedValues(RootElement(hwnd)).at(u"comport").ToString(), u"99");
    main.OnConnectClick();
    ExpectButtons(ConnectButtons::Connecting);
    EXPECT_EQ(CopySettings().comIndex, 99);
    AwaitNotConnected();

    Connected(20, {u"Alpha"});
    main.OnDisconnectClick();
    // The list empties at once, before the device is told anything.
    EXPECT_EQ(SendMessage(main.Lists().DeviceList(), LVM_GETITEMCOUNT), 0);
    EXPECT_EQ(main.Device().Courses().Count(), 0u);
    ExpectButtons(ConnectButtons::NotConnected);
    ExpectFilters(Filters::Disabled);
    ExpectPlaceholders();
    ASSERT_TRUE(
        PumpUntil(hwnd, [&] { return TextOf(hwnd, u"message") == u"DEVICE NOT CONNECTED"; }));
    // The stored port is chosen in the select.
    main.Page().SetPortSelection(5);
    EXPECT_EQ(GetNamedValues(RootElement(hwnd)).at(u"comport").ToString(), u"5");
}

TEST_F(MainWindowTest, DeviceListIsSortedWithoutDuplicatesAndKeepsItsOwnNames) {
    Open();
    AwaitNotConnected();
    Connected(20, {u"Heron Lakes", u"@Fuji", u"18 Holes", u"Heron Lakes", u"apple"});
    // Twice from the same list: still one row a name. Removing a name it lacks takes none.
    DeviceState again{20, main.Device().Courses()};
    again.courses.Remove(u"Heron");
    main.Device().Take(again);
    main.OnStatus(static_cast<WPARAM>(StatusCode::Connected), 0);
    // The "@" sorts after digits and before letters, and is not shown; lower case comes last.
    EXPECT_EQ(PaintedRows(main.Lists().DeviceList(), 1),
              (std::vector<std::vector<std::u16string>>{
                  {u"18 Holes"}, {u"Fuji"}, {u"Heron Lakes"}, {u"apple"}}));
    EXPECT_EQ(TextOf(hwnd, u"cfnumber"), u"DEVICE CAPACITY: 4/20");

    // A device operation removes entries while the rows are still up: they paint their own copy.
    main.Device().Take({20, {}});
    EXPECT_EQ(PaintedRows(main.Lists().DeviceList(), 1)[2],
              std::vector<std::u16string>{u"Heron Lakes"});
    main.Device().ShowCourses();
    EXPECT_TRUE(PaintedRows(main.Lists().DeviceList(), 1).empty());
    EXPECT_EQ(TextOf(hwnd, u"cfnumber"), u"DEVICE CAPACITY: 0/20");
}

// Whether the menu's entry is enabled; a missing menu or entry fails the test.
bool Enabled(const std::optional<Menu>& menu, unsigned id) {
    for (const MenuItem& item : menu.value().items)
        if (item.id == id)
            return !item.disabled;
    ADD_FAILURE() << "no entry " << id;
    return false;
}

TEST_F(MainWindowTest, MenusEnableTheirEntriesAsTheListsStand) {
    Open();
    AwaitNotConnected();
    EXPECT_EQ(main.DeviceListMenu().value().title, u"Device");
    EXPECT_FALSE(Enabled(main.DeviceListMenu(), ID_REMOVE_COURSE));
    EXPECT_FALSE(Enabled(main.DeviceListMenu(), ID_REMOVE_ALL_COURSE));

    Connected(3, {u"A", u"B", u"C"});
    EXPECT_FALSE(Enabled(main.DeviceListMenu(), ID_REMOVE_COURSE)); // nothing selected
    EXPECT_TRUE(Enabled(main.DeviceListMenu(), ID_REMOVE_ALL_COURSE));
    Select(main.Lists().DeviceList(), 1);
    EXPECT_TRUE(Enabled(main.DeviceListMenu(), ID_REMOVE_COURSE));

    AddRow({.name = "O''Hara Links",
            .country = "C\xC3\xB4te d''Ivoire",
            .city = "Lagunes d''Abidjan"});
    EXPECT_EQ(main.CatalogueListMenu().value().title, u"GOLF");
    EXPECT_FALSE(Enabled(main.CatalogueListMenu(), ID_ADD_TO_DEVICE)); // nothing selected
    EXPECT_TRUE(Enabled(main.CatalogueListMenu(), ID_COURSE_INFORMATION));
    EXPECT_FALSE(main.ShowSelectedCourseInfo()); // nothing opens without a selection

    Select(main.Lists().CatalogueList(), 0);
    EXPECT_FALSE(Enabled(main.CatalogueListMenu(), ID_ADD_TO_DEVICE)); // capacity reached
    main.Device().Take({4, main.Device().Courses()});
    EXPECT_TRUE(Enabled(main.CatalogueListMenu(), ID_ADD_TO_DEVICE));
    // After "Disconnect" the capacity stays while the list is empty: adding is offered again.
    main.OnDisconnectClick();
    main.Device().Take({3, main.Device().Courses()});
    EXPECT_TRUE(Enabled(main.CatalogueListMenu(), ID_ADD_TO_DEVICE));

    // Catalogue rows paint the record's texts as written, though the record holds them doubled.
    const auto rows = PaintedRows(main.Lists().CatalogueList(), 3);
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0], (std::vector<std::u16string>{u"O'Hara Links", u"C\u00f4te d'Ivoire",
                                                    u"Lagunes d'Abidjan"}));
    main.Lists().ClearCatalogue();
    EXPECT_EQ(SendMessage(main.Lists().CatalogueList(), LVM_GETITEMCOUNT), 0);
}

// A catalogue row whose course is gone from the table since the search: "Add to Device" says so
// and leaves the device alone.
TEST_F(MainWindowTest, AddingACourseGoneFromTheCatalogueSaysSo) {
    Open();
    AwaitNotConnected();
    Connected(5, {u"A"});
    AddRow({.objid = 999999, .name = "Gone Links"}); // an id no test stores
    Select(main.Lists().CatalogueList(), 0);
    SendMessage(hwnd, WM_COMMAND, ID_ADD_TO_DEVICE);
    EXPECT_EQ(TextOf(hwnd, u"message"), u"COURSE NOT FOUND");
    EXPECT_EQ(main.Device().Courses().Count(), 1u);
    main.Lists().ClearCatalogue();
}

// golf.db cannot be opened (a folder stands in its place): the page still comes up, says so, and
// offers "Connect".
TEST_F(MainWindowTest, ADatabaseThatCannotBeOpenedLeavesThePageUpWithDatabaseError) {
    const std::string dataDir = DataDir();
    test::TempDataFolder folder;
    std::filesystem::create_directories(folder / "golf.db/inside");
    Open();
    EXPECT_EQ(TextOf(hwnd, u"message"), u"DATABASE ERROR");
    ExpectButtons(ConnectButtons::NotConnected);
    ExpectPlaceholders();
    DestroyWindow(hwnd);
    DrainQueue();
    SetDataDir(dataDir);
}

// A device that never answers, used as the port outright: what the program wrote to it can be
// read back.
struct SilentDevice : test::FakeDevice {
    const PortSearch saved = CurrentPortSearch();
    SilentDevice() { SetPortSearch({saved.devDir, saved.sysDir, Path()}); }
    ~SilentDevice() { SetPortSearch(saved); }
};

// While the device is being connected the link is the connect worker's: the device operations
// are disabled in the menus and refused when they arrive anyway, and so is a second Connect.
// When the window goes it stops and joins the worker before it lets go of the link, so the
// worker's handshake comes first and the shutdown's own probe second, and nothing is used after
// it is freed.
TEST_F(MainWindowTest, TheConnectWorkerHasTheLinkAloneAndIsJoinedWhenTheWindowGoes) {
    SilentDevice device;
    Open();
    ASSERT_EQ(device.Read(6), "$FCON\r");
    ASSERT_TRUE(main.Device().Connecting());
    // A list as a previous connection left it, a selected row in each list, and room.
    DeviceState previous{5, {}};
    previous.courses.Add(u"Augusta");
    main.Device().Take(previous);
    main.Device().ShowCourses();
    Select(main.Lists().DeviceList(), 0);
    AddRow({.name = "Bay Hill"});
    Select(main.Lists().CatalogueList(), 0);

    EXPECT_FALSE(Enabled(main.CatalogueListMenu(), ID_ADD_TO_DEVICE));
    EXPECT_FALSE(Enabled(main.DeviceListMenu(), ID_REMOVE_COURSE));
    EXPECT_FALSE(Enabled(main.DeviceListMenu(), ID_REMOVE_ALL_COURSE));
    // Each returns at once: a dialog would wait here for a worker that never ends it.
    for (unsigned command : {ID_ADD_TO_DEVICE, ID_REMOVE_COURSE, ID_REMOVE_ALL_COURSE})
        SendMessage(hwnd, WM_COMMAND, command);
    CatalogueOffer offer;
    EXPECT_FALSE(main.Device().StartConnect(offer));
    EXPECT_TRUE(main.Device().Connecting());
    EXPECT_EQ(main.Device().Courses().Names(), std::vector<std::u16string>{u"Augusta"});

    DestroyWindow(hwnd);
    EXPECT_FALSE(main.Device().Connecting());
    window.reset();
    DrainQueue();
    // After the worker's handshake, only the shutdown's probe.
    EXPECT_EQ(device.ReadUntilQuiet(), "$FCON\r");
}

// A connect that fails leaves no capacity behind: "Add to Device" is never judged against the
// room of the device connected before.
TEST_F(MainWindowTest, AFailedConnectForgetsTheLastDevicesCapacity) {
    Open();
    AwaitNotConnected();
    Connected(5, {u"A"});
    ASSERT_EQ(main.Device().Capacity(), 5);
    CatalogueOffer offer;
    ASSERT_TRUE(main.Device().StartConnect(offer));
    AwaitNotConnected();
    DrainQueue();
    EXPECT_EQ(main.Device().Capacity(), 0);

    // A connect worker that fails leaves its reason on the status line.
    try {
        throw CppSQLite3Exception(11, "database disk image is malformed");
    } catch (...) {
        ReportConnectFailure(hwnd);
    }
    DrainQueue();
    EXPECT_EQ(TextOf(hwnd, u"message"), u"DATABASE ERROR");
    ExpectButtons(ConnectButtons::NotConnected);
}

// A window whose one message throws, as a failing handler would inside a dialog's loop.
struct Thrower : Window {
    static constexpr UINT kThrow = WM_USER + 77;
    bool ProcessWindowMessage(HWND, UINT message, WPARAM, LPARAM, LRESULT&) override {
        if (message == kThrow)
            throw std::runtime_error("a handler failed");
        return false;
    }
};

// A failure inside a device operation's dialog ends that operation, its dialog and its worker,
// and leaves the device free for the next one.
TEST_F(MainWindowTest, AnOperationThatFailsLeavesTheDeviceFreeForTheNext) {
    TempFolder folder;
    Simulator device(folder / "ttyUSB0", {"--course", "Augusta", "--course", "Bay Hill"});
    CatalogueService service;
    const PortSearch saved = CurrentPortSearch();
    SetPortSearch({saved.devDir, saved.sysDir, device.Link()});
    SetServerOverride(service.Base());
    Open();
    ASSERT_TRUE(PumpUntil(hwnd, [&] { return TextOf(hwnd, u"message") == u"DEVICE CONNECTED"; }));
    main.Device().WaitForConnect(); // it may still be returning after its last status
    Select(main.Lists().DeviceList(), 0);

    Thrower thrower;
    CreateWindowFor(thrower, 0);
    PostMessage(thrower.Handle(), Thrower::kThrow);
    SendMessage(hwnd, WM_COMMAND, ID_REMOVE_COURSE);
    EXPECT_FALSE(main.Device().InUse());
    // The list is what the device holds, whether the worker got to remove the course or not,
    // and the next operation runs.
    const std::size_t held = main.Device().Courses().Count();
    ASSERT_GE(held, 1u);
    main.Device().ShowCourses();
    Select(main.Lists().DeviceList(), 0);
    SendMessage(hwnd, WM_COMMAND, ID_REMOVE_COURSE);
    EXPECT_EQ(main.Device().Courses().Count(), held - 1);

    DestroyWindow(thrower.Handle());
    DestroyWindow(hwnd);
    DrainQueue();
    SetServerOverride("");
    SetPortSearch(saved);
}

TEST(NotConnectedText, NamesTheRemedyOrTheHolderOnlyForAPortThatCannotBeOpened) {
    EXPECT_EQ(NotConnectedText({"no device answered", ReasonKind::Aside}), u"DEVICE NOT CONNECTED");
    for (const StatusReason& why :
         {StatusReason{"/dev/ttyUSB0: Permission denied (replug the device for the udev rule, "
                       "or join group 'dialout' and log in again)",
                       ReasonKind::Shown},
          StatusReason{"/dev/ttyUSB0: the device is in use by verdal (pid 42)",
                       ReasonKind::PortHeld}})
        EXPECT_EQ(NotConnectedText(why), u"DEVICE NOT CONNECTED - " + Utf8ToUtf16(why.text));
}

} // namespace
