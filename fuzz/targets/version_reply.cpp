// The web service's answer to the version request, and the request's own address: any reply
// gives a version and a catalogue address without reading past it, and any serial number travels
// in the query so that the service decodes it to the same bytes.
#include "update/version_reply.h"
#include "fuzz/targets/expect.h"
#include "platform/text.h"

#include <cstdint>
#include <string>

using verdal::fuzz::Expect;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const verdal::VersionReply reply =
        verdal::ParseVersionReply(reinterpret_cast<const char*>(data), size);
    Expect(reply.catalogueUrl.find(' ') == std::string::npos);
    verdal::CatalogueAddress(std::string(reinterpret_cast<const char*>(data), size));

    // The input as a serial number: one unit a byte up to the first zero, as the device's
    // reply gives it.
    std::string bytes;
    std::u16string serial;
    for (std::size_t i = 0; i < size && data[i] != 0; ++i) {
        bytes.push_back(static_cast<char>(data[i]));
        serial.push_back(static_cast<char16_t>(data[i]));
    }
    const std::string url =
        verdal::Utf16ToUtf8(verdal::VersionRequestUrl(u"http://127.0.0.1:8650/", serial));
    const std::string prefix = "http://127.0.0.1:8650/get_new_version.php?sn=";
    Expect(url.compare(0, prefix.size(), prefix) == 0);
    const std::string query = url.substr(prefix.size());
    Expect(query.find_first_of("&#+? =") == std::string::npos);
    std::string decoded;
    Expect(verdal::PercentDecode(query, decoded));
    Expect(decoded == bytes);
    return 0;
}
