// The report list view's model: the list view messages, owner-drawn texts, selection and the
// right-click notification.
#include "engine/internal.h"

#include <algorithm>
#include <map>

namespace verdal::engine {

namespace {

template <class T> T* As(LPARAM lParam) {
    return reinterpret_cast<T*>(static_cast<std::intptr_t>(lParam));
}

} // namespace

void RowCanvas::DrawText(const RECT& cell, std::u16string_view text) {
    drawn_ = true;
    std::size_t column = 0;
    for (std::size_t i = 0; i < lefts_.size(); ++i)
        if (cell.left >= lefts_[i])
            column = i;
    if (texts_.size() <= column)
        texts_.resize(column + 1);
    texts_[column] = std::u16string(text);
}

HWND CreateListView(HWND parent, unsigned style, unsigned exStyle, int controlId) {
    auto list = std::make_unique<ListView>();
    list->style = style;
    list->controlId = controlId;
    (void)exStyle; // window extended styles have no effect on the drawing
    const HWND hwnd = CreateWindowFor(*list, parent);
    if (hwnd == 0)
        return 0;
    State().lists[hwnd] = std::move(list);
    SetDlgCtrlID(hwnd, controlId);
    MarkDirty();
    return hwnd;
}

bool SubclassListView(HWND hwnd, ListViewSubclass procedure) {
    ListView* list = FindListView(hwnd);
    if (!list)
        return false;
    list->subclass = std::move(procedure);
    return true;
}

ListView* FindListView(HWND hwnd) {
    auto& lists = State().lists;
    auto it = lists.find(hwnd);
    return it == lists.end() ? nullptr : it->second.get();
}

void ListView::OnFinalMessage(HWND hwnd) {
    MarkDirty();
    State().lists.erase(hwnd); // the last this list view does: it goes with its entry
}

bool ListView::ProcessWindowMessage(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam,
                                    LRESULT& result) {
    if (subclass && subclass(hwnd, message, wParam, lParam, result))
        return true;
    bool handled = true;
    result = Respond(message, wParam, lParam, handled);
    return handled;
}

void ListView::MarkRows(std::size_t from) {
    rowsDirtyFrom = std::min(rowsDirtyFrom, from);
    MarkDirty();
}

void ListView::MarkAll() {
    fullDirty = true;
    MarkDirty();
}

int ListView::ColumnLeft(std::size_t column) const {
    int left = 0;
    for (std::size_t i = 0; i < column && i < columns.size(); ++i)
        left += columns[i].width;
    return left;
}

std::vector<int> ListView::ColumnLefts() const {
    std::vector<int> lefts;
    for (std::size_t i = 0; i < columns.size(); ++i)
        lefts.push_back(ColumnLeft(i));
    return lefts;
}

std::vector<int> ListView::Selected() const {
    std::vector<int> out;
    for (std::size_t i = 0; i < items.size(); ++i)
        if (items[i].state & LVIS_SELECTED)
            out.push_back(static_cast<int>(i));
    return out;
}

void ListView::PaintTexts() {
    if (!measured && (style & LVS_OWNERDRAWFIXED) && Handle() != 0) {
        measured = true;
        MEASUREITEMSTRUCT measure;
        measure.CtlID = static_cast<unsigned>(controlId);
        SendMessage(GetParent(Handle()), WM_MEASUREITEM, static_cast<WPARAM>(controlId),
                    reinterpret_cast<LPARAM>(&measure));
        if (measure.itemHeight > 0 && measure.itemHeight < 1000)
            rowHeight = static_cast<int>(measure.itemHeight);
    }
    const std::size_t from = fullDirty ? 0 : rowsDirtyFrom;
    const bool ownerDraw = (style & LVS_OWNERDRAWFIXED) != 0;
    const auto lefts = ColumnLefts();
    int right = lefts.empty() ? 0 : lefts.back() + columns.back().width;
    for (std::size_t i = from; i < items.size(); ++i) {
        Item& item = items[i];
        item.shown = item.texts;
        if (!ownerDraw || Handle() == 0)
            continue;
        RowCanvas canvas(lefts);
        DRAWITEMSTRUCT draw;
        draw.CtlID = static_cast<unsigned>(controlId);
        draw.itemID = static_cast<unsigned>(i);
        draw.itemState = (item.state & LVIS_SELECTED) ? ODS_SELECTED : 0;
        draw.hwndItem = Handle();
        draw.hDC = &canvas;
        draw.rcItem =
            RECT{0, static_cast<int>(i) * rowHeight, right, static_cast<int>(i + 1) * rowHeight};
        draw.itemData = item.lParam;
        SendMessage(GetParent(Handle()), WM_DRAWITEM, static_cast<WPARAM>(controlId),
                    reinterpret_cast<LPARAM>(&draw));
        if (canvas.Drawn())
            item.shown = canvas.Texts();
    }
}

LRESULT ListView::Respond(UINT message, WPARAM wParam, LPARAM lParam, bool& handled) {
    const int count = static_cast<int>(items.size());
    switch (message) {
    case LVM_GETITEMCOUNT:
        return count;
    case LVM_GETSELECTEDCOUNT:
        return static_cast<LRESULT>(Selected().size());
    case LVM_INSERTCOLUMNW: {
        const auto* column = As<const LVCOLUMNW>(lParam);
        if (!column)
            return -1;
        const std::size_t at = std::min(static_cast<std::size_t>(wParam), columns.size());
        Column added;
        if (column->mask & LVCF_TEXT && column->pszText)
            added.text = column->pszText;
        if (column->mask & LVCF_WIDTH)
            added.width = column->cx;
        if (column->mask & LVCF_FMT)
            added.fmt = column->fmt;
        columns.insert(columns.begin() + static_cast<std::ptrdiff_t>(at), added);
        MarkAll();
        return static_cast<LRESULT>(at);
    }
    case LVM_GETCOLUMNWIDTH:
        return wParam < columns.size() ? columns[wParam].width : 0;
    case LVM_INSERTITEMW: {
        const auto* source = As<const LVITEMW>(lParam);
        if (!source || source->iItem < 0)
            return -1;
        const int at = std::min(source->iItem, count);
        Item item;
        if (source->mask & LVIF_PARAM)
            item.lParam = source->lParam;
        if (source->mask & LVIF_TEXT && source->pszText)
            item.texts.push_back(source->pszText);
        if (source->mask & LVIF_STATE)
            item.state = source->state & source->stateMask;
        if ((style & LVS_SINGLESEL) && (item.state & LVIS_SELECTED))
            for (auto& other : items)
                other.state &= ~LVIS_SELECTED;
        items.insert(items.begin() + at, std::move(item));
        MarkRows(static_cast<std::size_t>(at));
        if (item.state)
            selectionDirty = true;
        return at;
    }
    case LVM_DELETEITEM:
        if (static_cast<int>(wParam) < 0 || static_cast<int>(wParam) >= count)
            return 0;
        items.erase(items.begin() + static_cast<std::ptrdiff_t>(wParam));
        MarkAll();
        return 1;
    case LVM_DELETEALLITEMS:
        items.clear();
        MarkAll();
        return 1;
    case LVM_GETITEMW:
    case LVM_SETITEMW: {
        auto* item = As<LVITEMW>(lParam);
        if (!item || item->iItem < 0 || item->iItem >= count)
            return 0;
        Item& target = items[static_cast<std::size_t>(item->iItem)];
        if (message == LVM_GETITEMW) {
            if (item->mask & LVIF_PARAM)
                item->lParam = target.lParam;
            if (item->mask & LVIF_STATE)
                item->state = target.state & item->stateMask;
            if ((item->mask & LVIF_TEXT) && item->pszText && item->cchTextMax > 0) {
                const auto sub = static_cast<std::size_t>(item->iSubItem);
                const std::u16string text = sub < target.texts.size() ? target.texts[sub] : u"";
                const std::size_t n =
                    std::min(text.size(), static_cast<std::size_t>(item->cchTextMax - 1));
                std::copy_n(text.begin(), n, item->pszText);
                item->pszText[n] = 0;
            }
            return 1;
        }
        if (item->mask & LVIF_PARAM)
            target.lParam = item->lParam;
        if (item->mask & LVIF_TEXT) {
            const auto sub = static_cast<std::size_t>(std::max(item->iSubItem, 0));
            if (target.texts.size() <= sub)
                target.texts.resize(sub + 1);
            target.texts[sub] = item->pszText ? item->pszText : u"";
        }
        MarkRows(static_cast<std::size_t>(item->iItem));
        return 1;
    }
    case LVM_SETITEMTEXTW: {
        const auto* item = As<const LVITEMW>(lParam);
        if (!item || static_cast<int>(wParam) < 0 || static_cast<int>(wParam) >= count)
            return 0;
        Item& target = items[wParam];
        const auto sub = static_cast<std::size_t>(std::max(item->iSubItem, 0));
        if (target.texts.size() <= sub)
            target.texts.resize(sub + 1);
        target.texts[sub] = item->pszText ? item->pszText : u"";
        MarkRows(wParam);
        return 1;
    }
    case LVM_GETITEMTEXTW: {
        auto* item = As<LVITEMW>(lParam);
        if (!item || !item->pszText || item->cchTextMax <= 0 || wParam >= items.size())
            return 0;
        const auto sub = static_cast<std::size_t>(std::max(item->iSubItem, 0));
        const auto& texts = items[wParam].texts;
        const std::u16string text = sub < texts.size() ? texts[sub] : u"";
        const std::size_t n = std::min(text.size(), static_cast<std::size_t>(item->cchTextMax - 1));
        std::copy_n(text.begin(), n, item->pszText);
        item->pszText[n] = 0;
        return static_cast<LRESULT>(n);
    }
    case LVM_SETITEMSTATE: {
        const auto* item = As<const LVITEMW>(lParam);
        if (!item)
            return 0;
        const int index = static_cast<int>(static_cast<std::int64_t>(wParam));
        auto apply = [&](Item& target) {
            target.state = (target.state & ~item->stateMask) | (item->state & item->stateMask);
        };
        if (index == -1) {
            for (auto& target : items)
                apply(target);
        } else if (index >= 0 && index < count) {
            if ((style & LVS_SINGLESEL) && (item->state & item->stateMask & LVIS_SELECTED))
                for (auto& other : items)
                    other.state &= ~LVIS_SELECTED;
            apply(items[static_cast<std::size_t>(index)]);
        } else {
            return 0;
        }
        selectionDirty = true;
        MarkDirty();
        return 1;
    }
    case LVM_GETITEMSTATE:
        return wParam < items.size() ? items[wParam].state & static_cast<unsigned>(lParam) : 0;
    case LVM_GETNEXTITEM: {
        const int start = static_cast<int>(static_cast<std::int64_t>(wParam));
        const auto flags = static_cast<unsigned>(lParam);
        for (int i = std::max(start + 1, 0); i < count; ++i) {
            const unsigned state = items[static_cast<std::size_t>(i)].state;
            if ((flags & LVNI_SELECTED) && !(state & LVIS_SELECTED))
                continue;
            if ((flags & LVNI_FOCUSED) && !(state & LVIS_FOCUSED))
                continue;
            return i;
        }
        return -1;
    }
    case LVM_SETEXTENDEDLISTVIEWSTYLE: {
        const unsigned old = exStyle;
        const auto mask = wParam ? static_cast<unsigned>(wParam) : 0xFFFFFFFFu;
        exStyle = (exStyle & ~mask) | (static_cast<unsigned>(lParam) & mask);
        MarkAll();
        return old;
    }
    case LVM_GETEXTENDEDLISTVIEWSTYLE:
        return exStyle;
    case LVM_SETROWCOLORS:
        if (const auto* colors_ = As<const RowColors>(lParam)) {
            colors = *colors_;
            MarkAll();
        }
        return 1;
    case LVM_REDRAWITEMS:
        MarkRows(std::min(static_cast<std::size_t>(wParam), items.size()));
        return 1;
    case LVM_ENSUREVISIBLE:
        return wParam < items.size() ? 1 : 0;
    case LVM_GETHEADER:
        return Handle();
    case HDM_GETITEMRECT: {
        auto* rect = As<RECT>(lParam);
        if (!rect || wParam >= columns.size())
            return 0;
        // Asked for every cell of every painted row: one left edge, not the list of them.
        const int left = ColumnLeft(wParam);
        *rect = RECT{left, 0, left + columns[wParam].width, rowHeight};
        return 1;
    }
    case WM_SETFONT:
        if (LOWORD(static_cast<WPARAM>(lParam)))
            MarkAll();
        return 0;
    case WM_GETFONT:
        return 0;
    default:
        handled = false;
        return 0;
    }
}

void ListView::ApplySelection(const std::vector<int>& selected, int focused) {
    for (auto& item : items)
        item.state &= ~(LVIS_SELECTED | LVIS_FOCUSED);
    for (int index : selected) {
        if (index < 0 || index >= static_cast<int>(items.size()))
            continue;
        items[static_cast<std::size_t>(index)].state |= LVIS_SELECTED;
        if (style & LVS_SINGLESEL)
            break;
    }
    if (focused >= 0 && focused < static_cast<int>(items.size()))
        items[static_cast<std::size_t>(focused)].state |= LVIS_FOCUSED;
}

void ListView::RightClick(int item, POINT position) {
    NMITEMACTIVATE notify;
    notify.hdr.hwndFrom = Handle();
    notify.hdr.idFrom = static_cast<std::uintptr_t>(controlId);
    notify.hdr.code = NM_RCLICK;
    notify.iItem = item >= 0 && item < static_cast<int>(items.size()) ? item : -1;
    notify.ptAction = position;
    if (notify.iItem >= 0)
        notify.lParam = items[static_cast<std::size_t>(item)].lParam;
    SendMessage(GetParent(Handle()), WM_NOTIFY, static_cast<WPARAM>(controlId),
                reinterpret_cast<LPARAM>(&notify));
}

} // namespace verdal::engine
