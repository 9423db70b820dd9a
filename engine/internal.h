// What the engine's own files share: the list view's model, the menus on screen and the link
// between the user-interface thread and the server's connections. Not for other folders.
#pragma once

#include "engine/listview.h"
#include "engine/menu.h"

#include <climits>
#include <cstdint>
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
std::vector<ListView*> AllListViews();

// The server's side, any thread: sends one text message to every connection that has had its
// full state, or to one connection.
void BroadcastToBrowsers(std::string message);
void SendToBrowser(std::uint64_t session, std::string message);
// True while at least one browser connection is open.
bool HasBrowsers();

// The engine's side, user-interface thread.
void OnBrowserConnected(std::uint64_t session);
void OnBrowserMessage(const std::string& text);
void MarkDirty();
// The window of the first view opened as a window (the main window); 0 when there is none.
HWND FirstWindowView();

} // namespace verdal::engine
