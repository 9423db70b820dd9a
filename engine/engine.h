// The engine's views: a window that shows a page owns a view, the document mirrored in the
// process (engine/dom.h) and drawn by the browser. This header is what a page host relies on:
// loading documents, the notifications and element events it receives, the page's sizes, and
// the program-wide services the browser gives (beep, media type, the mouse position).
//
// Threads: every function here is for the user-interface thread, except where said otherwise.
// Changes made to a document are sent to the browser as patches after each dispatched message.
#pragma once

#include "engine/dom.h"
#include "platform/window.h"

#include <functional>
#include <string>
#include <string_view>

namespace verdal::engine {

struct RECT {
    int left = 0, top = 0, right = 0, bottom = 0;
};
struct POINT {
    int x = 0, y = 0;
};

// Notification codes the engine sends to a view's callback (NMHDR::code).
inline constexpr int HLN_CREATE_CONTROL = 0xB00;
inline constexpr int HLN_LOAD_DATA = 0xB01;
inline constexpr int HLN_CONTROL_CREATED = 0xB02;
inline constexpr int HLN_DATA_LOADED = 0xB03;
inline constexpr int HLN_DOCUMENT_COMPLETE = 0xB04;
inline constexpr int HLN_DESTROY_CONTROL = 0xB06;
inline constexpr int HLN_ATTACH_BEHAVIOR = 0xB07;
inline constexpr int HLN_DOCUMENT_LOADED = 0xB0A;
// Notices no view here sends; a host that gets one acknowledges it with 0.
inline constexpr int HLN_BEHAVIOR_CHANGED = 0xB08;
inline constexpr int HLN_DIALOG_CLOSE_RQ = 0xB09;
inline constexpr int HLN_DIALOG_CREATED = 0xB0F;

// Create a native control for a `widget` element; the callback writes outControlHwnd.
struct NMHL_CREATE_CONTROL {
    NMHDR hdr;
    Element helement;
    HWND inHwndParent = 0;
    HWND outControlHwnd = 0;
};
// Data for a URI the page refers to; the callback answers with DataReady before returning.
struct NMHL_LOAD_DATA {
    NMHDR hdr;
    std::u16string uri;
};
struct NMHL_ATTACH_BEHAVIOR {
    NMHDR hdr;
    Element element;
    std::string behaviorName;
};

// Element event groups (subscription mask bits; group 0 is always delivered).
inline constexpr unsigned HANDLE_INITIALIZATION = 0;
inline constexpr unsigned HANDLE_MOUSE = 1;
inline constexpr unsigned HANDLE_KEY = 2;
inline constexpr unsigned HANDLE_FOCUS = 4;
inline constexpr unsigned HANDLE_SCROLL = 8;
inline constexpr unsigned HANDLE_SIZE = 32;
inline constexpr unsigned HANDLE_DATA_ARRIVED = 128;
inline constexpr unsigned HANDLE_BEHAVIOR_EVENT = 256;
inline constexpr unsigned HANDLE_METHOD_CALL = 512;

// Behaviour event types.
inline constexpr unsigned BUTTON_CLICK = 0;
inline constexpr unsigned BUTTON_STATE_CHANGED = 2;
inline constexpr unsigned EDIT_VALUE_CHANGED = 4;
inline constexpr unsigned SELECT_SELECTION_CHANGED = 5;

// The behaviour-event record: the event type first, the target element second.
struct BEHAVIOR_EVENT_PARAMS {
    unsigned cmd = 0;
    Element heTarget;
    Element he;
    unsigned reason = 0;
};

// Keyboard events: KEY_DOWN with the key code (13 for Enter, as the browser's keyCode).
inline constexpr unsigned KEY_DOWN = 0;
struct KEY_PARAMS {
    unsigned cmd = KEY_DOWN;
    Element target;
    unsigned key_code = 0;
    unsigned alt_state = 0; // 1 control, 2 shift, 4 alt
};

// What a page host gives its view: the notification procedure and the element event procedure.
class ViewCallbacks {
public:
    virtual ~ViewCallbacks() = default;
    // Engine notifications (NMHDR::code one of the HLN_ codes, the header first in its record).
    virtual LRESULT OnEngineNotify(NMHDR& header) = 0;
    // Element events of the subscribed groups; params points at the group's record. Answers
    // whether the event was handled.
    virtual bool OnElementEvent(const Element& he, unsigned group, void* params) = 0;
};

enum class ViewKind {
    Window, // fills the browser tab (the main window)
    Dialog, // a modal overlay above the views opened before it
    Nested, // drawn inside the iframe element its page host made it for
};

// Makes the window a view of the given kind, with an empty document. False when it already is.
bool CreateView(HWND hwnd, ViewKind kind);
// Forgets the view; the browser drops it. Nothing happens for a window that is no view.
void DestroyView(HWND hwnd);
bool IsView(HWND hwnd);

void SetCallback(HWND view, ViewCallbacks* callbacks);
void AttachEventHandler(HWND view, ViewCallbacks* handler, unsigned subscription);
// The CSS media type of the next document loaded into the view ("screen", "contrast-screen").
void SetMediaType(HWND view, std::string_view mediaType);

// Loads a document from UTF-8 bytes; create-control notifications run for its widget and iframe
// elements before this returns. False for an unknown view.
bool LoadHtml(HWND view, std::string_view html);
// Loads a document by URL through the load-data notification; true when data arrived.
bool LoadFile(HWND view, std::u16string_view url);
// Hands data for a requested URI to the engine: the answer to HLN_LOAD_DATA, for the view that
// asked (the record's hdr.hwndFrom). False when that view has no request waiting.
bool DataReady(HWND view, std::u16string_view uri, const void* data, std::size_t size);
// Asks the view's callback for a URI's data; answers true with the bytes when it supplied them.
bool RequestData(HWND view, std::u16string_view uri, std::string& data);

Element ViewRoot(HWND view);
HWND ViewOfElement(const Element& element);

// The page's minimum width and its minimum height, in pixels, as the browser measured them
// (0 until the browser has shown the page).
int GetMinWidth(HWND view);
int GetMinHeight(HWND view, int width);

// A dialog view's box: width and height in pixels (0: the page's own size) and the band by
// which it can be dragged (height 0: none), short of a right margin.
void SetDialogFrame(HWND view, int width, int height, int bandHeight, int bandRightMargin);

// The position of the mouse at the last browser event, in page pixels.
POINT GetMessagePos();

// Sounds the default beep in the browser.
void MessageBeep(unsigned type);

// The media type the browser asks for: "contrast-screen" when it reports more contrast or
// forced colours, else "screen".
std::string PreferredMediaType();

// Runs a function on the user-interface thread; any thread. False when there is no engine
// object (engine/engine_object.h), or it is gone.
bool PostTask(std::function<void()> task);

// Sends what changed since the last flush to every browser connection now.
void Flush();

} // namespace verdal::engine
