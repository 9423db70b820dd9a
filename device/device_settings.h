// The two settings the device link reads and writes: the port number and the serial number of
// the device last connected. Any thread.
#pragma once

#include <cstdint>
#include <string>

namespace verdal {

// The port setting: 99 searches automatically, any other n is the fixed port n.
std::int32_t PortSetting();
// Records the serial number of the connected device when it differs from the stored one (it
// is saved with the next SaveSettings).
void RecordSerialNumber(const std::u16string& serialNumber);

} // namespace verdal
