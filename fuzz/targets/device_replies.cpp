// Each device request judging what arrives on the line, delivered in arbitrary pieces before and
// after its listening window. The first byte picks the request; then each piece is a length byte
// (its top bit: the piece arrives after the window) and that many bytes. Whatever arrives, the
// request keeps within its reply buffer, judges once, succeeds exactly when its marker stands
// before the first zero byte, and extracts no more than the reply holds.
#include "device/course_name.h"
#include "device/requests.h"
#include "fuzz/targets/expect.h"
#include "platform/event.h"

#include <cstdint>
#include <cstring>
#include <memory>
#include <string_view>

using namespace verdal;
using verdal::fuzz::Expect;

namespace {

constexpr Command kKinds[] = {Command::Connect,      Command::Exit,         Command::Capacity,
                              Command::SerialNumber, Command::DeleteCourse, Command::ClearCourses,
                              Command::ListCourses};

std::unique_ptr<ReqBase> MakeRequest(std::uint8_t kind, ManualResetEvent& completion) {
    switch (kind % 7) {
    case 0:
        return std::make_unique<ConnectReq>(&completion);
    case 1:
        return std::make_unique<ExitReq>(&completion);
    case 2:
        return std::make_unique<CapacityReq>(&completion);
    case 3:
        return std::make_unique<SerialNumReq>(&completion);
    case 4:
        return std::make_unique<DeleteCourseReq>(&completion, DeviceNameBytes(u"@\u6c34\u592b"));
    case 5:
        return std::make_unique<ClearCoursesReq>(&completion);
    default:
        return std::make_unique<ListCoursesReq>(&completion);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0)
        return 0;
    ManualResetEvent completion;
    const std::unique_ptr<ReqBase> request = MakeRequest(data[0], completion);
    std::size_t at = 1;
    std::uint32_t receivedWhenJudged = 0;
    while (at < size) {
        const std::uint8_t head = data[at++];
        const std::size_t length = std::min<std::size_t>(head & 0x7F, size - at);
        const std::uint32_t now =
            request->StartTime() + ((head & 0x80) ? request->WindowMs() + 1 : 0);
        const bool judgedBefore = request->Evaluated();
        request->OnReceiveAt(data + at, static_cast<std::uint32_t>(length), now);
        at += length;
        if (judgedBefore)
            Expect(request->ReceivedCount() == receivedWhenJudged);
        else if (request->Evaluated())
            receivedWhenJudged = request->ReceivedCount();
        Expect(request->ReceivedCount() < ReqBase::kReplySize);
    }
    if (!request->Evaluated())
        return 0;
    Expect(completion.Wait(0));
    if (auto* serial = dynamic_cast<SerialNumReq*>(request.get())) {
        Expect(serial->serialNumber.size() <= SerialNumReq::kSerialUnits);
        return 0;
    }
    if (dynamic_cast<CapacityReq*>(request.get()))
        return 0; // its extraction cuts the reply at each carriage return
    if (auto* list = dynamic_cast<ListCoursesReq*>(request.get()))
        for (const std::u16string& name : list->courseNames)
            Expect(name.size() <= kListedNameBytes);
    const std::string_view reply(reinterpret_cast<const char*>(request->Reply()));
    const std::string_view marker = CommandOf(kKinds[data[0] % 7]).marker;
    Expect(request->Succeeded() == (reply.find(marker) != std::string_view::npos));
    return 0;
}
