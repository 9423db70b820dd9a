// The page host: pages and their data from the resource table, the sizes the browser reports,
// widgets, nested views and the notifications reflected to their parents.
#include "engine/internal.h"
#include "engine/listview.h"
#include "platform/text.h"
#include "ui/page_host.h"
#include "ui/resources.h"
#include "ui/widgets.h"

#include <gtest/gtest.h>

#include <tuple>
#include <vector>

using namespace verdal;

namespace {

// A host that records what it hands to the engine instead of loading it.
class RecordingHost : public CPageHost {
public:
    RecordingHost() : CPageHost(engine::HANDLE_BEHAVIOR_EVENT, engine::ViewKind::Window) {}
    std::vector<std::u16string> provided;

    LRESULT Load(std::u16string uri) {
        engine::NMHL_LOAD_DATA record;
        record.hdr = NMHDR{Handle(), 0, engine::HLN_LOAD_DATA};
        record.uri = std::move(uri);
        return OnEngineNotify(record.hdr);
    }

protected:
    bool ProvideData(HWND, std::u16string_view uri, const void*, std::size_t) override {
        provided.emplace_back(uri);
        return true;
    }
};

struct HostFixture : ::testing::Test {
    RecordingHost host;
    void SetUp() override { ASSERT_NE(host.Create(0), 0); }
    void TearDown() override { DestroyWindow(host.Handle()); }

    // Loads a page and answers the control made for the widget with the id.
    HWND Widget(const char* html, int id) {
        EXPECT_TRUE(engine::LoadHtml(host.Handle(), html));
        return GetDlgItem(host.Handle(), id);
    }
};

TEST_F(HostFixture, LoadDataPagesAndMenusComeFromTheResourceTable) {
    EXPECT_EQ(host.Load(u""), 1);
    // A web scheme in capitals is no web URI for the host: the name after the last '/' counts. A
    // numeric name is no id, nor is a number too long for one (2^32 + 101 here).
    for (const char16_t* uri :
         {u"res:missing.png", u"http://example.invalid/dot.png", u"images/dot.png", u"res:DOT.PNG",
          u"HTTP://example.invalid/dot.png", u"res:101.html", u"res:#101.html",
          u"res:#4294967397.html"})
        EXPECT_EQ(host.Load(uri), 0) << Utf16ToUtf8(uri);
    // Only the first 259 characters name the resource.
    const std::u16string longUri = std::u16string(259 - 8, u'd') + u"/dot.png-and-more-cut-off";
    EXPECT_EQ(host.Load(longUri), 0);
    // What was found goes out without "res:", under the full URI.
    EXPECT_EQ(host.provided, (std::vector<std::u16string>{u"images/dot.png", u"DOT.PNG",
                                                          u"HTTP://example.invalid/dot.png",
                                                          u"#101.html", longUri}));

    // Pages and menus load by id, and missing ones fail.
    EXPECT_TRUE(host.LoadPage(101));
    EXPECT_EQ(GetText(ElementById(RootElement(host.Handle()), u"MsgText1")), u"line");
    EXPECT_FALSE(host.LoadPage(999));
    // LoadUrl takes what the load-data answer supplies; a web address supplies nothing here.
    EXPECT_FALSE(host.LoadUrl(u"https://example.invalid/page.html"));
    auto menu = LoadMenu(206);
    ASSERT_TRUE(menu.has_value());
    ASSERT_EQ(menu->popups.size(), 1u);
    EXPECT_EQ(menu->popups[0].title, u"TEST");
    ASSERT_EQ(menu->popups[0].items.size(), 3u);
    EXPECT_TRUE(menu->popups[0].items[1].separator);
    EXPECT_EQ(menu->popups[0].items[2].id, 501u);
    EXPECT_EQ(engine::EnableMenuItem(menu->popups[0], 501, engine::MF_DISABLED),
              static_cast<int>(engine::MF_ENABLED));
    EXPECT_TRUE(menu->popups[0].items[2].disabled);
    EXPECT_FALSE(LoadMenu(207).has_value());
    EXPECT_FALSE(ParseMenu("MENUITEM \"orphan\", 1").has_value());
}

TEST(PageHost, LoadUrlAndTheSizesTheBrowserReports) {
    CPageWnd page;
    ASSERT_NE(page.Create(0), 0);
    EXPECT_TRUE(page.LoadUrl(u"res:#101.html"));
    EXPECT_EQ(GetText(ElementById(RootElement(page.Handle()), u"MsgText1")), u"line");
    EXPECT_EQ(page.MinWindowWidth(), 0); // nothing measured yet
    engine::OnBrowserMessage(R"({"t":"size","hwnd":)" + std::to_string(page.Handle()) +
                             R"(,"w":280,"h":100})");
    EXPECT_EQ(page.MinWindowWidth(), 280);
    EXPECT_EQ(page.MinWindowHeight(280), 100);
    EXPECT_EQ(page.MinWindowHeight(200), 117); // a horizontal scroll bar joins
    DestroyWindow(page.Handle());
}

// Widgets get their class, styles and id from the keywords of both tables; unknown types get no
// control.
TEST_F(HostFixture, WidgetsGetTheirClassStylesAndIdAndUnknownTypesGetNone) {
    const HWND list = Widget(
        "<widget type='sys-listview' id='6001' REPORT OWNERDRAWFIXED singlesel></widget>", 6001);
    ASSERT_NE(list, 0);
    NativeWindowInfo info;
    ASSERT_TRUE(GetNativeWindowInfo(list, info));
    EXPECT_EQ(std::tie(info.className, info.style, info.exStyle, info.controlId),
              std::tuple(std::string("SysListView32"), 0x56010405u, 0u, 6001));
    EXPECT_EQ(GetParent(list), host.Handle());
    EXPECT_EQ(SendMessage(list, engine::LVM_GETEXTENDEDLISTVIEWSTYLE), 0);

    const HWND grid = Widget("<widget type='sys-listview' id='7' REPORT GRIDLINES></widget>", 7);
    EXPECT_EQ(SendMessage(grid, engine::LVM_GETEXTENDEDLISTVIEWSTYLE), engine::LVS_EX_GRIDLINES);

    const HWND edit = Widget("<widget type='sys-edit' id='5' RIGHT readonly></widget>", 5);
    ASSERT_TRUE(GetNativeWindowInfo(edit, info));
    EXPECT_EQ(std::pair(info.style, info.exStyle), std::pair(0x56010000u | 0x2u | 0x800u, 0x1000u));

    EXPECT_EQ(Widget("<widget type='SYS-LISTVIEW' id='8' REPORT></widget>", 8), 0);
    EXPECT_EQ(Widget("<widget id='9'></widget>", 9), 0);

    const HWND toolbar = Widget("<widget type='sys-tabctrl' id='10'></widget>", 10);
    ASSERT_TRUE(GetNativeWindowInfo(toolbar, info));
    EXPECT_EQ(info.className, "ToolbarWindow32");

    // The ActiveX host class is not registered: the record holds 1.
    engine::NMHL_CREATE_CONTROL record;
    ASSERT_TRUE(engine::LoadHtml(host.Handle(), "<widget type='sys-ie' id='11'></widget>"));
    record.helement = RootElement(host.Handle()).SelectFirst("widget");
    record.inHwndParent = host.Handle();
    EXPECT_EQ(host.OnCreateControl(record), 0);
    EXPECT_EQ(record.outControlHwnd, 1);
}

TEST_F(HostFixture, AnIframeGetsANestedViewShowingAPlaceholderOrItsSource) {
    const HWND empty = Widget("<iframe id='12'></iframe>", 12);
    ASSERT_NE(empty, 0);
    EXPECT_TRUE(engine::IsView(empty));
    const Element body = engine::ViewRoot(empty).SelectFirst("body");
    EXPECT_EQ(body.Attribute("leftmargin"), "1");
    EXPECT_EQ(body.Text(), "\xC2\xA0");

    // The nested view's data comes through its host, which answers with its own window.
    CPageHost loading(engine::HANDLE_BEHAVIOR_EVENT, engine::ViewKind::Window);
    ASSERT_NE(loading.Create(0), 0);
    ASSERT_TRUE(
        engine::LoadHtml(loading.Handle(), "<iframe id='13' src='res:#101.html'></iframe>"));
    const HWND nested = GetDlgItem(loading.Handle(), 13);
    ASSERT_NE(nested, 0);
    EXPECT_EQ(GetText(ElementById(engine::ViewRoot(nested), u"MsgText1")), u"line");
    DestroyWindow(loading.Handle());
    EXPECT_FALSE(IsWindow(nested));
}

// A child control that records what its parent reflects to it.
class Probe : public Window {
public:
    std::vector<UINT> seen;
    bool ProcessWindowMessage(HWND, UINT message, WPARAM, LPARAM, LRESULT& result) override {
        seen.push_back(message);
        result = 42;
        return true;
    }
};

TEST_F(HostFixture, ChildNotificationsAreReflected) {
    Probe probe;
    const HWND child = CreateWindowFor(probe, host.Handle());
    NMHDR header{child, 3, NM_RCLICK};
    EXPECT_EQ(SendMessage(host.Handle(), WM_NOTIFY, 3, reinterpret_cast<LPARAM>(&header)), 42);
    EXPECT_EQ(SendMessage(host.Handle(), WM_COMMAND, MAKEWPARAM(1, 0), child), 42);
    // A command from a menu names no control and stays unhandled.
    EXPECT_EQ(SendMessage(host.Handle(), WM_COMMAND, MAKEWPARAM(1, 0), 0), 0);
    EXPECT_EQ(probe.seen, (std::vector<UINT>{WM_CREATE, engine::OCM_BASE + WM_NOTIFY,
                                             engine::OCM_BASE + WM_COMMAND}));
}

} // namespace
