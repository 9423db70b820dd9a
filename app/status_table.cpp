// The status table of the main window.
#include "app/status_table.h"

#include "platform/language.h"
#include "platform/text.h"

#include <array>

namespace verdal {
namespace {

constexpr std::array<StatusRow, 9> kStatusTable{{
    {StatusCode::Connecting, N_("CONNECTING TO DEVICE"), std::nullopt, StatusEffect::None},
    {StatusCode::NotConnected, N_("DEVICE NOT CONNECTED"), ConnectButtons::NotConnected,
     StatusEffect::None},
    {StatusCode::SerialNumberError, N_("DEVICE SN ERROR"), ConnectButtons::NotConnected,
     StatusEffect::None},
    {StatusCode::ConnectingServer, N_("CONNECTING TO SERVER"), std::nullopt, StatusEffect::None},
    {StatusCode::ServerNotConnected, N_("SERVER NOT CONNECTED"), ConnectButtons::NotConnected,
     StatusEffect::None},
    {StatusCode::CourseStored, nullptr, std::nullopt, StatusEffect::None},
    {StatusCode::Connected, N_("DEVICE CONNECTED"), ConnectButtons::Connected,
     StatusEffect::ShowDeviceState},
    {StatusCode::UpdateCompleted, N_("UPDATE GOF FILE COMPLETED"), std::nullopt,
     StatusEffect::RefillFilters},
    {StatusCode::UpdateError, N_("UPDATE GOF FILE ERROR"), std::nullopt, StatusEffect::None},
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
    return row && row->text ? Tr(row->text) : std::string();
}

std::u16string NotConnectedText(const StatusReason& reason) {
    if (reason.kind == ReasonKind::Aside || reason.text.empty())
        return Utf8ToUtf16(Tr("DEVICE NOT CONNECTED"));
    // TRANSLATORS: the status line when no device was reached, and why ("/dev/ttyUSB0:
    // Permission denied (replug the device ...)", "the device was unplugged").
    return Utf8ToUtf16(Format(Tr("DEVICE NOT CONNECTED - %s"), reason.text.c_str()));
}

std::u16string UpdateErrorText(const std::string& problem) {
    if (problem.empty())
        return Utf8ToUtf16(Tr("UPDATE GOF FILE ERROR"));
    // TRANSLATORS: the status line when the catalogue update failed, and why ("the disk is full
    // (update.xml)", "the server answered HTTP 404").
    return Utf8ToUtf16(Format(Tr("UPDATE GOF FILE ERROR - %s"), problem.c_str()));
}

std::u16string ServerNotConnectedText(const std::string& problem) {
    if (problem.empty())
        return Utf8ToUtf16(Tr("SERVER NOT CONNECTED"));
    // TRANSLATORS: the status line when the web service gave no usable version reply, and why
    // ("the server answered HTTP 503", "the server did not answer within 5 s").
    return Utf8ToUtf16(Format(Tr("SERVER NOT CONNECTED - %s"), problem.c_str()));
}

} // namespace verdal
