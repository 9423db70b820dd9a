// The sending side of XMODEM with CRC, as bytes in and bytes out: each byte the receiver answers
// with says what goes on the line next. The course map sender drives it from the serial receive
// thread; the fuzz target and the tests drive it directly.
//
// The receiver's answers: a "C" asks for the first block while none has gone out, an ACK for the
// next block, a NAK for the last block again (or the first, before any). The ACK of the last
// block draws EOT, a NAK of EOT draws EOT again, and only the ACK of EOT ends the transfer: a
// device that refused the last block must never see EOT, or it would keep the course without it.
//
// Threads: an object belongs to one thread at a time.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace verdal {

inline constexpr std::uint8_t kSoh = 0x01;
inline constexpr std::uint8_t kEot = 0x04;
inline constexpr std::uint8_t kAck = 0x06;
inline constexpr std::uint8_t kNak = 0x15;
inline constexpr std::uint8_t kCrcStart = 'C';
inline constexpr std::size_t kXmodemData = 128;
inline constexpr std::size_t kXmodemBlock = 133;

// CRC-16/XMODEM: polynomial 0x1021, initial value 0, no reflection, no final exclusive-or.
std::uint16_t Crc16Xmodem(const std::uint8_t* bytes, std::size_t length);

// The 133-byte block for the 128 data bytes at position: SOH, block number (position / 128 + 1,
// modulo 256), its complement, the data, the CRC high byte then low byte.
std::array<std::uint8_t, kXmodemBlock> XmodemBlock(const std::uint8_t* data,
                                                   std::uint32_t position);

class XmodemSender {
public:
    // What goes on the line after an answer.
    enum class Action {
        None,  // nothing: the answer asks for nothing
        Block, // the block at BlockPosition()
        Eot,   // the end of the transfer
        Done,  // nothing more: the device acknowledged EOT
    };

    // data (size bytes, cut to a whole number of blocks) is not copied and must outlive the
    // sender.
    XmodemSender(const std::uint8_t* data, std::uint32_t size);

    // Takes one answer byte of the receiver.
    Action OnAnswer(std::uint8_t byte);
    // The position of the block an answer drew (valid after Action::Block).
    std::uint32_t BlockPosition() const { return blockPosition_; }
    // The block an answer drew.
    std::array<std::uint8_t, kXmodemBlock> Block() const {
        return XmodemBlock(data_, blockPosition_);
    }
    // Offset of the next block to send; equal to Size() once the last block has gone out.
    std::uint32_t Position() const { return position_; }
    std::uint32_t Size() const { return size_; }
    bool EotSent() const { return eotSent_; }

private:
    Action SendBlock();

    const std::uint8_t* data_;
    std::uint32_t size_;
    std::uint32_t position_ = 0;
    std::uint32_t blockPosition_ = 0;
    bool eotSent_ = false;
    bool done_ = false;
};

} // namespace verdal
