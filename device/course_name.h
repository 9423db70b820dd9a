// Device course names: the name the device lists a course by, read from the head of its course
// map, and the 17- or 20-byte form in which it is sent back to the device.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace verdal {

// Sizes of the two name fields of the device.
inline constexpr std::size_t kWideNameBytes = 17;   // "@" and 8 UTF-16LE units
inline constexpr std::size_t kNarrowNameBytes = 20; // ISO-8859-1 bytes
inline constexpr std::size_t kWideNameUnits = 8;
// The longest list entry the program keeps: its name buffer is 64 bytes with a zero at the end.
inline constexpr std::size_t kListedNameBytes = 63;

// The name the device lists a course by, from the first 20 bytes of its course map: when byte
// 0 is not zero, bytes 0 to 19 up to the first zero byte, one unit each; when byte 0 is zero,
// "@" and bytes 4 to 19 read as 8 UTF-16LE units up to the first zero unit.
std::u16string DeviceCourseName(const std::uint8_t* head20);

// Writes the name into the first 20 bytes of a course map so that DeviceCourseName reads it
// back: a name of ISO-8859-1 characters as its bytes (up to 20), any other as a zero byte 0
// and up to 8 UTF-16LE units from byte 4. The bytes are zeroed first.
void WriteCourseMapName(std::u16string_view name, std::uint8_t* head20);

// The name in the device's own form. A name beginning with "@": the byte 0x40, then the UTF-16LE
// units of up to 8 following characters, zero-padded to 17 bytes. Any other name: its
// ISO-8859-1 bytes (a unit above 0xFF becomes "?"), cut at 20 and zero-padded to 20 bytes.
// Longer names are cut at the field, never inside a unit.
std::vector<std::uint8_t> DeviceNameBytes(std::u16string_view name);

// One entry of the device's course list, L name bytes: when the first is "@", "@" and the rest
// read as UTF-16LE units; otherwise ISO-8859-1. Only the first 63 bytes are read (a longer
// entry is cut there, a wide one at a whole unit); a zero unit or byte ends the name.
std::u16string ListedCourseName(const std::uint8_t* bytes, std::size_t length);

} // namespace verdal
