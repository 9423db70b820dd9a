// The browser's messages, as protocol.h lays them out: views, list views, element patches and
// the notices, encoded as JSON.
#include "engine/form_controls.h"
#include "engine/internal.h"
#include "platform/text.h"

#include <nlohmann/json.hpp>

namespace verdal::engine {

using nlohmann::json;
using protocol::Name;
using protocol::Op;

namespace {

std::string Color(const RGB& c) {
    return "rgb(" + std::to_string(c.r) + "," + std::to_string(c.g) + "," + std::to_string(c.b) +
           ")";
}

json Texts(const std::vector<std::u16string>& texts) {
    json out = json::array();
    for (const auto& text : texts)
        out.push_back(Utf16ToUtf8(text));
    return out;
}

json ListJson(ListView& list) {
    list.PaintTexts();
    json columns = json::array();
    for (const auto& column : list.columns)
        columns.push_back({{"text", Utf16ToUtf8(column.text)}, {"width", column.width}});
    json rows = json::array();
    for (const auto& item : list.items)
        rows.push_back(Texts(item.shown));
    list.fullDirty = false;
    list.rowsDirtyFrom = SIZE_MAX;
    list.selectionDirty = false;
    return {{"o", Name(Op::List)},
            {"hwnd", list.Handle()},
            {"singleSelect", (list.style & LVS_SINGLESEL) != 0},
            {"noHeader", (list.style & LVS_NOCOLUMNHEADER) != 0},
            {"grid", (list.exStyle & LVS_EX_GRIDLINES) != 0},
            {"rowHeight", list.rowHeight},
            {"columns", columns},
            {"rows", rows},
            {"sel", list.Selected()},
            {"colors",
             {{"background", Color(list.colors.background)},
              {"outer", Color(list.colors.outer)},
              {"inner", Color(list.colors.inner)},
              {"top", Color(list.colors.gradientTop)},
              {"bottom", Color(list.colors.gradientBottom)}}}};
}

json MenuJson(const MenuOnScreen& menu) {
    json items = json::array();
    for (const auto& item : menu.popup.items)
        items.push_back({{"id", item.id},
                         {"text", Utf16ToUtf8(item.text)},
                         {"sep", item.separator},
                         {"dis", item.disabled}});
    return {{"o", Name(Op::Menu)}, {"token", menu.token}, {"x", menu.x},
            {"y", menu.y},         {"items", items},      {"title", Utf16ToUtf8(menu.popup.title)}};
}

std::string DocumentHtml(HWND hwnd, const View& view) {
    std::string html = SerializeForBrowser(*view.document->Root().node(), true);
    // Relative URLs of the page are asked of its host; the engine's look comes first.
    const std::string inject = "<base href=\"/data/" + std::to_string(hwnd) +
                               "/\"><link rel=\"stylesheet\" href=\"/engine.css\">";
    const std::size_t head = html.find("<head ");
    const std::size_t close = head == std::string::npos ? head : html.find('>', head);
    if (close != std::string::npos)
        html.insert(close + 1, inject);
    return "<!DOCTYPE html>" + html;
}

json ViewJson(HWND hwnd, View& view) {
    view.reload = false;
    view.document->TakePatches();
    return {{"o", Name(Op::View)},
            {"hwnd", hwnd},
            {"kind", view.kind == ViewKind::Dialog   ? "dialog"
                     : view.kind == ViewKind::Nested ? "nested"
                                                     : "window"},
            {"order", view.order},
            {"media", view.mediaType},
            {"width", view.width},
            {"height", view.height},
            {"band", {view.bandHeight, view.bandMargin}},
            {"html", DocumentHtml(hwnd, view)}};
}

json PatchJson(HWND hwnd, const PatchOp& op) {
    auto node = op.node.lock();
    if (!node || !node->document)
        return nullptr;
    Element element(node);
    switch (op.kind) {
    case PatchOp::Kind::Inner:
        return {{"o", Name(Op::Inner)},
                {"hwnd", hwnd},
                {"id", node->uid},
                {"html", SerializeForBrowser(*node, false)}};
    case PatchOp::Kind::Attribute: {
        std::string value;
        const bool present = element.GetAttribute(op.name, value);
        return {{"o", Name(Op::Attribute)},
                {"hwnd", hwnd},
                {"id", node->uid},
                {"name", op.name},
                {"value", present ? json(value) : json(nullptr)}};
    }
    case PatchOp::Kind::Value:
        return {{"o", Name(Op::Value)},
                {"hwnd", hwnd},
                {"id", node->uid},
                {"value", Utf16ToUtf8(ControlGetValue(element).ToString())}};
    case PatchOp::Kind::Checked:
        return {{"o", Name(Op::Checked)}, {"hwnd", hwnd}, {"id", node->uid}, {"on", node->checked}};
    }
    return nullptr;
}

std::string Message(std::string_view kind, json ops) {
    return json{{"t", kind}, {"ops", std::move(ops)}}.dump(-1, ' ', false,
                                                           json::error_handler_t::replace);
}

} // namespace

std::string StateMessage() {
    EngineState& s = State();
    json ops = json::array();
    for (auto& [hwnd, view] : s.views)
        ops.push_back(ViewJson(hwnd, view));
    for (auto& [hwnd, list] : s.lists)
        ops.push_back(ListJson(*list));
    if (s.openMenu.token != 0)
        ops.push_back(MenuJson(s.openMenu));
    s.closed.clear();
    return Message(protocol::kStateMessage, std::move(ops));
}

std::string PatchMessage() {
    EngineState& s = State();
    json ops = json::array();
    for (HWND hwnd : s.closed)
        ops.push_back({{"o", Name(Op::Close)}, {"hwnd", hwnd}});
    s.closed.clear();
    for (auto& [hwnd, view] : s.views) {
        if (view.reload) {
            ops.push_back(ViewJson(hwnd, view));
            continue;
        }
        for (const PatchOp& op : view.document->TakePatches()) {
            json patch = PatchJson(hwnd, op);
            if (!patch.is_null())
                ops.push_back(std::move(patch));
        }
    }
    for (auto& [hwnd, list] : s.lists) {
        if (list->fullDirty) {
            ops.push_back(ListJson(*list));
            continue;
        }
        if (list->rowsDirtyFrom != SIZE_MAX) {
            const std::size_t from = std::min(list->rowsDirtyFrom, list->items.size());
            list->PaintTexts();
            json rows = json::array();
            for (std::size_t i = from; i < list->items.size(); ++i)
                rows.push_back(Texts(list->items[i].shown));
            ops.push_back({{"o", Name(Op::Rows)},
                           {"hwnd", list->Handle()},
                           {"start", from},
                           {"count", list->items.size()},
                           {"rows", rows}});
            list->rowsDirtyFrom = SIZE_MAX;
        }
        if (list->selectionDirty) {
            ops.push_back(
                {{"o", Name(Op::Selection)}, {"hwnd", list->Handle()}, {"sel", list->Selected()}});
            list->selectionDirty = false;
        }
    }
    for (const Notice& notice : s.notices)
        ops.push_back(notice.op == Op::Menu ? MenuJson(notice.menu) : json{{"o", Name(notice.op)}});
    s.notices.clear();
    if (ops.empty())
        return {};
    return Message(protocol::kPatchMessage, std::move(ops));
}

} // namespace verdal::engine
