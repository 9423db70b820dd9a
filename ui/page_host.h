// Page hosts: windows that own an engine view, load a page from the program's resources,
// answer the engine's notifications (data for URLs, native controls for widgets, behaviours),
// route element events to their owner's handlers and report the size the page needs.
//
// CPageHost is the base of the main window (subscription 258: behaviour and keyboard events,
// drawn as the browser tab) and of CPageWnd, the page window inside every modal dialog
// (subscription 256, drawn as an overlay). CPageDlg runs a CPageWnd as a modal dialog.
//
// Message routing: a derived class's ProcessPageMessage sees every message first; what it
// leaves unhandled is reflected when it is a notification of a child control (WM_COMMAND from a
// control, WM_NOTIFY, WM_DRAWITEM, WM_MEASUREITEM go back to the control as the message plus
// 0x2000); WM_CLOSE destroys the window.
//
// Threads: user-interface thread only.
#pragma once

#include "engine/engine.h"
#include "platform/window.h"
#include "ui/element.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace verdal {

inline constexpr UINT WM_NCHITTEST = 0x0084;

class CPageHost : public Window, public engine::ViewCallbacks {
public:
    CPageHost(unsigned subscription, engine::ViewKind kind)
        : subscription_(subscription), kind_(kind) {}

    // Creates the host window as a child (or owned window) of parent; 0 on failure.
    HWND Create(HWND parent);

    // Applies the media type, then loads the RT_HTML resource with the id, translated into the
    // session's language (ui/page_text.h); false when it is missing or empty.
    bool LoadPage(int pageId);
    // Applies the media type, then loads the document the URL names (through OnLoadData).
    bool LoadUrl(std::u16string_view url);
    // "contrast-screen" when the browser asks for more contrast or forced colours, else
    // "screen"; set on the view for the next load.
    void ApplyMediaType();

    // The page's minimum width, and its minimum height at a window width, in pixels (the
    // windows here have no frame). The height grows by a scroll bar (17 px) when the width is
    // below the page's minimum width.
    int MinWindowWidth();
    int MinWindowHeight(int windowWidth);

    // The load-data answer: 0 (the engine goes on, with or without data) or 1 (dropped).
    virtual LRESULT OnLoadData(engine::NMHL_LOAD_DATA& record);
    // Creates the widget's native control; always 0.
    virtual LRESULT OnCreateControl(engine::NMHL_CREATE_CONTROL& record);
    // No named behaviours: always 0.
    virtual LRESULT OnAttachBehavior(engine::NMHL_ATTACH_BEHAVIOR& record);

    // Element event handlers; each answers whether it handled the event. Behaviour events and
    // keys are the only events the engine reports.
    virtual bool OnBehaviorEvent(engine::BEHAVIOR_EVENT_PARAMS& params);
    virtual bool OnKey(const Element& he, engine::KEY_PARAMS& params);

    // Widget creators, one per type; each writes the control into the record (1 on failure).
    virtual LRESULT CreateWidget(HWND parent, engine::NMHL_CREATE_CONTROL& record,
                                 const std::string& type);

    // A nested view for an iframe element: shows a placeholder, then the page its "src" names.
    LRESULT CreateNestedView(HWND parent, engine::NMHL_CREATE_CONTROL& record, int controlId);

    // A derived class's message map.
    virtual bool ProcessPageMessage(HWND, UINT, WPARAM, LPARAM, LRESULT&) { return false; }

    // engine::ViewCallbacks
    LRESULT OnEngineNotify(NMHDR& header) override;
    bool OnElementEvent(const Element& he, unsigned group, void* params) override;

    bool ProcessWindowMessage(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam,
                              LRESULT& result) final;

protected:
    // Hands resource data to the engine for the view that asked (this host's own, or a nested
    // view it made); the default is engine::DataReady.
    virtual bool ProvideData(HWND view, std::u16string_view uri, const void* data,
                             std::size_t size);

private:
    bool Reflect(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result);

    unsigned subscription_;
    engine::ViewKind kind_;
};

// The page window of a modal dialog.
class CPageWnd : public CPageHost {
public:
    // subscription: the element events the page's handlers see (behaviour events, and keys
    // when asked).
    explicit CPageWnd(unsigned subscription = engine::HANDLE_BEHAVIOR_EVENT)
        : CPageHost(subscription, engine::ViewKind::Dialog) {}

    // Runs once the dialog is sized and placed.
    virtual void OnShown() {}
    // The progress message 10858 with its percentage.
    virtual void OnProgress(int) {}
    // The progress text message 10859 with the dialog's new text line (UTF-8).
    virtual void OnProgressText(const std::string&) {}
    // The window to centre the dialog on; 0 for the owner.
    virtual HWND CenterOn() { return 0; }

    // The band by which the dialog can be dragged: its height and a right margin, in pixels.
    int bandHeight = 0;
    int bandRightMargin = 0;

    bool ProcessPageMessage(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam,
                            LRESULT& result) override;
};

// A modal dialog that shows one page window over its whole area, sized to the page (or to
// width and height when not 0), centred by the browser.
class CPageDlg : public Window {
public:
    CPageDlg(int pageId, CPageWnd& page, int width = 0, int height = 0)
        : pageId_(pageId), page_(page), width_(width), height_(height) {}

    // Runs the dialog and answers EndDialog's value; -1 when it cannot start.
    std::intptr_t DoModal(HWND owner);

    bool ProcessWindowMessage(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam,
                              LRESULT& result) override;

private:
    int pageId_;
    CPageWnd& page_;
    int width_, height_;
};

} // namespace verdal
