// verdal's command line.
#include "app/program_options.h"

#include <gtest/gtest.h>

#include <iterator>
#include <sstream>

using namespace verdal;

namespace {

// Reads the command line, its words split at the spaces.
bool Parse(const std::string& line, ProgramOptions& options, std::string& error) {
    std::istringstream stream(line);
    const std::vector<std::string> words{std::istream_iterator<std::string>(stream), {}};
    std::vector<const char*> argv;
    for (const std::string& word : words)
        argv.push_back(word.c_str());
    return ParseProgramOptions(static_cast<int>(argv.size()), argv.data(), options, error);
}

TEST(ProgramOptions, ReadsEveryOptionAndRefusesUnknownOnesMissingValuesAndContraryOnes) {
    ProgramOptions options;
    std::string error;
    ASSERT_TRUE(
        Parse("verdal --data-dir /tmp/d --port /tmp/p --dev-dir /tmp/dev --sys-dir /tmp/sys "
              "--server http://127.0.0.1:1/ --listen 127.0.0.1:7000 --no-browser --demo",
              options, error))
        << error;
    EXPECT_EQ(options.dataDir, "/tmp/d");
    EXPECT_EQ(options.port, "/tmp/p");
    EXPECT_EQ(options.devDir, "/tmp/dev");
    EXPECT_EQ(options.sysDir, "/tmp/sys");
    EXPECT_EQ(options.server, "http://127.0.0.1:1/");
    EXPECT_EQ(options.listen, "127.0.0.1:7000");
    EXPECT_TRUE(options.noBrowser);
    EXPECT_TRUE(options.demo);

    EXPECT_FALSE(Parse("verdal --colour", options, error));
    EXPECT_NE(error.find("--colour"), std::string::npos);
    EXPECT_FALSE(Parse("verdal --port", options, error));
    // A browser, and none at all: the two cannot both hold.
    ProgramOptions both;
    EXPECT_FALSE(Parse("verdal --browser --no-browser", both, error));
    EXPECT_EQ(error, "--browser and --no-browser exclude each other");
}

} // namespace
