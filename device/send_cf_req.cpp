// The course map sender: the "$NCFS\r" exchange and the XMODEM-CRC transfer that follows it.
#include "device/send_cf_req.h"

#include "device/serial.h"
#include "platform/messages.h"

#include <cstring>

namespace verdal {

std::uint16_t Crc16Xmodem(const std::uint8_t* bytes, std::size_t length) {
    std::uint16_t crc = 0;
    for (std::size_t i = 0; i < length; ++i) {
        crc ^= static_cast<std::uint16_t>(bytes[i] << 8);
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc & 0x8000) ? static_cast<std::uint16_t>((crc << 1) ^ 0x1021)
                                 : static_cast<std::uint16_t>(crc << 1);
    }
    return crc;
}

std::array<std::uint8_t, kXmodemBlock> XmodemBlock(const std::uint8_t* data,
                                                   std::uint32_t position) {
    std::array<std::uint8_t, kXmodemBlock> block{};
    const auto number = static_cast<std::uint8_t>((position / kXmodemData + 1) & 0xFF);
    block[0] = kSoh;
    block[1] = number;
    block[2] = static_cast<std::uint8_t>(255 - number);
    std::memcpy(block.data() + 3, data + position, kXmodemData);
    const std::uint16_t crc = Crc16Xmodem(block.data() + 3, kXmodemData);
    block[131] = static_cast<std::uint8_t>(crc >> 8);
    block[132] = static_cast<std::uint8_t>(crc & 0xFF);
    return block;
}

SendCFReq::SendCFReq(ManualResetEvent* completion, const std::uint8_t* data, std::uint32_t size,
                     HWND progressWindow)
    : ReqBase(completion, CommandOf(Command::SendCourseFile)), data_(data),
      size_(size - size % kXmodemData), progressWindow_(progressWindow) {
    std::memcpy(command_, row_.bytes.data(), row_.bytes.size());
    Send(row_.bytes.size());
}

void SendCFReq::Evaluate() {
    Complete(MarkerFound());
}

void SendCFReq::StartTransfer() {
    if (completion_)
        completion_->Reset();
    position_ = 0;
    eotSent_ = false;
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
                                   : static_cast<float>(static_cast<double>(position_) /
                                                        static_cast<double>(size_) * 80.0);
    PostMessage(progressWindow_, kProgressMessage, static_cast<WPARAM>(share + 20.0f), 0);
    const std::uint8_t byte = bytes[0];
    if (eotSent_) {
        // Only the answer to EOT is awaited now; a NAK asks for it again.
        if (byte == kAck) {
            if (completion_)
                completion_->Set();
        } else if (byte == kNak) {
            Serial::Instance().Write(&kEot, 1);
        }
        return;
    }
    if (position_ == size_ && byte == kAck) {
        // The last block is acknowledged: only now may EOT go out, or a device that refused
        // the last block would take EOT as the end and keep the course without it.
        eotSent_ = true;
        Serial::Instance().Write(&kEot, 1);
        return;
    }
    switch (byte) {
    case kAck:
        SendBlock();
        break;
    case kNak:
        // A NAK before any block has gone out asks for the first block, as a "C" would.
        if (position_ >= kXmodemData)
            position_ -= kXmodemData;
        SendBlock();
        break;
    case kCrcStart:
        if (position_ == 0)
            SendBlock();
        break;
    default:
        break;
    }
}

void SendCFReq::SendBlock() {
    if (position_ >= size_)
        return;
    const auto block = XmodemBlock(data_, position_);
    Serial::Instance().Write(block.data(), static_cast<std::uint32_t>(block.size()));
    position_ += kXmodemData;
}

} // namespace verdal
