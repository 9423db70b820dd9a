// verdal-cli's catalogue commands run as a script runs them, against the catalogue service:
// their exit codes, the status lines and what the update stored.
#include "catalogue_generator.h"
#include "tests/support/programs.h"
#include "tests/support/temp_folder.h"

#include <gtest/gtest.h>

#include <algorithm>

using namespace verdal::test;
using Lines = std::vector<std::string>;

TEST(CatalogueCommands, UpdateThenSearchAsAScriptRunsThem) {
    CatalogueService service(60, "25,26");
    const verdal::catalogue::CatalogueGenerator generator(60, {25, 26});
    TempFolder data;
    const auto cli = [&](const Lines& words) {
        Lines args = {"--data-dir", data.Path()};
        args.insert(args.end(), words.begin(), words.end());
        return RunBuilt("verdal-cli", args);
    };

    const ProgramRun update = cli({"--server", service.Base(), "update"});
    EXPECT_EQ(update.exitCode, 0);
    // A line for each course, once, however many versions list it.
    ASSERT_EQ(update.lines.size(), 60u + 3);
    EXPECT_EQ(update.lines.front(), "CONNECTING TO SERVER");
    EXPECT_EQ(update.lines[1], "DEVICE CONNECTED");
    EXPECT_EQ(update.lines.back(), "UPDATE GOF FILE COMPLETED");

    Lines usa;
    for (int uid = 1; uid <= 60; ++uid) {
        const auto course = generator.Course(uid, uid <= 30 && uid % 5 == 1 ? 26 : 25);
        if (course.country == "USA")
            usa.push_back(course.name + "\tUSA\t" + course.city);
    }
    std::sort(usa.begin(), usa.end());
    const ProgramRun byCountry = cli({"search", "--country", "USA"});
    EXPECT_EQ(byCountry.exitCode, 0);
    EXPECT_EQ(byCountry.lines, usa);
    // A keyword with an apostrophe is searched for as itself.
    const ProgramRun byName = cli({"search", "'s "});
    ASSERT_FALSE(byName.lines.empty());
    for (const std::string& line : byName.lines)
        EXPECT_NE(line.find("'s "), std::string::npos) << line;

    // Nothing is newer now; a second update fetches nothing and completes.
    const ProgramRun again = cli({"--server", service.Base(), "update"});
    EXPECT_EQ(again.exitCode, 0);
    EXPECT_EQ(again.lines,
              (Lines{"CONNECTING TO SERVER", "DEVICE CONNECTED", "UPDATE GOF FILE COMPLETED"}));
    // A server whose reply is unusable fails the update.
    CatalogueService unusable(10, "27", {"nohttp"});
    const ProgramRun failed = cli({"--server", unusable.Base(), "update"});
    EXPECT_EQ(failed.exitCode, 1);
    EXPECT_EQ(failed.lines, (Lines{"CONNECTING TO SERVER", "SERVER NOT CONNECTED"}));
}

TEST(CatalogueCommands, AFailedUpdateSaysWhyOnStandardError) {
    CatalogueService service(10, "25", {"short:3"});
    TempFolder data;
    const std::string command = BuiltProgram("verdal-cli") + " --data-dir '" + data.Path() +
                                "' --server " + service.Base() + " update >/dev/null 2>'" +
                                (data / "errors") + "'";
    EXPECT_NE(std::system(command.c_str()), 0);
    const std::string errors = ReadFile(data / "errors");
    EXPECT_NE(errors.find("verdal-cli: the course map of \""), std::string::npos) << errors;
    EXPECT_NE(errors.find("\" holds 7263 bytes, not 7264\n"), std::string::npos) << errors;
}
