// settings.reg as it is read at start: any text loads or is judged damaged without reading past
// it, and the values of a text that loads are written and read back unchanged.
#include "store/settings.h"
#include "fuzz/targets/expect.h"

#include <cstdint>
#include <string>
#include <string_view>

using verdal::fuzz::Expect;

namespace {

// What LoadSettings starts from.
verdal::Settings Defaults() {
    verdal::Settings settings;
    settings.updateVersion = 24;
    settings.comIndex = 99;
    return settings;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    verdal::Settings loaded = Defaults();
    std::string reason;
    if (!verdal::ParseSettingsText(text, loaded, reason)) {
        Expect(!reason.empty());
        return 0;
    }
    Expect(loaded.serialNumber.size() < 64);
    verdal::Settings again = Defaults();
    Expect(verdal::ParseSettingsText(verdal::FormatSettingsText(loaded), again, reason));
    Expect(again.updateVersion == loaded.updateVersion);
    Expect(again.comIndex == loaded.comIndex);
    Expect(again.serialNumber == loaded.serialNumber);
    Expect(again.server == loaded.server);
    return 0;
}
