// Device course names in every form: read from the head of a course map, written into one and
// read back, in the device's 17- and 20-byte forms, and as entries of the device's list. The
// input is the head of a map, a name in UTF-16LE, and a list entry, all at once.
#include "device/course_name.h"
#include "fuzz/targets/expect.h"

#include <algorithm>
#include <cstdint>
#include <string>

using namespace verdal;
using verdal::fuzz::Expect;

namespace {

// The name up to its first zero unit, cut to count units.
std::u16string Cut(std::u16string_view name, std::size_t count) {
    name = name.substr(0, std::min(name.find(u'\0'), count));
    return std::u16string(name);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::uint8_t head[kNarrowNameBytes] = {};
    std::copy_n(data, std::min(size, kNarrowNameBytes), head);
    const std::u16string read = DeviceCourseName(head);
    Expect(read.size() <= kNarrowNameBytes && (head[0] != 0 || read.size() <= 1 + kWideNameUnits));

    // The input as a name: written into a map's head, it reads back as itself (cut to the field)
    // in the narrow form, or after an "@" in the wide one.
    std::u16string name;
    for (std::size_t i = 0; i + 1 < size; i += 2)
        name.push_back(static_cast<char16_t>(data[i] | (data[i + 1] << 8)));
    std::uint8_t written[kNarrowNameBytes];
    WriteCourseMapName(name, written);
    const bool latin1 = std::all_of(name.begin(), name.end(), [](char16_t c) { return c <= 0xFF; });
    const std::u16string back = DeviceCourseName(written);
    if (latin1 && !name.empty() && name[0] != 0)
        Expect(back == Cut(name, kNarrowNameBytes));
    else if (!latin1)
        Expect(back == u"@" + Cut(name, kWideNameUnits));

    // The device's own form of a name, and the same bytes as a list entry.
    for (const std::u16string& form : {read, name}) {
        const std::vector<std::uint8_t> bytes = DeviceNameBytes(form);
        const bool wide = !form.empty() && form[0] == u'@';
        Expect(bytes.size() == (wide ? kWideNameBytes : kNarrowNameBytes));
        const std::u16string listed = ListedCourseName(bytes.data(), bytes.size());
        if (wide)
            Expect(listed == u"@" + Cut(std::u16string_view(form).substr(1), kWideNameUnits));
    }
    const std::u16string entry = ListedCourseName(data, size);
    Expect(entry.size() <= kListedNameBytes);
    return 0;
}
