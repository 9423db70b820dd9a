// The device link's view of the settings.
#include "device/device_settings.h"

#include "store/settings.h"

namespace verdal {

std::int32_t PortSetting() {
    return CopySettings().comIndex;
}

void RecordSerialNumber(const std::u16string& serialNumber) {
    ChangeSettings([&](Settings& settings) {
        if (settings.serialNumber.empty() || settings.serialNumber != serialNumber)
            settings.serialNumber = serialNumber;
    });
}

void RememberAdapter(const std::string& adapter) {
    bool changed = false;
    ChangeSettings([&](Settings& settings) {
        changed = !adapter.empty() && settings.adapter != adapter;
        if (changed)
            settings.adapter = adapter;
    });
    if (changed)
        SaveSettings();
}

std::string RememberedAdapter() {
    return CopySettings().adapter;
}

} // namespace verdal
