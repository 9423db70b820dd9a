// How course names travel between a course map, the device's list and a delete command.
#include "device/course_name.h"

#include "platform/text.h"

#include <algorithm>

namespace verdal {
namespace {

// UTF-16LE units from bytes, stopping at a zero unit or at the last whole unit.
std::u16string WideUnits(const std::uint8_t* bytes, std::size_t length) {
    std::u16string units;
    for (std::size_t i = 0; i + 1 < length; i += 2) {
        const char16_t unit = static_cast<char16_t>(bytes[i] | (bytes[i + 1] << 8));
        if (unit == 0)
            break;
        units.push_back(unit);
    }
    return units;
}

} // namespace

std::u16string DeviceCourseName(const std::uint8_t* head20) {
    if (head20[0] != 0) {
        std::u16string name;
        for (std::size_t i = 0; i < kNarrowNameBytes && head20[i] != 0; ++i)
            name.push_back(static_cast<char16_t>(head20[i]));
        return name;
    }
    return u"@" + WideUnits(head20 + 4, 2 * kWideNameUnits);
}

void WriteCourseMapName(std::u16string_view name, std::uint8_t* head20) {
    std::fill_n(head20, kNarrowNameBytes, 0);
    const bool latin1 =
        std::all_of(name.begin(), name.end(), [](char16_t unit) { return unit <= 0xFF; });
    if (latin1) {
        for (std::size_t i = 0; i < name.size() && i < kNarrowNameBytes; ++i)
            head20[i] = static_cast<std::uint8_t>(name[i]);
        return;
    }
    for (std::size_t i = 0; i < name.size() && i < kWideNameUnits; ++i) {
        head20[4 + 2 * i] = static_cast<std::uint8_t>(name[i] & 0xFF);
        head20[5 + 2 * i] = static_cast<std::uint8_t>(name[i] >> 8);
    }
}

std::vector<std::uint8_t> DeviceNameBytes(std::u16string_view name) {
    if (!name.empty() && name.front() == u'@') {
        std::vector<std::uint8_t> bytes(kWideNameBytes, 0);
        bytes[0] = 0x40;
        const std::size_t units = std::min(name.size() - 1, kWideNameUnits);
        for (std::size_t i = 0; i < units; ++i) {
            bytes[1 + 2 * i] = static_cast<std::uint8_t>(name[1 + i] & 0xFF);
            bytes[2 + 2 * i] = static_cast<std::uint8_t>(name[1 + i] >> 8);
        }
        return bytes;
    }
    const std::string ansi = Utf16ToAnsi(name);
    std::vector<std::uint8_t> bytes(kNarrowNameBytes, 0);
    std::copy_n(ansi.begin(), std::min(ansi.size(), kNarrowNameBytes), bytes.begin());
    return bytes;
}

std::u16string ListedCourseName(const std::uint8_t* bytes, std::size_t length) {
    length = std::min(length, kListedNameBytes);
    if (length == 0)
        return {};
    if (bytes[0] == 0x40)
        return u"@" + WideUnits(bytes + 1, length - 1);
    return AnsiToUtf16(std::string_view(reinterpret_cast<const char*>(bytes), length));
}

} // namespace verdal
