// The widget keyword tables, style building and the stand-in native windows.
#include "ui/widgets.h"

#include "engine/engine.h"
#include "engine/listview.h"

#include <map>

namespace verdal {

namespace {

constexpr StyleKeyword kWindowStyle[] = {
    {"OVERLAPPED", 0x0},         {"POPUP", 0x80000000},    {"CHILD", 0x40000000},
    {"VISIBLE", 0x10000000},     {"DISABLED", 0x8000000},  {"CLIPSIBLINGS", 0x4000000},
    {"CLIPCHILDREN", 0x2000000}, {"MINIMIZE", 0x20000000}, {"MAXIMIZE", 0x1000000},
    {"CAPTION", 0xC00000},       {"BORDER", 0x800000},     {"DLGFRAME", 0x400000},
    {"VSCROLL", 0x200000},       {"HSCROLL", 0x100000},    {"SYSMENU", 0x80000},
    {"THICKFRAME", 0x40000},     {"GROUP", 0x20000},       {"TABSTOP", 0x10000},
    {"MINIMIZEBOX", 0x20000},    {"MAXIMIZEBOX", 0x10000},
};

constexpr StyleKeyword kExtendedStyle[] = {
    {"DLGMODALFRAME", 0x1},  {"NOPARENTNOTIFY", 0x4},    {"TOPMOST", 0x8},
    {"ACCEPTFILES", 0x10},   {"TRANSPARENT", 0x20},      {"MDICHILD", 0x40},
    {"TOOLWINDOW", 0x80},    {"WINDOWEDGE", 0x100},      {"CLIENTEDGE", 0x200},
    {"CONTEXTHELP", 0x400},  {"RIGHT", 0x1000},          {"LEFT", 0x0},
    {"RTLREADING", 0x2000},  {"LTRREADING", 0x0},        {"LEFTSCROLLBAR", 0x4000},
    {"RIGHTSCROLLBAR", 0x0}, {"CONTROLPARENT", 0x10000}, {"STATICEDGE", 0x20000},
    {"APPWINDOW", 0x40000},  {"LAYERED", 0x80000},       {"NOINHERITLAYOUT", 0x100000},
    {"LAYOUTRTL", 0x400000}, {"NOACTIVATE", 0x8000000},  {"COMPOSITED", 0x2000000},
};

constexpr StyleKeyword kDateTime[] = {
    {"UPDOWN", 0x1},
    {"SHOWNONE", 0x2},
    {"SHORTDATEFORMAT", 0x0},
    {"LONGDATEFORMAT", 0x4},
    {"SHORTDATECENTURYFORMAT", 0xC},
    {"TIMEFORMAT", 0x9},
    {"APPCANPARSE", 0x10},
    {"RIGHTALIGN", 0x20},
};

constexpr StyleKeyword kCalendar[] = {
    {"DAYSTATE", 0x1},      {"MULTISELECT", 0x2}, {"WEEKNUMBERS", 0x4},
    {"NOTODAYCIRCLE", 0x8}, {"NOTODAY", 0x10},
};

constexpr StyleKeyword kListBox[] = {
    {"NOTIFY", 0x1},
    {"SORT", 0x2},
    {"NOREDRAW", 0x4},
    {"MULTIPLESEL", 0x8},
    {"OWNERDRAWFIXED", 0x10},
    {"OWNERDRAWVARIABLE", 0x20},
    {"HASSTRINGS", 0x40},
    {"USETABSTOPS", 0x80},
    {"NOINTEGRALHEIGHT", 0x100},
    {"MULTICOLUMN", 0x200},
    {"WANTKEYBOARDINPUT", 0x400},
    {"NODATA", 0x2000},
};

constexpr StyleKeyword kStatic[] = {
    {"BITMAP", 0xE},    {"CENTER", 0x1},   {"CENTERIMAGE", 0x200},
    {"ICON", 0x3},      {"LEFT", 0x0},     {"LEFTNOWORDWRAP", 0xC},
    {"NOPREFIX", 0x80}, {"NOTIFY", 0x100}, {"RIGHT", 0x2},
};

constexpr StyleKeyword kEdit[] = {
    {"RIGHT", 0x2},        {"WANTRETURN", 0x1000}, {"MULTILINE", 0x4},
    {"AUTOHSCROLL", 0x80}, {"AUTOVSCROLL", 0x40},  {"READONLY", 0x800},
};

constexpr StyleKeyword kComboBox[] = {
    {"DROPDOWN", 0x2},
    {"DROPDOWNLIST", 0x3},
    {"SIMPLE", 0x1},
    {"OWNERDRAWFIXED", 0x10},
    {"OWNERDRAWVARIABLE", 0x20},
    {"AUTOHSCROLL", 0x40},
    {"OEMCONVERT", 0x80},
    {"SORT", 0x100},
    {"HASSTRINGS", 0x200},
    {"NOINTEGRALHEIGHT", 0x400},
    {"DISABLENOSCROLL", 0x800},
};

constexpr StyleKeyword kListView[] = {
    {"ICON", 0x0},
    {"REPORT", 0x1},
    {"SMALLICON", 0x2},
    {"LIST", 0x3},
    {"SINGLESEL", 0x4},
    {"SHOWSELALWAYS", 0x8},
    {"SORTASCENDING", 0x10},
    {"SORTDESCENDING", 0x20},
    {"SHAREIMAGELISTS", 0x40},
    {"NOLABELWRAP", 0x80},
    {"AUTOARRANGE", 0x100},
    {"EDITLABELS", 0x200},
    {"OWNERDATA", 0x1000},
    {"NOSCROLL", 0x2000},
    {"ALIGNTOP", 0x0},
    {"ALIGNLEFT", 0x800},
    {"OWNERDRAWFIXED", 0x400},
    {"NOCOLUMNHEADER", 0x4000},
    {"NOSORTHEADER", 0x8000},
};

constexpr StyleKeyword kListViewExtended[] = {
    {"GRIDLINES", 0x1},         {"SUBITEMIMAGES", 0x2},     {"CHECKBOXES", 0x4},
    {"TRACKSELECT", 0x8},       {"HEADERDRAGDROP", 0x10},   {"FULLROWSELECT", 0x20},
    {"ONECLICKACTIVATE", 0x40}, {"TWOCLICKACTIVATE", 0x80}, {"FLATSB", 0x100},
    {"REGIONAL", 0x200},        {"INFOTIP", 0x400},         {"UNDERLINEHOT", 0x800},
    {"UNDERLINECOLD", 0x1000},  {"MULTIWORKAREAS", 0x2000}, {"LABELTIP", 0x4000},
    {"BORDERSELECT", 0x8000},   {"DOUBLEBUFFER", 0x10000},  {"HIDELABELS", 0x20000},
    {"SINGLEROW", 0x40000},     {"SNAPTOGRID", 0x80000},    {"SIMPLESELECT", 0x100000},
};

// A stand-in for a native control the browser does not draw; what it was made with is kept in
// Infos().
class StandInControl : public Window {
public:
    bool ProcessWindowMessage(HWND, UINT, WPARAM, LPARAM, LRESULT&) override { return false; }
    void OnFinalMessage(HWND hwnd) override;
};

std::map<HWND, NativeWindowInfo>& Infos() {
    static std::map<HWND, NativeWindowInfo> infos;
    return infos;
}

void StandInControl::OnFinalMessage(HWND hwnd) {
    Infos().erase(hwnd);
    delete this;
}

} // namespace

const StyleKeywordTable kWindowStyleKeywords{kWindowStyle};
const StyleKeywordTable kExtendedStyleKeywords{kExtendedStyle};
const StyleKeywordTable kDateTimeKeywords{kDateTime};
const StyleKeywordTable kCalendarKeywords{kCalendar};
const StyleKeywordTable kListBoxKeywords{kListBox};
const StyleKeywordTable kStaticKeywords{kStatic};
const StyleKeywordTable kEditKeywords{kEdit};
const StyleKeywordTable kComboBoxKeywords{kComboBox};
const StyleKeywordTable kListViewKeywords{kListView};
const StyleKeywordTable kListViewExtendedKeywords{kListViewExtended};

namespace {

const WidgetType kWidgetTypes[] = {
    {"sys-datetime", "SysDateTimePick32", &kDateTimeKeywords, true},
    {"sys-calendar", "SysMonthCal32", &kCalendarKeywords, true},
    {"sys-listbox", "LISTBOX", &kListBoxKeywords, true},
    {"sys-static", "STATIC", &kStaticKeywords, true},
    {"sys-listview", "SysListView32", &kListViewKeywords, true},
    {"sys-combobox", "COMBOBOX", &kComboBoxKeywords, true},
    {"sys-edit", "EDIT", &kEditKeywords, true},
    {"sys-tabctrl", "ToolbarWindow32", nullptr, true},
    {"sys-ie", "AtlAxWin80", nullptr, false},
};

} // namespace

const WidgetType* FindWidgetType(std::string_view type) {
    for (const WidgetType& row : kWidgetTypes)
        if (row.type == type)
            return &row;
    return nullptr;
}

std::uint32_t StyleFromKeywords(const engine::Element& element, StyleKeywordTable table,
                                std::uint32_t defaultBits) {
    std::uint32_t bits = defaultBits;
    for (const StyleKeyword& row : table)
        if (element.HasAttribute(row.keyword))
            bits |= row.bits;
    return bits;
}

HWND CreateNativeWindow(std::string_view className, std::uint32_t style, std::uint32_t exStyle,
                        HWND parent, int controlId) {
    HWND hwnd = 0;
    if (className == "SysListView32") {
        hwnd = engine::CreateListView(parent, style, exStyle, controlId);
    } else {
        bool known = false;
        for (const WidgetType& row : kWidgetTypes)
            known = known || (row.registered && row.className == className);
        if (!known)
            return 0;
        auto* window = new StandInControl;
        hwnd = CreateWindowFor(*window, parent);
        if (hwnd == 0) {
            delete window;
            return 0;
        }
        SetDlgCtrlID(hwnd, controlId);
    }
    if (hwnd != 0)
        Infos()[hwnd] = NativeWindowInfo{std::string(className), style, exStyle, controlId};
    return hwnd;
}

bool GetNativeWindowInfo(HWND hwnd, NativeWindowInfo& info) {
    auto it = Infos().find(hwnd);
    if (it == Infos().end() || !IsWindow(hwnd))
        return false;
    info = it->second;
    return true;
}

} // namespace verdal
