// verdal's command line.
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

} // namespace
