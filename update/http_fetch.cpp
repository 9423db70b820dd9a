// The single fetches: each runs one transfer on a transfer set of its own, so that nothing is
// shared between calls and every connection closes with the call.
#include "update/http_fetch.h"

#include "platform/text.h"
#include "update/transfer_set.h"

namespace verdal {

int FetchUrlToFile(std::u16string_view url, std::u16string_view path, std::stop_token stop,
                   std::string* problem, FileValidators* validators, FetchAnswer* answer) {
    TransferSet transfers(std::move(stop), 1);
    return transfers.Wait(transfers.StartToFile(url, path, validators), problem, answer)
        .value_or(0);
}

int FetchUrlToMemory(std::u16string_view url, void* buffer, std::uint32_t capacity,
                     std::stop_token stop, std::string* problem, FetchAnswer* answer) {
    TransferSet transfers(std::move(stop), 1);
    return transfers.Wait(transfers.StartToMemory(url, buffer, capacity), problem, answer)
        .value_or(-1);
}

std::string EncodeUrl(std::string_view url) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string encoded;
    encoded.reserve(url.size());
    for (std::size_t i = 0; i < url.size(); ++i) {
        const auto byte = static_cast<unsigned char>(url[i]);
        const bool escape = byte == '%' && i + 2 < url.size() && HexDigitValue(url[i + 1]) >= 0 &&
                            HexDigitValue(url[i + 2]) >= 0;
        const bool unsafe = byte <= 0x20 || byte > 0x7E || byte == '"' || byte == '<' ||
                            byte == '>' || byte == '\\' || (byte == '%' && !escape);
        if (unsafe) {
            encoded += '%';
            encoded += kHex[byte >> 4];
            encoded += kHex[byte & 0x0F];
        } else {
            encoded += static_cast<char>(byte);
        }
    }
    return encoded;
}

} // namespace verdal
