// Port probing, the connect procedure and the disconnect sequence.
#include "device/connection.h"

#include "device/device_settings.h"
#include "device/port_discovery.h"
#include "device/requests.h"
#include "device/serial.h"
#include "platform/event.h"
#include "platform/language.h"
#include "platform/messages.h"

#include <filesystem>

namespace verdal {
namespace {

// Opens the port and sends the handshake; true leaves the port open. A port that exists but does
// not open adds its reason to why, which is shown when the user can act on it.
bool Probe(const std::string& port, ManualResetEvent& completion, StatusReason& why, int& present,
           std::stop_token stop) {
    Serial& serial = Serial::Instance();
    std::error_code error;
    const bool exists = std::filesystem::exists(port, error);
    present += exists ? 1 : 0;
    if (!serial.Open(port, kDeviceBaudRate)) {
        if (exists) {
            why.text += (why.text.empty() ? "" : "; ") + serial.LastOpenError();
            const OpenRefusal refusal = serial.LastOpenRefusal();
            if (refusal == OpenRefusal::Held)
                why.kind = ReasonKind::PortHeld;
            else if (refusal == OpenRefusal::NoPermission && why.kind == ReasonKind::Aside)
                why.kind = ReasonKind::Shown;
        }
        return false;
    }
    bool answered = false;
    {
        ConnectReq request(&completion);
        answered = request.WaitForReply(stop);
    }
    if (!answered)
        serial.Close();
    else
        RememberAdapter(AdapterOf(port, CurrentPortSearch()));
    return answered;
}

} // namespace

StatusReason UnpluggedReason() {
    return {Tr("the device was unplugged"), ReasonKind::Unplugged};
}

int EnsureConnected(const std::vector<std::string>& candidates, std::stop_token stop) {
    StatusReason why;
    return EnsureConnected(candidates, why, std::move(stop));
}

int EnsureConnected(const std::vector<std::string>& candidates, StatusReason& why,
                    std::stop_token stop) {
    why = {{}, ReasonKind::Aside};
    if (Serial::Instance().IsOpen())
        return 1;
    const PortSearch& search = CurrentPortSearch();
    const std::int32_t comIndex = PortSetting();
    std::vector<std::string> ports;
    if (!search.port.empty())
        ports = {search.port};
    else if (comIndex == kAutoPort)
        ports = candidates;
    else
        ports = {PortName(comIndex, search)};
    ManualResetEvent completion;
    int present = 0;
    for (const std::string& port : ports) {
        if (stop.stop_requested())
            break;
        if (Probe(port, completion, why, present, stop))
            return 1;
    }
    if (why.text.empty() && present == 0)
        why.text = ports.size() == 1
                       ? Format(Tr("%s: no such port"), ports.front().c_str())
                       : Format(TrN("none of the %zu candidate ports exists",
                                    "none of the %zu candidate ports exists", ports.size()),
                                ports.size());
    if (why.text.empty())
        why.text = Tr("no device answered");
    return 0;
}

namespace {

// One exchange of the connect procedure: the request is sent, waited for, paused after and gone
// (the idle receiver back) before the caller hears how it went. A failure the caller reports
// next may make the user-interface thread open the port for another attempt at once; a request
// ending after that would take the new attempt's receiver away and its handshake reply with it.
template <class Request, class Take>
bool Exchange(ManualResetEvent& completion, std::stop_token stop, Take take) {
    Request request(&completion);
    if (!request.WaitForReply(stop))
        return false;
    Serial::Instance().SetIdleReceiver();
    if (!Sleep(kPauseAfterReplyMs, stop))
        return false;
    take(request);
    return true;
}

} // namespace

int ConnectDevice(HWND statusWindow, std::int32_t& capacity, DeviceCourseList& courses,
                  std::stop_token stop, const std::vector<std::string>& ports) {
    return ConnectDevice(
        [statusWindow](StatusCode code, const StatusReason& why) {
            PostStatus(statusWindow, code, why);
        },
        capacity, courses, std::move(stop), ports);
}

int ConnectDevice(const StatusReport& report, std::int32_t& capacity, DeviceCourseList& courses,
                  std::stop_token stop, const std::vector<std::string>& ports) {
    report(StatusCode::Connecting, {});
    ManualResetEvent completion;
    if (StatusReason why; !EnsureConnected(ports.empty() ? EnumSerialPorts() : ports, why, stop)) {
        if (!stop.stop_requested())
            report(StatusCode::NotConnected, why);
        return 0;
    }
    // From here on the device pulled out ends every wait at once.
    const std::stop_token lost = Serial::Instance().LossToken();
    const EitherStop ended(stop, lost);
    // Each failed step lets go of the port before it reports: the status handler may reach for
    // the port at once. A stop leaves the link as it is, for the disconnect that follows.
    const auto fail = [&](StatusCode code) {
        if (stop.stop_requested())
            return 0;
        Serial::Instance().Close();
        if (lost.stop_requested())
            report(StatusCode::NotConnected, UnpluggedReason());
        else
            report(code, {});
        return 0;
    };

    capacity = 0;
    if (!Exchange<CapacityReq>(completion, ended.Token(),
                               [&](const CapacityReq& request) { capacity = request.capacity; }))
        return fail(StatusCode::NotConnected);
    std::u16string serialNumber;
    if (!Exchange<SerialNumReq>(completion, ended.Token(), [&](const SerialNumReq& request) {
            serialNumber = request.serialNumber;
        }))
        return fail(StatusCode::NotConnected);
    if (serialNumber.empty())
        return fail(StatusCode::SerialNumberError);
    RecordSerialNumber(serialNumber);
    if (!Exchange<ListCoursesReq>(completion, ended.Token(), [&](const ListCoursesReq& request) {
            courses.Clear();
            for (const std::u16string& name : request.courseNames)
                courses.Add(name);
        }))
        return fail(StatusCode::NotConnected);
    return 1;
}

void DisconnectDevice() {
    const std::vector<std::string> candidates = EnumSerialPorts();
    ManualResetEvent completion;
    if (EnsureConnected(candidates)) {
        {
            ExitReq request(&completion);
            completion.Wait(request.WaitMs());
        }
        Serial::Instance().Close();
    }
}

} // namespace verdal
