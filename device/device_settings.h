// The settings the device link reads and writes: the port number, the serial number of the device
// last connected and the adapter it answered on. Any thread.
#pragma once

#include <cstdint>
#include <string>

namespace verdal {

// The port setting: 99 searches automatically, any other n is the fixed port n.
std::int32_t PortSetting();
// Records the serial number of the connected device when it differs from the stored one (it
// is saved with the next SaveSettings).
void RecordSerialNumber(const std::u16string& serialNumber);
// The adapter the device last answered on (AdapterOf; empty for a port that is no USB
// adapter's, which changes nothing). A new one is saved at once, so that verdal and verdal-cli
// alike know the device's adapter from then on.
void RememberAdapter(const std::string& adapter);
std::string RememberedAdapter();

} // namespace verdal
