// The report list view's messages and the browser's events as the program receives them.
#include "engine/internal.h"
#include "platform/text.h"
#include "ui/page_host.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace verdal;
using namespace verdal::engine;

namespace {

// A main window that paints its lists' rows and records the events it is given.
class Host : public CPageHost {
public:
    Host() : CPageHost(HANDLE_BEHAVIOR_EVENT | HANDLE_KEY, ViewKind::Window) {}
    std::vector<std::string> events;
    std::vector<NMITEMACTIVATE> rightClicks;

    bool OnBehaviorEvent(BEHAVIOR_EVENT_PARAMS& params) override {
        // The mirror holds the browser's value before the handler runs.
        const auto values = GetNamedValues(RootElement(Handle()));
        events.push_back(std::to_string(params.cmd) + ":" + params.heTarget.Attribute("id") + ":" +
                         Utf16ToUtf8(values.at(u"country").ToString()) + ":" +
                         Utf16ToUtf8(values.at(u"opt").ToString()));
        return false;
    }
    bool OnKey(const Element&, KEY_PARAMS& params) override {
        events.push_back(
            "key " + std::to_string(params.key_code) + ":" + params.target.Attribute("id") + ":" +
            Utf16ToUtf8(GetNamedValues(RootElement(Handle())).at(u"keyword").ToString()));
        return true;
    }
    bool ProcessPageMessage(HWND, UINT message, WPARAM, LPARAM lParam, LRESULT& result) override {
        if (message != WM_NOTIFY)
            return false;
        rightClicks.push_back(*reinterpret_cast<const NMITEMACTIVATE*>(lParam));
        result = 0;
        return true;
    }
};

struct ListFixture : ::testing::Test {
    Host host;
    HWND devices = 0, catalogue = 0;

    void SetUp() override {
        ASSERT_NE(host.Create(0), 0);
        // The browser tests' page: the two lists and a control of each kind.
        ASSERT_TRUE(host.LoadPage(100));
        devices = GetDlgItem(host.Handle(), 6000);
        catalogue = GetDlgItem(host.Handle(), 6001);
        ASSERT_NE(devices, 0);
        ASSERT_NE(catalogue, 0);
        for (HWND list : {devices, catalogue}) {
            for (const char16_t* name : {u"NAME", u"COUNTRY"}) {
                LVCOLUMNW column{
                    .mask = LVCF_FMT | LVCF_WIDTH | LVCF_TEXT, .cx = 100, .pszText = name};
                SendMessage(list, LVM_INSERTCOLUMNW, 9, reinterpret_cast<LPARAM>(&column));
            }
        }
    }
    void TearDown() override { DestroyWindow(host.Handle()); }

    void Insert(HWND list, int count) {
        for (int i = 0; i < count; ++i) {
            const int index = static_cast<int>(SendMessage(list, LVM_GETITEMCOUNT));
            LVITEMW item{.mask = LVIF_PARAM, .iItem = index, .lParam = 100 + index};
            EXPECT_EQ(SendMessage(list, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item)),
                      item.iItem);
        }
    }
    void Select(HWND list, int index) {
        LVITEMW item{.state = LVIS_SELECTED, .stateMask = LVIS_SELECTED};
        SendMessage(list, LVM_SETITEMSTATE, static_cast<WPARAM>(index),
                    reinterpret_cast<LPARAM>(&item));
    }
    int NextSelected(HWND list, int from) {
        return static_cast<int>(
            SendMessage(list, LVM_GETNEXTITEM, static_cast<WPARAM>(from), LVNI_SELECTED));
    }
};

TEST_F(ListFixture, ItemsSelectionAndDataFollowTheMessages) {
    Insert(devices, 4);
    EXPECT_EQ(SendMessage(devices, LVM_GETITEMCOUNT), 4);
    Select(devices, 1);
    Select(devices, 3);
    EXPECT_EQ(SendMessage(devices, LVM_GETSELECTEDCOUNT), 2);
    EXPECT_EQ(NextSelected(devices, -1), 1);
    EXPECT_EQ(NextSelected(devices, 1), 3);
    EXPECT_EQ(NextSelected(devices, 3), -1);
    LVITEMW read{.mask = LVIF_PARAM, .iItem = 3};
    ASSERT_EQ(SendMessage(devices, LVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&read)), 1);
    EXPECT_EQ(read.lParam, 103);
    read.iItem = 4;
    EXPECT_EQ(SendMessage(devices, LVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&read)), 0);

    // One row at most in a SINGLESEL list.
    Insert(catalogue, 3);
    Select(catalogue, 0);
    Select(catalogue, 2);
    EXPECT_EQ(SendMessage(catalogue, LVM_GETSELECTEDCOUNT), 1);
    EXPECT_EQ(NextSelected(catalogue, -1), 2);

    EXPECT_EQ(SendMessage(devices, LVM_DELETEALLITEMS), 1);
    EXPECT_EQ(SendMessage(devices, LVM_GETITEMCOUNT), 0);
    EXPECT_EQ(NextSelected(devices, -1), -1);
    EXPECT_EQ(
        SendMessage(devices, LVM_SETEXTENDEDLISTVIEWSTYLE, LVS_EX_GRIDLINES, LVS_EX_GRIDLINES), 0);
    EXPECT_EQ(SendMessage(devices, LVM_GETEXTENDEDLISTVIEWSTYLE), LVS_EX_GRIDLINES);
}

TEST_F(ListFixture, OwnerDrawnRowsArePaintedThroughTheReflectedDrawMessage) {
    std::vector<LPARAM> painted;
    SubclassListView(
        catalogue, [&](HWND hwnd, UINT message, WPARAM, LPARAM lParam, LRESULT& result) {
            if (message != OCM_BASE + WM_DRAWITEM)
                return false;
            auto* draw = reinterpret_cast<DRAWITEMSTRUCT*>(lParam);
            painted.push_back(draw->itemData);
            for (WPARAM column = 0; column < 2; ++column) {
                RECT cell;
                SendMessage(hwnd, HDM_GETITEMRECT, column, reinterpret_cast<LPARAM>(&cell));
                cell.left += 2;
                draw->hDC->DrawText(
                    cell, column == 0 ? u"name " + std::u16string(1, u'0' + (draw->itemData % 10))
                                      : u"land");
            }
            result = 1;
            return true;
        });
    Insert(catalogue, 3);
    ListView* list = FindListView(catalogue);
    ASSERT_NE(list, nullptr);
    list->PaintTexts();
    ASSERT_EQ(painted.size(), 3u);
    EXPECT_EQ(painted[2], 102);
    EXPECT_EQ(list->items[1].shown, (std::vector<std::u16string>{u"name 1", u"land"}));
    // The device list has no painter: its rows show the texts they were given.
    LVITEMW item{.mask = LVIF_TEXT | LVIF_PARAM, .pszText = const_cast<char16_t*>(u"plain")};
    SendMessage(devices, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item));
    FindListView(devices)->PaintTexts();
    EXPECT_EQ(FindListView(devices)->items[0].shown.at(0), u"plain");
}

TEST_F(ListFixture, BrowserSelectionAndRightClickReachTheParent) {
    Insert(catalogue, 5);
    const std::string list = std::to_string(catalogue);
    OnBrowserMessage(R"({"t":"lvsel","hwnd":)" + list + R"(,"sel":[4,1],"focus":4})");
    EXPECT_EQ(SendMessage(catalogue, LVM_GETSELECTEDCOUNT), 1); // single selection keeps one
    OnBrowserMessage(R"({"t":"lvsel","hwnd":)" + list + R"(,"sel":[3],"focus":3})");
    OnBrowserMessage(R"({"t":"lvrclick","hwnd":)" + list + R"(,"item":3,"x":40,"y":50})");
    ASSERT_EQ(host.rightClicks.size(), 1u);
    EXPECT_EQ(host.rightClicks[0].hdr.code, NM_RCLICK);
    EXPECT_EQ(host.rightClicks[0].hdr.idFrom, 6001u);
    EXPECT_EQ(host.rightClicks[0].iItem, 3);
    EXPECT_EQ(host.rightClicks[0].lParam, 103);
    EXPECT_EQ(GetMessagePos().x, 40);
    EXPECT_EQ(NextSelected(catalogue, -1), 3);
}

TEST_F(ListFixture, ElementEventsReachTheHandlerAfterTheMirrorTookTheValues) {
    const Element root = RootElement(host.Handle());
    const std::string view = std::to_string(host.Handle());
    auto message = [&](const std::string& type, const char* id, const std::string& extra) {
        OnBrowserMessage(R"({"t":")" + type + R"(","hwnd":)" + view + R"(,"id":)" +
                         std::to_string(ElementById(root, Utf8ToUtf16(id)).Uid()) + extra + "}");
    };
    message("change", "country", R"(,"value":"1")");
    message("click", "opt", R"(,"checked":true)");
    message("click", "go", "");
    message("click", "off", ""); // disabled: nothing
    message("input", "keyword", R"(,"value":"abc")");
    message("key", "keyword", R"(,"key":13,"value":"abcd")");
    // The check box gives the state change, then the click; the disabled button nothing.
    EXPECT_EQ(host.events,
              (std::vector<std::string>{"5:country:1:false", "2:opt:1:true", "0:opt:1:true",
                                        "0:go:1:true", "4:keyword:1:true", "key 13:keyword:abcd"}));

    // Messages of the wrong shape change nothing and end nothing.
    for (const char* bad :
         {"", "[1,2]", "{\"t\":\"click\",\"hwnd\":\"x\"}", "{\"t\":\"click\",\"x\":null}",
          "{\"t\":\"lvsel\",\"hwnd\":1,\"sel\":\"all\"}", "{\"t\":\"menu\",\"token\":[]}",
          "not json"})
        OnBrowserMessage(bad);
    EXPECT_EQ(host.events.size(), 6u);
    // A position that is no number is ignored; the click still counts.
    message("click", "go", R"(,"x":"left","y":2)");
    EXPECT_EQ(host.events.size(), 7u);
}

} // namespace
