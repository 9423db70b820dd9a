// Files read whole, replaced whole and written as bytes arrive: what each leaves behind when it
// fails.
#include "platform/file.h"
#include "tests/support/temp_folder.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <unistd.h>

using namespace verdal;

TEST(Files, AReplacementIsWholeOrNothingAndAWrittenFileTakesEveryByte) {
    test::TempFolder folder;
    const std::string path = folder / "a.txt";
    std::string content = "left alone";
    EXPECT_EQ(ReadWholeFile(path, content).error, ENOENT);

    ASSERT_FALSE(ReplaceFile(path, std::string(10000, 'x')));
    ASSERT_FALSE(ReplaceFile(path, "second\n"));
    ASSERT_FALSE(ReadWholeFile(path, content));
    EXPECT_EQ(content, "second\n");
    EXPECT_EQ(std::filesystem::status(path).permissions(), std::filesystem::perms(0644));

    // A folder in the way: the rename fails, the folder stays, the temporary file is gone.
    const std::string taken = folder / "taken";
    std::filesystem::create_directory(taken);
    const FileFailure failure = ReplaceFile(taken, "x");
    ASSERT_TRUE(failure);
    EXPECT_EQ(failure.doing, "cannot replace the file");
    EXPECT_NE(failure.Text().find("cannot replace the file: "), std::string::npos);
    EXPECT_TRUE(std::filesystem::is_directory(taken));
    EXPECT_EQ(test::FilesIn(folder.Path()), (std::vector<std::string>{"a.txt", "taken"}));

    EXPECT_TRUE(ReplaceFile(folder / "no/such/folder", "x"));
    EXPECT_EQ(ReadWholeFile(taken, content).error, EISDIR);

    // A written file takes every byte, and is closed with its object.
    const std::size_t open = test::OpenDescriptors();
    {
        WrittenFile file;
        EXPECT_TRUE(file.Write("x", 1)); // not created yet
        ASSERT_FALSE(file.Create(folder / "b.bin"));
        ASSERT_FALSE(file.Write("abc", 3));
        ASSERT_FALSE(file.Write(std::string(70000, 'y').data(), 70000));
        EXPECT_EQ(test::OpenDescriptors(), open + 1);
    }
    EXPECT_EQ(test::OpenDescriptors(), open);
    EXPECT_EQ(test::ReadFile(folder / "b.bin"), "abc" + std::string(70000, 'y'));

    WrittenFile nowhere;
    EXPECT_EQ(nowhere.Create(folder / "no/b.bin").error, ENOENT);
    EXPECT_FALSE(nowhere.IsOpen());

    int ends[2];
    ASSERT_EQ(::pipe(ends), 0);
    EXPECT_FALSE(IsTerminal(ends[0]));
    ::close(ends[0]);
    ::close(ends[1]);
}
