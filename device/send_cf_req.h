// Sending a course map to the device: "$NCFS\r" as a request, then XMODEM with CRC, the program
// sending and the device receiving, with progress posted to a progress dialog's page.
#pragma once

#include "device/requests.h"
#include "device/xmodem_sender.h"
#include "platform/window.h"

#include <cstdint>

namespace verdal {

// How long a caller waits for the whole transfer once it has started.
inline constexpr std::uint32_t kTransferWaitMs = 8000;

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

    // The receiver during the transfer: posts the progress, then puts on the line what the
    // answer draws (see XmodemSender) and sets the event once EOT is acknowledged. Receive
    // thread.
    void OnTransfer(const std::uint8_t* bytes, std::uint32_t count);

    // Offset of the next block to send; equal to the size once the last block has gone out.
    std::uint32_t Position() const { return sender_.Position(); }

private:
    const std::uint8_t* data_;
    std::uint32_t size_;
    XmodemSender sender_;
    HWND progressWindow_;
};

} // namespace verdal
