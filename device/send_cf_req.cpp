// The course map sender: the "$NCFS\r" exchange and the XMODEM-CRC transfer that follows it.
#include "device/send_cf_req.h"

#include "device/serial.h"
#include "platform/messages.h"

#include <cstring>

namespace verdal {

SendCFReq::SendCFReq(ManualResetEvent* completion, const std::uint8_t* data, std::uint32_t size,
                     HWND progressWindow)
    : ReqBase(completion, CommandOf(Command::SendCourseFile)), data_(data),
      size_(size - size % kXmodemData), sender_(data, size), progressWindow_(progressWindow) {
    std::memcpy(command_, row_.bytes.data(), row_.bytes.size());
    Send(row_.bytes.size());
}

void SendCFReq::Evaluate() {
    Complete(MarkerFound());
}

void SendCFReq::StartTransfer() {
    if (completion_)
        completion_->Reset();
    sender_ = XmodemSender(data_, size_);
    Serial& serial = Serial::Instance();
    serial.SetReceiver(
        [this](const std::uint8_t* bytes, std::uint32_t count) { OnTransfer(bytes, count); }, 1);
    static constexpr char kStart[] = "$STRT\r";
    serial.Write(kStart, 6);
}

void SendCFReq::OnTransfer(const std::uint8_t* bytes, std::uint32_t count) {
    if (count == 0)
        return;
    const float share = size_ == 0 ? 80.0f
                                   : static_cast<float>(static_cast<double>(Position()) /
                                                        static_cast<double>(size_) * 80.0);
    PostMessage(progressWindow_, kProgressMessage, static_cast<WPARAM>(share + 20.0f), 0);
    switch (sender_.OnAnswer(bytes[0])) {
    case XmodemSender::Action::Block: {
        const auto block = sender_.Block();
        Serial::Instance().Write(block.data(), static_cast<std::uint32_t>(block.size()));
        break;
    }
    case XmodemSender::Action::Eot:
        Serial::Instance().Write(&kEot, 1);
        break;
    case XmodemSender::Action::Done:
        if (completion_)
            completion_->Set();
        break;
    case XmodemSender::Action::None:
        break;
    }
}

} // namespace verdal
