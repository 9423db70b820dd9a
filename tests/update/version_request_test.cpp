// The version request as verdal makes it for a connected device: the device's serial number
// reaches the web service byte for byte, whatever bytes a query could mistake it holds.
#include "tests/support/programs.h"
#include "tests/support/temp_folder.h"

#include <gtest/gtest.h>

using namespace verdal::test;

TEST(VersionRequest, TheDevicesSerialNumberReachesTheServiceAsItsBytes) {
    // A query's separators, its escape, a blank and bytes beyond ASCII.
    const std::string serial = "VD&1#2+3?4=5%6 7\xC3\xA9~";
    TempFolder dir;
    CatalogueService service(10, "25");
    Simulator device(dir / "link", {"--serial", serial});
    verdal::ChildProcess verdal;
    StartBuilt(verdal, "verdal",
               {"--no-browser", "--data-dir", dir / "data", "--port", device.Link(), "--server",
                service.Base()});
    // The connect worker reads the serial number, then asks the service for its version.
    EXPECT_TRUE(WaitUntil([&] { return service.LastSerialNumber() == serial; }))
        << service.LastSerialNumber();
}
