// Sending a course map to the device: "$NCFS\r" as a request, then XMODEM with CRC, the program
// sending and the device receiving, with progress posted to a progress dialog's page.
#pragma once

#include "device/requests.h"
#include "platform/window.h"

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
// How long a caller waits for the whole transfer once it has started.
inline constexpr std::uint32_t kTransferWaitMs = 8000;

// CRC-16/XMODEM: polynomial 0x1021, initial value 0, no reflection, no final exclusive-or.
std::uint16_t Crc16Xmodem(const std::uint8_t* bytes, std::size_t length);

// The 133-byte block for the 128 data bytes at position: SOH, block number (position / 128 + 1,
// modulo 256), its complement, the data, the CRC high byte then low byte.
std::array<std::uint8_t, kXmodemBlock> XmodemBlock(const std::uint8_t* data,
                                                   std::uint32_t position);

class SendCFReq final : public ReqBase {
public:
    // Writes "$NCFS\r" and listens 500 ms for "$OKFS". data (size bytes, a whole multiple of
    // 128) is not copied and must stay valid until the transfer ends; progressWindow receives
    // the progress message during the transfer.
    SendCFReq(ManualResetEvent* completion, const std::uint8_t* data, std::uint32_t size,
              HWND progressWindow);
    ~SendCFReq() override { Release(); }
    void Evaluate() override;

    // Resets the completion event, installs OnTransfer with read size 1 and writes "$STRT\r".
    // The event is set once the device has acknowledged the last block and then the EOT that
    // follows it; wait kTransferWaitMs. Nothing else may be written to the device before the
    // event is set. Worker thread.
    void StartTransfer();

    // The receiver during the transfer: each ACK draws the next block, a NAK the same block
    // again, a "C" the first block while none has gone out. The ACK of the last block draws
    // EOT, a NAK of EOT draws EOT again, and the ACK of EOT ends the transfer. Receive thread.
    void OnTransfer(const std::uint8_t* bytes, std::uint32_t count);

    // Offset of the next block to send; equal to the size once the last block has gone out.
    std::uint32_t Position() const { return position_; }

private:
    void SendBlock();

    const std::uint8_t* data_;
    std::uint32_t size_;
    std::uint32_t position_ = 0;
    bool eotSent_ = false;
    HWND progressWindow_;
};

} // namespace verdal
