// Reading the web service's version reply.
#include "update/version_reply.h"

#include <limits>

namespace verdal {

std::u16string VersionRequestUrl(std::u16string_view base, std::u16string_view serialNumber) {
    return std::u16string(base) + u"get_new_version.php?sn=" + std::u16string(serialNumber);
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
