// verdal's command line and the demo's course maps.
#include "app/demo.h"
#include "app/program_options.h"

#include <gtest/gtest.h>

using namespace verdal;

namespace {

TEST(ProgramOptions, ReadsEveryOptionAndRefusesUnknownOnesAndMissingValues) {
    const char* argv[] = {"verdal",
                          "--data-dir",
                          "/tmp/d",
                          "--port",
                          "/tmp/p",
                          "--dev-dir",
                          "/tmp/dev",
                          "--sys-dir",
                          "/tmp/sys",
                          "--server",
                          "http://127.0.0.1:1/",
                          "--listen",
                          "127.0.0.1:7000",
                          "--no-browser",
                          "--demo"};
    ProgramOptions options;
    std::string error;
    ASSERT_TRUE(ParseProgramOptions(15, argv, options, error)) << error;
    EXPECT_EQ(options.dataDir, "/tmp/d");
    EXPECT_EQ(options.port, "/tmp/p");
    EXPECT_EQ(options.devDir, "/tmp/dev");
    EXPECT_EQ(options.sysDir, "/tmp/sys");
    EXPECT_EQ(options.server, "http://127.0.0.1:1/");
    EXPECT_EQ(options.listen, "127.0.0.1:7000");
    EXPECT_TRUE(options.noBrowser);
    EXPECT_TRUE(options.demo);

    const char* unknown[] = {"verdal", "--colour"};
    EXPECT_FALSE(ParseProgramOptions(2, unknown, options, error));
    EXPECT_NE(error.find("--colour"), std::string::npos);
    const char* missing[] = {"verdal", "--port"};
    EXPECT_FALSE(ParseProgramOptions(2, missing, options, error));
}

TEST(DemoCourseMap, HoldsTheNameWhereTheDeviceReadsIt) {
    const auto latin = DemoCourseMap(u"Pebble Creek GC", 1);
    ASSERT_EQ(latin.size(), 7296u);
    EXPECT_EQ(std::string(latin.begin(), latin.begin() + 15), "Pebble Creek GC");
    EXPECT_EQ(latin[15], 0);
    const auto wide = DemoCourseMap(kDemoCourseNames[2], 2);
    EXPECT_EQ(wide[0], 0);
    const std::u16string& name = kDemoCourseNames[2];
    for (std::size_t i = 0; i < 8; ++i)
        EXPECT_EQ(wide[4 + 2 * i] | (wide[5 + 2 * i] << 8), i < name.size() ? name[i] : 0) << i;
    EXPECT_EQ(std::vector<std::uint8_t>(wide.begin() + 7264, wide.end()),
              std::vector<std::uint8_t>(32, 0));
}

} // namespace
