// What the main window does with each status code that workers post: the status line text, the
// connect buttons and a further effect, one row per code.
#pragma once

#include "app/main_page.h"
#include "device/connection.h"
#include "platform/messages.h"

#include <optional>
#include <string>

namespace verdal {

// What follows the text and the buttons. Status 2 has none of its own: the disconnect probe runs
// where the user asked for it (kDisconnectMessage), never after a connect that started by itself.
enum class StatusEffect {
    None,
    ShowDeviceState, // search controls enabled, device list and info line filled
    RefillFilters,   // the country and region selects filled again from the course table
};

struct StatusRow {
    StatusCode code;
    const char* text; // UTF-8, translated where shown; null: the text the message carries
    std::optional<ConnectButtons> buttons; // none: the buttons stay as they are
    StatusEffect effect;
};

// The row of a status code; null for a code outside the table (0, 6 to 8, 13 and above).
const StatusRow* FindStatus(WPARAM code);

// The status line text of a code in the session's language (UTF-8), as the page shows it and
// verdal-cli prints it; empty for a code outside the table and for CourseStored, whose text is the
// course's name that the message carries.
std::string StatusLineText(WPARAM code);

// The status line text of "DEVICE NOT CONNECTED" given why the last probe found no device: a
// reason to be shown (a port that exists but may not be opened, with the remedies: replug the
// device for the udev rule, or join the port's group; a port another program holds, named; a
// device unplugged during an operation) follows the text, so the user learns what to do; a reason
// aside (no port, no answer) is left to verdal-cli.
std::u16string NotConnectedText(const StatusReason& reason);

// The status line text of "UPDATE GOF FILE ERROR" given why the update failed: the reason follows
// the text ("UPDATE GOF FILE ERROR - the disk is full (update.xml)"); none, the text alone.
std::u16string UpdateErrorText(const std::string& problem);

// The same for "SERVER NOT CONNECTED" ("SERVER NOT CONNECTED - the server answered HTTP 503").
std::u16string ServerNotConnectedText(const std::string& problem);

} // namespace verdal
