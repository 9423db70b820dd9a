// The browser's WebSocket messages into the engine holding the real main page (201) with its two
// lists filled: every message, however damaged, is read, reaches the mirror, the lists, the menus
// or the page's handlers only as the protocol allows, and leaves the engine able to encode its
// state. The program's windows are made as verdal makes them, so the window handles and element
// ids in messages recorded from a real session name the same views and elements here.
#include "engine/engine.h"
#include "engine/engine_object.h"
#include "engine/internal.h"
#include "engine/listview.h"
#include "engine/menu.h"
#include "platform/window.h"
#include "ui/list_rows.h"
#include "ui/page_host.h"
#include "ui/resources.h"

#include <cstdint>
#include <string>

using namespace verdal;
using namespace verdal::engine;

namespace {

constexpr UINT kDrained = WM_USER + 77;

// The main page's host, as far as the engine can tell: the lists are painted from rows of its
// own, a right-click on the catalogue list opens menu 206, and its commands are taken.
class Host : public CPageHost {
public:
    Host() : CPageHost(HANDLE_BEHAVIOR_EVENT | HANDLE_KEY, ViewKind::Window) {}
    bool drained = false;

    void SetUp() {
        SetUpList(6000, {{u"COLUMN", 150}}, 3);
        SetUpList(6001, {{u"COLUMN", 150}, {u"COLUMN", 150}, {u"COLUMN", 150}}, 40);
    }

    bool OnBehaviorEvent(BEHAVIOR_EVENT_PARAMS& params) override {
        // What the main window reads when the page's controls change.
        GetNamedValues(RootElement(Handle()));
        GetAttribute(params.heTarget, "id");
        return false;
    }

    bool OnKey(const Element&, KEY_PARAMS& params) override {
        GetAttribute(params.target, "id");
        return false;
    }

    bool ProcessPageMessage(HWND hwnd, UINT message, WPARAM, LPARAM lParam,
                            LRESULT& result) override {
        result = 0;
        if (message == kDrained) {
            drained = true;
            return true;
        }
        if (message == WM_NOTIFY) {
            const auto* header = reinterpret_cast<const NMHDR*>(lParam);
            if (header->code == NM_RCLICK) {
                if (auto menu = LoadMenu(header->idFrom == 6001 ? 206 : 207)) {
                    const POINT at = GetMessagePos();
                    TrackPopupMenu(menu->popups[0], TPM_LEFTBUTTON, at.x, at.y, hwnd);
                }
                return true;
            }
        }
        return message == WM_COMMAND;
    }

private:
    void SetUpList(int id, std::initializer_list<ListColumn> headings, int rows) {
        const HWND list = GetDlgItem(Handle(), id);
        const auto columns = static_cast<int>(headings.size());
        OwnerDrawRows(list, 24, [columns](HWND hwnd, DRAWITEMSTRUCT& draw) {
            for (int column = 0; column < columns; ++column) {
                RECT cell;
                SendMessage(hwnd, HDM_GETITEMRECT, static_cast<WPARAM>(column),
                            reinterpret_cast<LPARAM>(&cell));
                draw.hDC->DrawText(cell, u"Course " + std::u16string(1, u'A' + draw.itemData % 26));
            }
        });
        InsertColumns(list, headings);
        for (int i = 0; i < rows; ++i)
            AppendListItem(list, i);
    }
};

Engine* theEngine = nullptr;
Host* host = nullptr;

// Handles everything the message queued, up to a marker of its own.
void Drain() {
    host->drained = false;
    PostMessage(host->Handle(), kDrained);
    MSG msg;
    while (!host->drained && GetMessage(msg))
        DispatchMessage(msg);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (!host) {
        // As verdal: the engine's pump window first, then the main window and its page.
        BindUiThread();
        // The engine and the main window live as long as the process, as they do in verdal.
        theEngine = new Engine;
        host = new Host;
        host->Create(0);
        host->LoadPage(201);
        host->SetUp();
        OnBrowserConnected(1);
        Drain();
    }
    OnBrowserMessage(std::string(reinterpret_cast<const char*>(data), size));
    Drain();
    // The whole state still encodes, as for a browser that connects now.
    StateMessage();
    return 0;
}
