// A small program that serves the test pages through the engine, for the browser tests and the
// benchmarks. It prints its start address on one line and runs until the browser is gone or a
// signal arrives.
//
//   page_test_host [--listen 127.0.0.1:PORT] [--no-browser] [--grace MS] [--rows N]
#include "engine/engine_object.h"
#include "engine/listview.h"
#include "platform/text.h"
#include "ui/list_rows.h"
#include "ui/page_host.h"
#include "ui/resources.h"

#include <array>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

using namespace verdal;
using namespace verdal::engine;

namespace {

constexpr int kDeviceList = 6000;
constexpr int kCatalogueList = 6001;
constexpr unsigned kCommandOne = 500;

using Row = std::array<std::u16string, 3>;

// A message dialog: beeps, shows its line, ends with the button's code (0 when it has none).
class TestMsgWnd : public CPageWnd {
public:
    void OnShown() override {
        MessageBeep(0xFFFFFFFF);
        SetText(ElementById(RootElement(Handle()), u"MsgText1"), u"Hello from the dialog");
    }
    bool OnBehaviorEvent(BEHAVIOR_EVENT_PARAMS& params) override {
        if (params.cmd != BUTTON_CLICK)
            return false;
        const std::u16string id = GetAttribute(params.heTarget, "id");
        if (id == u"MsgBtn" || id == u"MsgExit")
            EndDialog(GetParent(Handle()), IntAttribute(params.heTarget, "code", 0));
        return false;
    }
};

class TestMainWnd : public CPageHost {
public:
    TestMainWnd() : CPageHost(HANDLE_BEHAVIOR_EVENT | HANDLE_KEY, ViewKind::Window) {}

    std::vector<Row> catalogue;
    std::vector<Row> devices; // the name only
    int clicks = 0;

    void SetUpLists() {
        SetUpList(kDeviceList, {{u"COURSE NAME", 288}});
        SetUpList(kCatalogueList, {{u"COURSE NAME", 280}, {u"COUNTRY", 150}, {u"LOCATION", 150}});
        devices = {{u"Alpha Links"}, {u"Bravo Park"}, {u"Charlie Green"}};
        InsertRows(kDeviceList, devices.size());
    }

    void FillCatalogue(std::size_t count) {
        SendMessage(GetDlgItem(Handle(), kCatalogueList), LVM_DELETEALLITEMS);
        catalogue.clear();
        for (std::size_t i = 0; i < count; ++i) {
            const std::string n = std::to_string(i);
            catalogue.push_back(Row{AnsiToUtf16("Course " + n), i % 2 ? u"France" : u"Japan",
                                    AnsiToUtf16("Town " + n)});
        }
        InsertRows(kCatalogueList, count);
    }

    bool OnBehaviorEvent(BEHAVIOR_EVENT_PARAMS& params) override {
        const std::u16string id = GetAttribute(params.heTarget, "id");
        if (params.cmd == SELECT_SELECTION_CHANGED && id == u"country")
            Show(u"event", u"country=" + Named(u"country"));
        if (params.cmd != BUTTON_CLICK)
            return false;
        if (id == u"go") {
            Show(u"out", AnsiToUtf16("clicked " + std::to_string(++clicks)));
        } else if (id == u"open" || id == u"drag") {
            TestMsgWnd page;
            page.bandHeight = id == u"drag" ? 24 : 0;
            CPageDlg dialog(id == u"drag" ? 102 : 101, page);
            Show(u"out", AnsiToUtf16("dialog=" + std::to_string(dialog.DoModal(Handle()))));
        } else if (id == u"fill") {
            FillCatalogue(static_cast<std::size_t>(IntAttribute(params.heTarget, "rows", 100)));
        } else if (id == u"opt") {
            Show(u"event", u"opt=" + Named(u"opt"));
        }
        return false;
    }

    bool OnKey(const Element&, KEY_PARAMS& params) override {
        if (params.cmd != KEY_DOWN || params.key_code != 13 ||
            GetAttribute(params.target, "id") != u"keyword")
            return false;
        Show(u"event", u"enter:" + Named(u"keyword"));
        return true;
    }

    bool ProcessPageMessage(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam,
                            LRESULT& result) override {
        if (message == WM_DESTROY) {
            PostQuitMessage(0);
            return false;
        }
        if (message == WM_NOTIFY) {
            const auto* header = reinterpret_cast<const NMHDR*>(lParam);
            if (header->code == NM_RCLICK && header->idFrom == kCatalogueList) {
                ShowMenu();
                result = 0;
                return true;
            }
        }
        if (message == WM_COMMAND && lParam == 0) {
            const HWND list = GetDlgItem(hwnd, kCatalogueList);
            const auto row =
                SendMessage(list, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED);
            Show(u"out", AnsiToUtf16("command " + std::to_string(LOWORD(wParam)) + " row " +
                                     std::to_string(row)));
            result = 0;
            return true;
        }
        return false;
    }

private:
    // The text of the element with the id, where the browser tests read what happened.
    void Show(const char16_t* id, const std::u16string& text) {
        SetText(ElementById(RootElement(Handle()), id), text.c_str());
    }
    // The value of the named control, as the mirror holds it.
    std::u16string Named(const char16_t* name) {
        return GetNamedValues(RootElement(Handle())).at(name).ToString();
    }

    void SetUpList(int id, std::initializer_list<ListColumn> columns) {
        const HWND list = GetDlgItem(Handle(), id);
        OwnerDrawRows(
            list, 24, [this, id, count = columns.size()](HWND hwnd, DRAWITEMSTRUCT& draw) {
                const auto index = static_cast<std::size_t>(draw.itemData);
                const std::vector<Row>& rows = id == kDeviceList ? devices : catalogue;
                for (std::size_t column = 0; column < count; ++column) {
                    RECT cell;
                    SendMessage(hwnd, HDM_GETITEMRECT, column, reinterpret_cast<LPARAM>(&cell));
                    cell.left += 2;
                    draw.hDC->DrawText(cell, index < rows.size() ? rows[index][column] : u"");
                }
            });
        SendMessage(list, LVM_SETEXTENDEDLISTVIEWSTYLE, LVS_EX_GRIDLINES, LVS_EX_GRIDLINES);
        InsertColumns(list, columns);
    }

    // Rows whose item data is their index, which the painter looks up.
    void InsertRows(int id, std::size_t count) {
        const HWND list = GetDlgItem(Handle(), id);
        for (std::size_t i = 0; i < count; ++i)
            AppendListItem(list, static_cast<LPARAM>(i));
    }

    void ShowMenu() {
        auto menu = LoadMenu(206);
        if (!menu)
            return;
        Menu& popup = menu->popups[0];
        const HWND list = GetDlgItem(Handle(), kCatalogueList);
        const bool selected = SendMessage(list, LVM_GETSELECTEDCOUNT) > 0;
        EnableMenuItem(popup, kCommandOne, selected ? MF_ENABLED : MF_DISABLED);
        EnableMenuItem(popup, 501, MF_DISABLED);
        const POINT at = GetMessagePos();
        TrackPopupMenu(popup, TPM_LEFTBUTTON, at.x, at.y, Handle());
    }
};

} // namespace

int main(int argc, char** argv) {
    ServerOptions options;
    std::size_t rows = 5;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--listen" && i + 1 < argc) {
            options.listen = argv[++i];
        } else if (arg == "--grace" && i + 1 < argc) {
            options.gracePeriodMs = static_cast<unsigned>(std::atoi(argv[++i]));
        } else if (arg == "--rows" && i + 1 < argc) {
            rows = static_cast<std::size_t>(std::atol(argv[++i]));
        } else if (arg == "--no-browser") {
            // This program never opens a browser; the option is accepted for the tests' sake.
        } else {
            std::fprintf(stderr, "page_test_host: unknown option %s\n", arg.c_str());
            return 2;
        }
    }
    BindUiThread();
    Engine engine;
    std::string error;
    if (!engine.Serve(options, error)) {
        std::fprintf(stderr, "page_test_host: %s\n", error.c_str());
        return 1;
    }
    TestMainWnd main;
    if (main.Create(0) == 0 || !main.LoadPage(100)) {
        std::fprintf(stderr, "page_test_host: cannot load the test page\n");
        return 1;
    }
    main.SetUpLists();
    main.FillCatalogue(rows);
    std::printf("%s\n", engine.StartAddress().c_str());
    std::fflush(stdout);
    return RunMessageLoop();
}
