// The WebSocket frames a test client reads off the engine's page connection: the server's
// frames are never masked, and a message may come in pieces.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

namespace verdal::test {

// Takes the next whole text message off the front of pending, calling fill(count) until pending
// holds count bytes (fill answers false when no more came). Nothing when fill failed, or when a
// close frame came (ended is then set).
template <class Fill>
std::optional<std::string> TakeWebSocketMessage(std::string& pending, Fill fill, bool& ended) {
    std::string message;
    for (;;) {
        if (!fill(2))
            return std::nullopt;
        const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(pending[i]); };
        const bool final = byte(0) & 0x80;
        const int opcode = byte(0) & 0x0F;
        std::size_t header = 2;
        std::uint64_t length = byte(1) & 0x7F;
        if (length >= 126) {
            header += length == 126 ? 2 : 8;
            if (!fill(header))
                return std::nullopt;
            length = 0;
            for (std::size_t i = 2; i < header; ++i)
                length = length << 8 | byte(i);
        }
        if (!fill(header + length))
            return std::nullopt;
        if (opcode == 0x8) {
            ended = true;
            return std::nullopt;
        }
        if (opcode < 0x8)
            message.append(pending, header, length);
        pending.erase(0, header + length);
        if (final && opcode < 0x8)
            return message;
    }
}

} // namespace verdal::test
