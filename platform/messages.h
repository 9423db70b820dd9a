// The window messages by which worker threads report to the user-interface thread, and the
// status codes of the status message. Workers only ever post these, never send them.
#pragma once

#include "platform/window.h"

#include <memory>
#include <string>

namespace verdal {

// To the main window: wParam is a StatusCode; lParam is 0 or the address of a StatusReason owned
// by the message (see PostStatus): the course's name for CourseStored, why the step failed for
// NotConnected and UpdateError.
inline constexpr UINT kStatusMessage = 2024;
// To the page window of an open progress dialog: wParam is a percentage (0 to 100), lParam 0.
inline constexpr UINT kProgressMessage = 10858;
// To the page window of an open progress dialog: lParam is the address of the dialog's new text
// line (a std::string, UTF-8) owned by the message (see PostMessageWith); wParam 0.
inline constexpr UINT kProgressTextMessage = 10859;

// What a worker reports; the text each shows on the status line is the main window's status
// table's.
enum class StatusCode : WPARAM {
    Connecting = 1,         // the connect worker looks for the device
    NotConnected = 2,       // no device found, or it stopped answering
    SerialNumberError = 3,  // the device answered with an empty serial number
    ConnectingServer = 4,   // the server check begins
    ServerNotConnected = 5, // the server check failed
    CourseStored = 9,       // the stored course's name, carried by the message
    Connected = 10,         // the server check succeeded
    UpdateCompleted = 11,   // a catalogue update ended well
    UpdateError = 12,       // a catalogue update failed
};

// What a status's reason is for, so that each reader decides by its kind, never by its words.
enum class ReasonKind {
    Shown,     // follows the status text on the status line (why an update failed, a remedy)
    PortHeld,  // shown as well: another program holds the port, and the words name it
    Unplugged, // shown as well: the device was pulled out under a connect or an operation
    Aside,     // for verdal-cli and standard error only (the ports tried, none answered)
};

// Why a step failed, in words for the user (UTF-8, in the session's language), and its kind.
struct StatusReason {
    std::string text;
    ReasonKind kind = ReasonKind::Shown;
};

// Posts a status to the main window; a reason whose text is not empty travels with it.
inline bool PostStatus(HWND mainWindow, StatusCode code, StatusReason reason) {
    if (reason.text.empty())
        return PostMessage(mainWindow, kStatusMessage, static_cast<WPARAM>(code), 0);
    return PostMessageWith(mainWindow, kStatusMessage, static_cast<WPARAM>(code),
                           std::make_unique<StatusReason>(std::move(reason)));
}
// The same with a text to be shown (UTF-8): a course's name, why an update failed.
inline bool PostStatus(HWND mainWindow, StatusCode code, std::string text = {}) {
    return PostStatus(mainWindow, code, StatusReason{std::move(text), ReasonKind::Shown});
}

// The reason a status message carries; an empty one when it carries none.
inline StatusReason StatusReasonOf(LPARAM lParam) {
    return lParam ? *reinterpret_cast<const StatusReason*>(lParam) : StatusReason{};
}
// Its text (UTF-8); empty when it carries none.
inline std::string StatusText(LPARAM lParam) {
    return StatusReasonOf(lParam).text;
}

} // namespace verdal
