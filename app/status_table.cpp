// The status table of the main window.
#include "app/status_table.h"

#include "platform/serial_port.h"
#include "platform/text.h"

#include <array>

namespace verdal {
namespace {

constexpr std::array<StatusRow, 9> kStatusTable{{
    {StatusCode::Connecting, u"CONNECTING TO DEVICE", std::nullopt, StatusEffect::None},
    {StatusCode::NotConnected, u"DEVICE NOT CONNECTED", ConnectButtons::NotConnected,
     StatusEffect::None},
    {StatusCode::SerialNumberError, u"DEVICE SN ERROR", ConnectButtons::NotConnected,
     StatusEffect::None},
    {StatusCode::ConnectingServer, u"CONNECTING TO SERVER", std::nullopt, StatusEffect::None},
    {StatusCode::ServerNotConnected, u"SERVER NOT CONNECTED", ConnectButtons::NotConnected,
     StatusEffect::None},
    {StatusCode::CourseStored, nullptr, std::nullopt, StatusEffect::None},
    {StatusCode::Connected, u"DEVICE CONNECTED", ConnectButtons::Connected,
     StatusEffect::ShowDeviceState},
    {StatusCode::UpdateCompleted, u"UPDATE GOF FILE COMPLETED", std::nullopt,
     StatusEffect::RefillFilters},
    {StatusCode::UpdateError, u"UPDATE GOF FILE ERROR", std::nullopt, StatusEffect::None},
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
    if (problem.find("Permission denied") != std::string::npos ||
        problem.find(kPortInUseBy) != std::string::npos || problem == kUnpluggedProblem)
        text += u" - " + Utf8ToUtf16(problem);
    return text;
}

std::u16string UpdateErrorText(const std::string& problem) {
    std::u16string text = u"UPDATE GOF FILE ERROR";
    if (!problem.empty())
        text += u" - " + Utf8ToUtf16(problem);
    return text;
}

} // namespace verdal
