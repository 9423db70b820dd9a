// What the engine's own files share: the list view's model, the views and their registry, the
// menus on screen and the link between the user-interface thread and the server's connections.
// Not for other folders.
#pragma once

#include "engine/engine.h"
#include "engine/listview.h"
#include "engine/menu.h"
#include "engine/protocol.h"
#include "engine/server.h"

#include <climits>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace verdal::engine {

class ListView : public Window {
public:
    struct Column {
        std::u16string text;
        int width = 0;
        int fmt = LVCFMT_LEFT;
    };
    struct Item {
        LPARAM lParam = 0;
        unsigned state = 0;
        std::vector<std::u16string> texts; // as set with LVIF_TEXT or LVM_SETITEMTEXTW
        std::vector<std::u16string> shown; // as painted for the browser
    };

    unsigned style = 0;
    unsigned exStyle = 0; // list view extended style
    int controlId = 0;
    std::vector<Column> columns;
    std::vector<Item> items;
    RowColors colors;
    int rowHeight = 24;
    bool measured = false;
    ListViewSubclass subclass;

    // What the browser has not seen yet.
    bool fullDirty = true;
    std::size_t rowsDirtyFrom = SIZE_MAX;
    bool selectionDirty = false;

    bool ProcessWindowMessage(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam,
                              LRESULT& result) override;
    void OnFinalMessage(HWND hwnd) override;

    // Paints the texts of every item from the first changed one on (owner-drawn lists ask
    // their parent), so that `shown` is current.
    void PaintTexts();
    // The left edge of a column, and of every column, in pixels from the list's left.
    int ColumnLeft(std::size_t column) const;
    std::vector<int> ColumnLefts() const;
    std::vector<int> Selected() const;

    // From the browser.
    void ApplySelection(const std::vector<int>& selected, int focused);
    void RightClick(int item, POINT position);

private:
    LRESULT Respond(UINT message, WPARAM wParam, LPARAM lParam, bool& handled);
    void MarkRows(std::size_t from);
    void MarkAll();
};

ListView* FindListView(HWND hwnd);

// A window's view: its document, its host's callbacks and what the browser knows of it.
struct View {
    ViewKind kind = ViewKind::Window;
    ViewCallbacks* callbacks = nullptr;
    ViewCallbacks* handler = nullptr;
    unsigned subscription = 0;
    std::unique_ptr<Document> document;
    std::string mediaType = "screen";
    std::uint64_t order = 0; // views opened later lie above
    int minWidth = 0, minHeight = 0;
    int width = 0, height = 0, bandHeight = 0, bandMargin = 0;
    bool reload = true; // the browser needs the whole document
    // A load-data request waiting for DataReady.
    std::string* pendingData = nullptr;
    bool pendingAnswered = false;
};

// A popup menu as the browser shows it; token 0 is none.
struct MenuOnScreen {
    std::uint64_t token = 0;
    int x = 0, y = 0;
    Menu popup;
};

// Operations that happen once rather than describe state: the beep and the menus opening and
// closing, sent in the order they happened.
struct Notice {
    protocol::Op op = protocol::Op::Beep;
    MenuOnScreen menu; // for Op::Menu
};

// The hidden window through which other threads reach the user-interface thread.
class Pump : public Window {
public:
    bool ProcessWindowMessage(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam,
                              LRESULT& result) override;
};

// What the engine object owns, on the user-interface thread.
struct EngineState {
    std::map<HWND, View> views;
    std::vector<HWND> closed; // views the browser has not heard are gone
    std::uint64_t nextOrder = 1;
    // The list views, each made by CreateListView and let go when its window is destroyed.
    std::map<HWND, std::unique_ptr<ListView>> lists;
    std::vector<Notice> notices;
    MenuOnScreen openMenu; // for connections that come while it is open
    std::uint64_t menuToken = 0;
    HWND menuOwner = 0;
    POINT mousePos;
    bool contrastPreferred = false;
    Pump pump;
    bool flushPosted = false;
    std::unique_ptr<Server> server;
    std::function<void()> showHandler;
};

// The engine object's state; the program ends with a message when there is no engine object.
EngineState& State();
// The pump window, made as the engine object is and destroyed as it goes.
void OpenPump(EngineState& state);
void ClosePump(EngineState& state);
View* FindView(HWND hwnd);
// Views under an open dialog are inert: their events are not delivered.
bool IsInert(HWND hwnd);
// The window of the first view opened as a window (the main window); 0 when there is none.
HWND FirstWindowView();

// The messages for the browser (the encoding of protocol.h): the whole state, and the
// operations since the last call as one patch message (empty when nothing changed). Both mark
// what they encode as seen.
std::string StateMessage();
std::string PatchMessage();

// The server's side, any thread while the server runs: sends one text message to every
// connection that has had its full state, or to one connection.
void BroadcastToBrowsers(std::string message);
void SendToBrowser(std::uint64_t session, std::string message);
// True while at least one browser connection is open.
bool HasBrowsers();

// The engine's side, user-interface thread: the server's handlers for a new connection and a
// browser's message.
void OnBrowserConnected(std::uint64_t session);
void OnBrowserMessage(const std::string& text);
void MarkDirty();

} // namespace verdal::engine
