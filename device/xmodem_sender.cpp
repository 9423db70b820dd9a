// XMODEM-CRC blocks and the sender's answers to the receiver.
#include "device/xmodem_sender.h"

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

XmodemSender::XmodemSender(const std::uint8_t* data, std::uint32_t size)
    : data_(data), size_(size - size % kXmodemData) {}

XmodemSender::Action XmodemSender::OnAnswer(std::uint8_t byte) {
    if (done_)
        return Action::None;
    if (eotSent_) {
        // Only the answer to EOT is awaited now; a NAK asks for it again.
        if (byte == kAck) {
            done_ = true;
            return Action::Done;
        }
        return byte == kNak ? Action::Eot : Action::None;
    }
    if (position_ == size_ && byte == kAck) {
        eotSent_ = true;
        return Action::Eot;
    }
    switch (byte) {
    case kAck:
        return SendBlock();
    case kNak:
        // A NAK before any block has gone out asks for the first block, as a "C" would.
        if (position_ >= kXmodemData)
            position_ -= kXmodemData;
        return SendBlock();
    case kCrcStart:
        return position_ == 0 ? SendBlock() : Action::None;
    default:
        return Action::None;
    }
}

XmodemSender::Action XmodemSender::SendBlock() {
    if (position_ >= size_)
        return Action::None;
    blockPosition_ = position_;
    position_ += kXmodemData;
    return Action::Block;
}

} // namespace verdal
