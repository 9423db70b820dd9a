// Reading the web service's version reply.
#include "update/version_reply.h"

#include "platform/text.h"

#include <limits>

namespace verdal {

std::u16string VersionRequestUrl(std::u16string_view base, std::u16string_view serialNumber) {
    // The serial number's bytes as the device sent them (one a unit); each that would end the
    // value, start another, or mean something else in a query travels as %XX.
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::u16string url = std::u16string(base) + u"get_new_version.php?sn=";
    for (const char c : Utf16ToAnsi(serialNumber)) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte <= 0x20 || byte > 0x7E ||
            std::string_view("&#+?=%").find(c) != std::string_view::npos) {
            url += u'%';
            url += static_cast<char16_t>(kHex[byte >> 4]);
            url += static_cast<char16_t>(kHex[byte & 0xF]);
        } else {
            url += static_cast<char16_t>(byte);
        }
    }
    return url;
}

namespace {

std::uint32_t LeadingNumber(std::string_view text) {
    std::uint64_t value = 0;
    for (char c : text) {
        if (c < '0' || c > '9')
            break;
        value = value * 10 + static_cast<std::uint64_t>(c - '0');
        if (value > std::numeric_limits<std::uint32_t>::max())
            return std::numeric_limits<std::uint32_t>::max();
    }
    return static_cast<std::uint32_t>(value);
}

} // namespace

VersionReply ParseVersionReply(const char* reply, std::size_t length) {
    VersionReply result;
    std::string field;
    int index = 0;
    auto complete = [&] {
        if (index == 0)
            result.offeredVersion = LeadingNumber(field);
        else if (index == 1)
            result.catalogueUrl = CatalogueAddress(field);
        ++index;
        field.clear();
    };
    for (std::size_t i = 0; i < length; ++i) {
        if (reply[i] == ',')
            complete();
        else if (reply[i] != ' ')
            field += reply[i];
    }
    complete();
    return result;
}

std::string CatalogueAddress(std::string_view directory) {
    const auto slash = directory.rfind('/');
    const std::string_view segment =
        slash == std::string_view::npos ? directory : directory.substr(slash + 1);
    std::string address(directory);
    address += '/';
    address += segment;
    address += ".xml";
    return address;
}

} // namespace verdal
