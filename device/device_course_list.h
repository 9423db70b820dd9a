// The device course list: the names of the courses on the device, sorted by UTF-16 code units
// (case-sensitive, no locale), without duplicates.
//
// Threads: no lock of its own. The main window's list is written on the user-interface thread
// only; a worker fills or changes a copy of its own and hands it over when it is done.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace verdal {

class DeviceCourseList {
public:
    void Clear() { names_.clear(); }
    // Deletes the entry of that name; no match changes nothing.
    void Remove(const std::u16string& name);
    // Adds the name, replacing an entry of the same name, and keeps the order.
    void Add(const std::u16string& name);

    std::size_t Count() const { return names_.size(); }
    const std::u16string& Entry(std::size_t index) const { return names_.at(index); }
    const std::vector<std::u16string>& Names() const { return names_; }
    bool Contains(const std::u16string& name) const;

private:
    std::vector<std::u16string> names_;
};

} // namespace verdal
