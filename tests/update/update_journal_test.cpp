// update.journal as the update writes and reads it: every value comes back, the count held only
// by the page cache counts on the same run of the system alone, and a damaged file is no journal.
#include "tests/support/temp_folder.h"
#include "update/update_journal.h"

#include <gtest/gtest.h>

#include <filesystem>

using namespace verdal;

TEST(UpdateJournal, ReadsBackWhatWasWrittenAndTrustsTheUnflushedCountOnlyOnTheSameBoot) {
    UpdateJournal written{
        "http://h:1/courses/cat27/cat27.xml", 24, 27, {752798, 0xbf1a8deecb626853}};
    written.validators = {"\"bf1a8deecb626853\"", "Mon, 07 Dec 2026 00:00:00 GMT"};
    written.stored = 512;
    std::string text = FormatUpdateJournal(written, "boot-a");
    // What JournalKeeper::Note writes in place: the ten digits before the last newline.
    text.replace(text.size() - 11, 10, "0000000883");

    const auto same = ParseUpdateJournal(text, "boot-a");
    ASSERT_TRUE(same);
    EXPECT_EQ(FormatUpdateJournal(*same, "x"),
              FormatUpdateJournal(
                  {written.catalogueUrl, 24, 27, written.file, written.validators, 883}, "x"));
    EXPECT_EQ(ParseUpdateJournal(text, "boot-b")->stored, 512u);
    EXPECT_EQ(ParseUpdateJournal(text, "")->stored, 512u);

    // No validators: their lines are left out and read back empty.
    written.validators = {};
    const auto bare = ParseUpdateJournal(FormatUpdateJournal(written, "boot-a"), "boot-a");
    ASSERT_TRUE(bare);
    EXPECT_EQ(bare->validators.etag + bare->validators.lastModified, "");

    for (const std::string& damaged :
         {std::string(), "verdal update journal 2\n" + text.substr(text.find('\n') + 1),
          text.substr(0, text.find("stored ")), text.replace(text.find("from 24"), 7, "from x"),
          std::string("verdal update journal 1\nno-blank\n")})
        EXPECT_FALSE(ParseUpdateJournal(damaged, "boot-a")) << damaged;
}

// Like the settings beside it, the journal is for its user alone.
TEST(UpdateJournal, TheFileIsReadableByItsUserAlone) {
    test::TempDataFolder folder;
    JournalKeeper keeper;
    ASSERT_FALSE(keeper.Write({"http://h:1/cat.xml", 24, 27, {1, 2}}));
    EXPECT_EQ(std::filesystem::status(folder / "update.journal").permissions(),
              std::filesystem::perms(0600));
}
