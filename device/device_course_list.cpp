// The sorted, duplicate-free list of device course names.
#include "device/device_course_list.h"

#include <algorithm>

namespace verdal {

void DeviceCourseList::Remove(const std::u16string& name) {
    const auto found = std::find(names_.begin(), names_.end(), name);
    if (found != names_.end())
        names_.erase(found);
}

void DeviceCourseList::Add(const std::u16string& name) {
    const auto at = std::lower_bound(names_.begin(), names_.end(), name);
    if (at == names_.end() || *at != name)
        names_.insert(at, name);
}

bool DeviceCourseList::Contains(const std::u16string& name) const {
    return std::binary_search(names_.begin(), names_.end(), name);
}

} // namespace verdal
