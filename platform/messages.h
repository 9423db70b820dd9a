// The window messages by which worker threads report to the user-interface thread, and the
// status codes of the status message. Workers only ever post these, never send them.
#pragma once

#include "platform/window.h"

namespace verdal {

// To the main window: wParam is a StatusCode; for StatusCode::CourseStored lParam is the
// address of a std::u16string owned by the message (post it with PostMessageWith).
inline constexpr UINT kStatusMessage = 2024;
// To the page window of an open progress dialog: wParam is a percentage (0 to 100), lParam 0.
inline constexpr UINT kProgressMessage = 10858;

enum class StatusCode : WPARAM {
    Connecting = 1,         // "CONNECTING TO DEVICE"
    NotConnected = 2,       // "DEVICE NOT CONNECTED"
    SerialNumberError = 3,  // "DEVICE SN ERROR"
    ConnectingServer = 4,   // "CONNECTING TO SERVER"
    ServerNotConnected = 5, // "SERVER NOT CONNECTED"
    CourseStored = 9,       // the stored course's name, carried by the message
    Connected = 10,         // "DEVICE CONNECTED"
    UpdateCompleted = 11,   // "UPDATE GOF FILE COMPLETED"
    UpdateError = 12,       // "UPDATE GOF FILE ERROR"
};

// Posts a status without text to the main window.
inline bool PostStatus(HWND mainWindow, StatusCode code) {
    return PostMessage(mainWindow, kStatusMessage, static_cast<WPARAM>(code), 0);
}

} // namespace verdal
