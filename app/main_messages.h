// The messages the main window receives beside the system's status and progress messages
// (platform/messages.h), with the data each carries. Workers post them; the main window handles
// them on the user-interface thread.
#pragma once

#include "device/device_course_list.h"
#include "platform/window.h"
#include "store/course_record.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace verdal {

// From a worker that threw: the status line text (lParam: a std::u16string owned by the
// message).
inline constexpr UINT kFailureMessage = WM_USER + 1;

// From the search worker: append these catalogue rows (lParam: a CatalogueRows, emptied).
inline constexpr UINT kCatalogueRowsMessage = WM_USER + 2;
using CatalogueRows = std::vector<std::unique_ptr<CourseTexts>>;
// Rows the search worker hands over at a time.
inline constexpr std::size_t kCatalogueBatch = 200;

// From the connect worker: what it read from the device (lParam: a DeviceState owned by the
// message). It is posted before the statuses that show it.
inline constexpr UINT kDeviceStateMessage = WM_USER + 3;
struct DeviceState {
    std::int32_t capacity = 0;
    DeviceCourseList courses;
};

// From the connect worker when no device could be connected, or the device went during the
// server check: the capacity is 0 until a device is read again, so that nothing is judged against
// the last device's room, and the connect has said for itself whether the device was lost (no
// data).
inline constexpr UINT kConnectFailedMessage = WM_USER + 4;

// From the port watcher: the ports present now, in probe order (lParam: a
// std::vector<std::string> owned by the message). See app/hotplug.h.
inline constexpr UINT kPortsMessage = WM_USER + 5;

// From the serial receive thread: the port of the open link has failed, the device is gone, and
// the link has closed (no data).
inline constexpr UINT kLinkLostMessage = WM_USER + 6;

// After a status 2 that the user's own request ended in ("Disconnect", an operation that found no
// device, the connect at start-up or after "Connect"): the disconnect probe (DisconnectDevice),
// which tells the device "$EXIT" wherever it can be reached (no data). A connect that started by
// itself posts none: its failure only shows.
inline constexpr UINT kDisconnectMessage = WM_USER + 7;

} // namespace verdal
