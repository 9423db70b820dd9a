// The manual-reset event's waits and the data folder made on first use.
#include "platform/data_dir.h"
#include "platform/event.h"

#include "tests/support/temp_folder.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <thread>

using namespace verdal;

TEST(ManualResetEvent, StaysSetUntilResetAndTimesOut) {
    ManualResetEvent event;
    const auto start = GetTickCount();
    EXPECT_FALSE(event.Wait(30));
    EXPECT_GE(GetTickCount() - start, 25u);

    std::thread setter([&] { event.Set(); });
    EXPECT_TRUE(event.Wait(10000));
    setter.join();
    EXPECT_TRUE(event.Wait(0)) << "a manual-reset event stays set";
    event.Reset();
    EXPECT_FALSE(event.Wait(0));
}

TEST(DataDir, ChosenFolderIsCreatedOnFirstUse) {
    const test::TempFolder folder;
    const std::filesystem::path base = folder.Path();
    SetDataDir((base / "nested" / "data").string());
    EXPECT_EQ(ProgramFilePath("golf.db"), (base / "nested" / "data" / "golf.db").string());
    EXPECT_TRUE(std::filesystem::is_directory(base / "nested" / "data"));
    EXPECT_EQ(std::filesystem::status(base / "nested" / "data").permissions(),
              std::filesystem::perms(0700));

    ::setenv("XDG_DATA_HOME", base.c_str(), 1);
    SetDataDir("");
    EXPECT_EQ(DataDir(), (base / "verdal").string());
    EXPECT_TRUE(std::filesystem::is_directory(base / "verdal"));
}
