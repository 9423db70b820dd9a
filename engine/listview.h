// The engine's report list view: a window that keeps the items, columns and selection, answers
// the list view messages the program sends, and is drawn by the browser, which keeps page rows
// only for the visible part, so tens of thousands of items scroll smoothly.
//
// Notifications go to the parent as WM_NOTIFY: NM_RCLICK (an NMITEMACTIVATE with the item under
// the mouse) when the user right-clicks the list. An owner-drawn list (LVS_OWNERDRAWFIXED) asks
// its parent for each item's cell texts with WM_DRAWITEM, whose hDC is a RowCanvas; a page host
// reflects it to the list as 0x202B, where the list's subclass procedure paints. The selected
// look (two rounded borders over a vertical gradient) is drawn by the browser in the row
// colours (LVM_SETROWCOLORS).
//
// Threads: user-interface thread; other threads reach it with SendMessage.
#pragma once

#include "engine/engine.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace verdal::engine {

inline constexpr UINT WM_SETFONT = 0x0030;
inline constexpr UINT WM_GETFONT = 0x0031;
inline constexpr UINT WM_DRAWITEM = 0x002B;
inline constexpr UINT WM_MEASUREITEM = 0x002C;
inline constexpr UINT OCM_BASE = 0x2000; // reflected messages: the message plus this

inline constexpr UINT LVM_GETITEMCOUNT = 0x1004;
inline constexpr UINT LVM_DELETEITEM = 0x1008;
inline constexpr UINT LVM_DELETEALLITEMS = 0x1009;
inline constexpr UINT LVM_GETNEXTITEM = 0x100C;
inline constexpr UINT LVM_ENSUREVISIBLE = 0x1013;
inline constexpr UINT LVM_REDRAWITEMS = 0x1015;
inline constexpr UINT LVM_GETCOLUMNWIDTH = 0x101D;
inline constexpr UINT LVM_GETHEADER = 0x101F;
inline constexpr UINT LVM_SETITEMSTATE = 0x102B;
inline constexpr UINT LVM_GETITEMSTATE = 0x102C;
inline constexpr UINT LVM_GETSELECTEDCOUNT = 0x1032;
inline constexpr UINT LVM_SETEXTENDEDLISTVIEWSTYLE = 0x1036;
inline constexpr UINT LVM_GETEXTENDEDLISTVIEWSTYLE = 0x1037;
inline constexpr UINT LVM_GETITEMW = 0x104B;
inline constexpr UINT LVM_SETITEMW = 0x104C;
inline constexpr UINT LVM_INSERTITEMW = 0x104D;
inline constexpr UINT LVM_INSERTCOLUMNW = 0x1061;
inline constexpr UINT LVM_GETITEMTEXTW = 0x1073;
inline constexpr UINT LVM_SETITEMTEXTW = 0x1074;
// The header's item rectangle: wParam the column, lParam a RECT*. LVM_GETHEADER answers the
// list itself, which answers this header message.
inline constexpr UINT HDM_GETITEMRECT = 0x1207;
// The engine's own: the colours of the selected look, lParam a const RowColors*.
inline constexpr UINT LVM_SETROWCOLORS = 0x10F0;

inline constexpr unsigned LVS_REPORT = 0x1;
inline constexpr unsigned LVS_SINGLESEL = 0x4;
inline constexpr unsigned LVS_OWNERDRAWFIXED = 0x400;
inline constexpr unsigned LVS_NOCOLUMNHEADER = 0x4000;
inline constexpr unsigned LVS_EX_GRIDLINES = 0x1;

inline constexpr unsigned LVIF_TEXT = 0x1;
inline constexpr unsigned LVIF_PARAM = 0x4;
inline constexpr unsigned LVIF_STATE = 0x8;
inline constexpr unsigned LVIS_FOCUSED = 0x1;
inline constexpr unsigned LVIS_SELECTED = 0x2;
inline constexpr unsigned LVNI_ALL = 0x0;
inline constexpr unsigned LVNI_FOCUSED = 0x1;
inline constexpr unsigned LVNI_SELECTED = 0x2;
inline constexpr unsigned LVCF_FMT = 0x1;
inline constexpr unsigned LVCF_WIDTH = 0x2;
inline constexpr unsigned LVCF_TEXT = 0x4;
inline constexpr int LVCFMT_LEFT = 0;

inline constexpr unsigned ODT_LISTVIEW = 102;
inline constexpr unsigned ODS_SELECTED = 0x1;
inline constexpr unsigned ODA_DRAWENTIRE = 0x1;

struct LVITEMW {
    unsigned mask = 0;
    int iItem = 0;
    int iSubItem = 0;
    unsigned state = 0;
    unsigned stateMask = 0;
    char16_t* pszText = nullptr; // in: the text; out (LVM_GETITEMTEXTW): a buffer
    int cchTextMax = 0;
    int iImage = 0;
    LPARAM lParam = 0;
};

struct LVCOLUMNW {
    unsigned mask = 0;
    int fmt = LVCFMT_LEFT;
    int cx = 0; // pixels
    const char16_t* pszText = nullptr;
    int cchTextMax = 0;
    int iSubItem = 0;
};

// NM_RCLICK's record: the item under the mouse (-1 for none) and the mouse in page pixels.
struct NMITEMACTIVATE {
    NMHDR hdr;
    int iItem = -1;
    int iSubItem = 0;
    unsigned uNewState = 0, uOldState = 0, uChanged = 0;
    POINT ptAction;
    LPARAM lParam = 0;
    unsigned uKeyFlags = 0;
};

struct RGB {
    std::uint8_t r = 0, g = 0, b = 0;
};
// The colours of a list view: the window colour behind its rows and the look of a selected row
// (outer and inner border, gradient top and bottom). The browser is always sent them.
struct RowColors {
    RGB background{255, 255, 255};
    RGB outer{170, 200, 245};
    RGB inner{230, 250, 250};
    RGB gradientTop{235, 245, 245};
    RGB gradientBottom{225, 235, 245};
};

// Where an owner-drawn row's painter writes its cell texts. A text belongs to the column whose
// header rectangle holds the left edge of the text's rectangle.
class RowCanvas {
public:
    explicit RowCanvas(std::vector<int> columnLefts) : lefts_(std::move(columnLefts)) {}
    void DrawText(const RECT& cell, std::u16string_view text);
    const std::vector<std::u16string>& Texts() const { return texts_; }
    bool Drawn() const { return drawn_; }

private:
    std::vector<int> lefts_;
    std::vector<std::u16string> texts_;
    bool drawn_ = false;
};

struct DRAWITEMSTRUCT {
    unsigned CtlType = ODT_LISTVIEW;
    unsigned CtlID = 0;
    unsigned itemID = 0;
    unsigned itemAction = ODA_DRAWENTIRE;
    unsigned itemState = 0;
    HWND hwndItem = 0;
    RowCanvas* hDC = nullptr;
    RECT rcItem;
    LPARAM itemData = 0;
};

struct MEASUREITEMSTRUCT {
    unsigned CtlType = ODT_LISTVIEW;
    unsigned CtlID = 0;
    unsigned itemID = 0;
    unsigned itemWidth = 0;
    unsigned itemHeight = 0;
    LPARAM itemData = 0;
};

// A procedure that sees every message of one list view first (subclassing); answers true when
// it handled the message, with its answer in result.
using ListViewSubclass = std::function<bool(HWND, UINT, WPARAM, LPARAM, LRESULT&)>;

// Creates a list view as a child of the parent with the window style (its low 16 bits are the
// list view style), the extended window style and the control id. Answers its handle, 0 on
// failure. The engine owns the object; it lives until the window is destroyed.
HWND CreateListView(HWND parent, unsigned style, unsigned exStyle, int controlId);
// Installs a subclass procedure on a list view; false when the handle is no list view.
bool SubclassListView(HWND list, ListViewSubclass procedure);

} // namespace verdal::engine
