// The status table of the main window.
#include "app/status_table.h"

#include "platform/text.h"

#include <array>

namespace verdal {
namespace {

constexpr std::array<StatusRow, 9> kStatusTable{{
    {StatusCode::Connecting, u"CONNECTING TO DEVICE", kButtonsUnchanged, 0, StatusEffect::None},
    {StatusCode::NotConnected, u"DEVICE NOT CONNECTED", 0, 1, StatusEffect::Disconnect},
    {StatusCode::SerialNumberError, u"DEVICE SN ERROR", 0, 1, StatusEffect::None},
    {StatusCode::ConnectingServer, u"CONNECTING TO SERVER", kButtonsUnchanged, 0,
     StatusEffect::None},
    {StatusCode::ServerNotConnected, u"SERVER NOT CONNECTED", 0, 1, StatusEffect::None},
    {StatusCode::CourseStored, nullptr, kButtonsUnchanged, 0, StatusEffect::None},
    {StatusCode::Connected, u"DEVICE CONNECTED", 1, 0, StatusEffect::ShowDeviceState},
    {StatusCode::UpdateCompleted, u"UPDATE GOF FILE COMPLETED", kButtonsUnchanged, 0,
     StatusEffect::RefillFilters},
    {StatusCode::UpdateError, u"UPDATE GOF FILE ERROR", kButtonsUnchanged, 0, StatusEffect::None},
}};

} // namespace

const StatusRow* FindStatus(WPARAM code) {
    for (const StatusRow& row : kStatusTable)
        if (static_cast<WPARAM>(row.code) == code)
            return &row;
    return nullptr;
}

std::string StatusLineText(WPARAM code) {
    const StatusRow* row = FindStatus(code);
    return row && row->text ? Utf16ToUtf8(row->text) : std::string();
}

std::u16string NotConnectedText(const std::string& problem) {
    std::u16string text = u"DEVICE NOT CONNECTED";
    if (problem.find("Permission denied") != std::string::npos)
        text += u" - " + Utf8ToUtf16(problem);
    return text;
}

} // namespace verdal
