// Page hosts: loading pages, the engine's notifications, element events, reflection, sizing,
// and the modal page dialog.
#include "ui/page_host.h"

#include "engine/listview.h"
#include "platform/messages.h"
#include "platform/text.h"
#include "ui/page_text.h"
#include "ui/resources.h"
#include "ui/widgets.h"

namespace verdal {

using namespace engine;

namespace {

constexpr int kScrollBarHeight = 17;

} // namespace

HWND CPageHost::Create(HWND parent) {
    return CreateWindowFor(*this, parent);
}

void CPageHost::ApplyMediaType() {
    SetMediaType(Handle(), PreferredMediaType());
}

bool CPageHost::LoadPage(int pageId) {
    ApplyMediaType();
    ResourceData data;
    if (!FindResource(pageId, RT_HTML, data) || data.size == 0)
        return false;
    if (!LoadHtml(Handle(), std::string_view(reinterpret_cast<const char*>(data.data), data.size)))
        return false;
    TranslatePage(ViewRoot(Handle()));
    return true;
}

bool CPageHost::LoadUrl(std::u16string_view url) {
    ApplyMediaType();
    return LoadFile(Handle(), url);
}

int CPageHost::MinWindowWidth() {
    return GetMinWidth(Handle());
}

int CPageHost::MinWindowHeight(int windowWidth) {
    const int height = GetMinHeight(Handle(), windowWidth);
    return windowWidth < GetMinWidth(Handle()) ? height + kScrollBarHeight : height;
}

bool CPageHost::ProvideData(HWND view, std::u16string_view uri, const void* data,
                            std::size_t size) {
    return DataReady(view, uri, data, size);
}

LRESULT CPageHost::OnLoadData(NMHL_LOAD_DATA& record) {
    std::u16string_view uri = record.uri;
    if (uri.empty())
        return 1;
    if (uri.rfind(u"file:", 0) == 0 || uri.rfind(u"http:", 0) == 0 || uri.rfind(u"https:", 0) == 0)
        return 0;
    if (uri.rfind(u"res:", 0) == 0)
        uri.remove_prefix(4);
    // Resource names are looked up in a buffer of 260 characters.
    std::u16string copy(uri.substr(0, 259));
    // Resources come only from the program itself: the part before the last '/' never names a
    // file to read.
    const std::size_t slash = copy.rfind(u'/');
    std::u16string name = slash == std::u16string::npos ? copy : copy.substr(slash + 1);
    int type = RT_HTML;
    std::string typeName;
    const std::size_t dot = name.rfind(u'.');
    if (dot != std::u16string::npos) {
        typeName = Utf16ToUtf8(name.substr(dot + 1));
        name.resize(dot);
        if (EqualsNoCase(typeName, "HTML"))
            typeName.clear();
    }
    ResourceData data;
    if (!FindResource(Utf16ToUtf8(name), type, typeName, data))
        return 0;
    if (!data.data || data.size == 0)
        return 1;
    ProvideData(record.hdr.hwndFrom, uri, data.data, data.size);
    return 0;
}

LRESULT CPageHost::OnCreateControl(NMHL_CREATE_CONTROL& record) {
    std::string type;
    if (record.helement.GetAttribute("type", type) && FindWidgetType(type))
        return CreateWidget(record.inHwndParent, record, type);
    if (record.helement.Tag() == "iframe")
        return CreateWidget(record.inHwndParent, record, "iframe");
    return 0;
}

LRESULT CPageHost::CreateWidget(HWND parent, NMHL_CREATE_CONTROL& record, const std::string& type) {
    const Element& element = record.helement;
    const WidgetType* row = FindWidgetType(type);
    std::uint32_t style = StyleFromKeywords(element, kWindowStyleKeywords, kDefaultWidgetStyle);
    if (row && row->keywords)
        style |= StyleFromKeywords(element, *row->keywords, 0);
    const std::uint32_t exStyle = StyleFromKeywords(element, kExtendedStyleKeywords, 0);
    const int id = IntAttribute(element, "id", 0);
    if (!row)
        return CreateNestedView(parent, record, id);
    const HWND hwnd = CreateNativeWindow(row->className, style, exStyle, parent, id);
    record.outControlHwnd = hwnd != 0 ? hwnd : 1;
    if (hwnd != 0 && type == "sys-listview") {
        const std::uint32_t listExStyle = StyleFromKeywords(element, kListViewExtendedKeywords, 0);
        if (listExStyle != 0)
            SendMessage(hwnd, LVM_SETEXTENDEDLISTVIEWSTYLE, listExStyle, listExStyle);
    }
    return 0;
}

namespace {

// A view inside an iframe element: its data and controls come from the page host that made it.
class NestedView : public Window {
public:
    explicit NestedView(CPageHost& host) : host_(host) {}
    bool ProcessWindowMessage(HWND hwnd, UINT message, WPARAM, LPARAM, LRESULT&) override {
        if (message == WM_CREATE) {
            CreateView(hwnd, ViewKind::Nested);
            SetCallback(hwnd, &host_);
        } else if (message == WM_DESTROY) {
            DestroyView(hwnd);
        }
        return false;
    }
    void OnFinalMessage(HWND) override { delete this; }

private:
    CPageHost& host_;
};

// What a nested view shows until it loads a page of its own.
constexpr char kPlaceholder[] =
    "<html><body leftmargin=1 topmargin=1 rightmargin=1 bottommargin=1>&nbsp;</body></html>";

} // namespace

LRESULT CPageHost::CreateNestedView(HWND parent, NMHL_CREATE_CONTROL& record, int id) {
    auto* view = new NestedView(*this);
    const HWND hwnd = CreateWindowFor(*view, parent);
    if (hwnd == 0) {
        delete view;
        record.outControlHwnd = 1;
        return 0;
    }
    SetDlgCtrlID(hwnd, id);
    SetMediaType(hwnd, PreferredMediaType());
    LoadHtml(hwnd, std::string_view(kPlaceholder, sizeof kPlaceholder - 1));
    std::string src;
    if (record.helement.GetAttribute("src", src)) {
        // Pages have no address of their own here, so a relative URL stays as written.
        const std::u16string url = Utf8ToUtf16(src).substr(0, 2047);
        SetMediaType(hwnd, PreferredMediaType());
        LoadFile(hwnd, url);
    }
    record.outControlHwnd = hwnd;
    return 0;
}

LRESULT CPageHost::OnAttachBehavior(NMHL_ATTACH_BEHAVIOR&) {
    return 0;
}

bool CPageHost::OnBehaviorEvent(BEHAVIOR_EVENT_PARAMS&) {
    return false;
}

bool CPageHost::OnKey(const Element&, KEY_PARAMS&) {
    return false;
}

LRESULT CPageHost::OnEngineNotify(NMHDR& header) {
    switch (header.code) {
    case HLN_CREATE_CONTROL:
        return OnCreateControl(reinterpret_cast<NMHL_CREATE_CONTROL&>(header));
    case HLN_LOAD_DATA:
        return OnLoadData(reinterpret_cast<NMHL_LOAD_DATA&>(header));
    case HLN_ATTACH_BEHAVIOR:
        return OnAttachBehavior(reinterpret_cast<NMHL_ATTACH_BEHAVIOR&>(header));
    case HLN_CONTROL_CREATED:
    case HLN_DATA_LOADED:
    case HLN_DOCUMENT_COMPLETE:
    case HLN_DESTROY_CONTROL:
    case HLN_BEHAVIOR_CHANGED:
    case HLN_DIALOG_CLOSE_RQ:
    case HLN_DIALOG_CREATED:
    case HLN_DOCUMENT_LOADED:
        return 0;
    default: {
        const HWND parent = GetParent(Handle());
        return parent ? SendMessage(parent, WM_NOTIFY, header.idFrom,
                                    reinterpret_cast<LPARAM>(&header))
                      : 0;
    }
    }
}

bool CPageHost::OnElementEvent(const Element& he, unsigned group, void* params) {
    if (group != HANDLE_INITIALIZATION && !(subscription_ & group))
        return false;
    switch (group) {
    case HANDLE_BEHAVIOR_EVENT:
        return OnBehaviorEvent(*static_cast<BEHAVIOR_EVENT_PARAMS*>(params));
    case HANDLE_KEY:
        return OnKey(he, *static_cast<KEY_PARAMS*>(params));
    default:
        return false;
    }
}

bool CPageHost::Reflect(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) {
    HWND control = 0;
    switch (message) {
    case WM_COMMAND:
        control = static_cast<HWND>(lParam);
        break;
    case WM_NOTIFY:
        if (const auto* header = reinterpret_cast<const NMHDR*>(lParam))
            control = header->hwndFrom;
        break;
    case WM_DRAWITEM:
        if (const auto* draw = reinterpret_cast<const DRAWITEMSTRUCT*>(lParam))
            control = draw->hwndItem;
        break;
    case WM_MEASUREITEM:
        control = GetDlgItem(Handle(), static_cast<int>(wParam));
        break;
    default:
        return false;
    }
    if (control == 0 || control == Handle() || !IsWindow(control))
        return false;
    result = SendMessage(control, OCM_BASE + message, wParam, lParam);
    return true;
}

bool CPageHost::ProcessWindowMessage(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam,
                                     LRESULT& result) {
    if (message == WM_CREATE) {
        CreateView(hwnd, kind_);
        SetCallback(hwnd, this);
        AttachEventHandler(hwnd, this, subscription_);
    }
    if (ProcessPageMessage(hwnd, message, wParam, lParam, result))
        return true;
    switch (message) {
    case WM_DESTROY:
        DestroyView(hwnd);
        return false;
    case WM_CLOSE:
        DestroyWindow(hwnd);
        return true;
    default:
        return Reflect(message, wParam, lParam, result);
    }
}

bool CPageWnd::ProcessPageMessage(HWND, UINT message, WPARAM wParam, LPARAM lParam,
                                  LRESULT& result) {
    if (message == kProgressMessage) {
        OnProgress(static_cast<int>(static_cast<std::int64_t>(wParam)));
        result = 0;
        return true;
    }
    if (message == kProgressTextMessage && lParam) {
        OnProgressText(*reinterpret_cast<const std::string*>(lParam));
        result = 0;
        return true;
    }
    return false;
}

std::intptr_t CPageDlg::DoModal(HWND owner) {
    return DialogBox(*this, owner);
}

bool CPageDlg::ProcessWindowMessage(HWND hwnd, UINT message, WPARAM, LPARAM, LRESULT& result) {
    if (message != WM_INITDIALOG)
        return false;
    page_.Create(hwnd);
    page_.LoadPage(pageId_);
    const int width = width_ ? width_ : page_.MinWindowWidth();
    const int height = height_ ? height_ : page_.MinWindowHeight(width);
    // The browser sizes a dialog to its page when no size is known yet and centres it.
    SetDialogFrame(page_.Handle(), width, height, page_.bandHeight, page_.bandRightMargin);
    page_.OnShown();
    result = 0;
    return true;
}

} // namespace verdal
