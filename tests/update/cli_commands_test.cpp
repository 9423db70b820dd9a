// verdal-cli update and search, run as the user runs them, against the catalogue service.
#include "catalogue_generator.h"
#include "loopback_servers.h"

#include <gtest/gtest.h>

#include <algorithm>

using namespace verdal::test;
using verdal::catalogue::CatalogueGenerator;

namespace {

struct CliRun {
    std::vector<std::string> lines;
    int exitCode = -1;
};

CliRun Cli(const TempFolder& data, const std::vector<std::string>& words) {
    std::vector<std::string> argv = {BuiltProgram("verdal-cli"), "--data-dir",
                                     data.Path().string()};
    argv.insert(argv.end(), words.begin(), words.end());
    ChildProcess process(argv);
    CliRun run;
    for (std::string line; !(line = process.ReadLine(60000)).empty();)
        run.lines.push_back(line);
    run.exitCode = process.Finish();
    return run;
}

} // namespace

TEST(CatalogueCommands, UpdateShowsTheStatusLineAndSearchFindsWhatWasStored) {
    CatalogueService service(60, "25,26");
    const CatalogueGenerator generator(60, {25, 26});
    TempFolder data;

    const CliRun update = Cli(data, {"--server", service.Base(), "update"});
    EXPECT_EQ(update.exitCode, 0);
    const std::size_t entries = generator.Entries(25).size() + generator.Entries(26).size();
    ASSERT_EQ(update.lines.size(), entries + 3);
    EXPECT_EQ(update.lines.front(), "CONNECTING TO SERVER");
    EXPECT_EQ(update.lines[1], "DEVICE CONNECTED");
    EXPECT_EQ(update.lines.back(), "UPDATE GOF FILE COMPLETED");

    std::vector<std::string> usa;
    for (int uid = 1; uid <= 60; ++uid) {
        const auto course = generator.Course(uid, uid <= 30 && uid % 5 == 1 ? 26 : 25);
        if (course.country == "USA")
            usa.push_back(course.name + "\tUSA\t" + course.city);
    }
    std::sort(usa.begin(), usa.end());
    const CliRun byCountry = Cli(data, {"search", "--country", "USA"});
    EXPECT_EQ(byCountry.exitCode, 0);
    EXPECT_EQ(byCountry.lines, usa);

    // A keyword with an apostrophe is searched for as itself.
    const CliRun byName = Cli(data, {"search", "'s "});
    ASSERT_FALSE(byName.lines.empty());
    for (const std::string& line : byName.lines)
        EXPECT_NE(line.find("'s "), std::string::npos) << line;

    // Nothing is newer now; a second update fetches nothing and completes.
    const CliRun again = Cli(data, {"--server", service.Base(), "update"});
    EXPECT_EQ(again.exitCode, 0);
    EXPECT_EQ(again.lines, (std::vector<std::string>{"CONNECTING TO SERVER", "DEVICE CONNECTED",
                                                     "UPDATE GOF FILE COMPLETED"}));
}

TEST(CatalogueCommands, UpdateFailsWhenTheServerReplyIsUnusable) {
    CatalogueService service(10, "25", {"nohttp"});
    TempFolder data;
    const CliRun update = Cli(data, {"--server", service.Base(), "update"});
    EXPECT_EQ(update.exitCode, 1);
    EXPECT_EQ(update.lines,
              (std::vector<std::string>{"CONNECTING TO SERVER", "SERVER NOT CONNECTED"}));
}
