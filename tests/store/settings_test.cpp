// settings.reg: defaults on first start, hand-written and damaged files, and saves that overlap.
#include "store/settings.h"

#include "tests/support/reference.h"
#include "tests/support/temp_folder.h"

#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <functional>
#include <thread>
#include <tuple>
#include <vector>

using namespace verdal;
using test::ReadFile;
using test::WriteFile;

namespace {

// Loads the settings over values that no load would give, so that the load visibly replaces
// them, and answers what it loaded.
Settings Reloaded() {
    ChangeSettings([](Settings& s) {
        s.updateVersion = 7777;
        s.comIndex = -5;
        s.serialNumber = u"stale";
        s.server = "http://stale/";
    });
    LoadSettings();
    return CopySettings();
}

// The values of the settings, to compare them all at once.
auto Values(const Settings& s) {
    return std::tuple(s.updateVersion, s.comIndex, s.serialNumber, s.server);
}

// Changes the settings and saves them.
void Save(const std::function<void(Settings&)>& change) {
    ChangeSettings(change);
    SaveSettings();
}

// What a missing or damaged file loads.
const Settings kDefaults{24};

} // namespace

TEST(Settings, FirstStartWritesTheDefaultsAndSavedValuesLoadBack) {
    test::TempDataFolder folder;
    EXPECT_EQ(Values(Reloaded()), Values(kDefaults));
    EXPECT_EQ(ReadFile(folder / "settings.reg"), test::ReferenceFile("settings.reg"));
    EXPECT_EQ(test::FilesIn(folder.Path()), std::vector<std::string>{"settings.reg"});
    // It holds the device's serial number.
    EXPECT_EQ(std::filesystem::status(folder / "settings.reg").permissions(),
              std::filesystem::perms(0600));

    Settings saved{0xFFFFFFF0u, 3, std::u16string(63, u'\u00E9'),
                   "http://127.0.0.1:9/a \"quoted\" \\path\\"};
    Save([&](Settings& s) { s = saved; });
    EXPECT_EQ(test::FilesIn(folder.Path()), std::vector<std::string>{"settings.reg"});
    EXPECT_EQ(Values(Reloaded()), Values(saved));
    std::string file = ReadFile(folder / "settings.reg");
    EXPECT_NE(file.find("\"update version\"=dword:fffffff0\n"), std::string::npos) << file;
    EXPECT_NE(file.find("\"com index\"=dword:00000003\n"), std::string::npos) << file;

    // Control characters, line breaks included, stay inside their value.
    saved.serialNumber = u"SN\r\n\t1";
    saved.server = "http://127.0.0.1:9/\n\x01";
    Save([&](Settings& s) { s = saved; });
    EXPECT_EQ(Values(Reloaded()), Values(saved));
    EXPECT_FALSE(std::filesystem::exists(folder / "settings.reg.bad"));

    // A serial number of 64 units or more never loads.
    Save([](Settings& s) { s.serialNumber = std::u16string(64, u'S'); });
    saved.serialNumber.clear();
    EXPECT_EQ(Values(Reloaded()), Values(saved));
}

TEST(Settings, HandWrittenFileLoadsWhatItHolds) {
    test::TempDataFolder folder;
    // No header, the short key name, other keys and values passed over, missing values default,
    // CR LF line ends.
    WriteFile(folder / "settings.reg", test::ReferenceFile("settings-by-hand.reg"));
    EXPECT_EQ(Values(Reloaded()), Values(Settings{24, 3}));
    EXPECT_FALSE(std::filesystem::exists(folder / "settings.reg.bad"));
}

TEST(Settings, DamagedFileIsKeptAsideAndDefaultsLoad) {
    const std::string key = "[HKEY_LOCAL_MACHINE\\SOFTWARE\\verdalV021]\n";
    for (const std::string& damaged :
         {std::string("\"com index\"=dword:00000003\n"), // a value outside any key
          key + "\"com index\"=dword:xyz\n", key + "\"sn\"=\"unterminated\n",
          key + "\"com index\"=dword:000000031\n", key.substr(0, 37) /* cut off */, std::string(),
          std::string("\0\0\0\0", 4)}) {
        test::TempDataFolder folder;
        WriteFile(folder / "settings.reg", damaged);
        EXPECT_EQ(Values(Reloaded()), Values(kDefaults)) << damaged;
        EXPECT_EQ(ReadFile(folder / "settings.reg.bad"), damaged);
        EXPECT_EQ(ReadFile(folder / "settings.reg"), test::ReferenceFile("settings.reg"));
    }
}

// Saves that overlap a change: whatever the order, the file ends with the values of the last
// change, because a save copies the values and writes them as one step.
TEST(Settings, OverlappingSavesNeverLeaveAnOlderCopyOnDisk) {
    test::TempDataFolder folder;
    LoadSettings();
    for (int round = 0; round < 5; ++round) {
        std::vector<std::jthread> savers;
        for (int t = 0; t < 2; ++t)
            savers.emplace_back([](std::stop_token stop) {
                while (!stop.stop_requested())
                    SaveSettings();
            });
        const int last = round * 1000 + 49;
        for (int i = round * 1000; i <= last; ++i)
            Save([i](Settings& s) { s.comIndex = i; });
        savers.clear(); // stopped and joined
        LoadSettings();
        ASSERT_EQ(CopySettings().comIndex, last) << "round " << round;
    }
}

TEST(Settings, ConcurrentSavesNeverLeaveHalfAFile) {
    test::TempDataFolder folder;
    LoadSettings();
    std::atomic<int> wholeReads{0};
    std::jthread reader([&](std::stop_token stop) {
        // Every look at the file finds a whole one, from the header to the last value.
        while (!stop.stop_requested()) {
            std::string file = ReadFile(folder / "settings.reg");
            ASSERT_EQ(file.rfind("Windows Registry Editor Version 5.00\n", 0), 0u) << file;
            ASSERT_NE(file.find("\"server\"=\"http://127.0.0.1:8650/\"\n\n"), std::string::npos)
                << file;
            ++wholeReads;
        }
    });
    std::vector<std::jthread> writers;
    for (int t = 0; t < 4; ++t)
        writers.emplace_back([t] {
            for (int i = 0; i < 50; ++i)
                Save([&](Settings& s) { s.comIndex = t * 100 + i; });
        });
    writers.clear(); // joined
    Save([](Settings& s) { s.comIndex = 12; });
    reader.request_stop();
    reader.join();
    EXPECT_GT(wholeReads.load(), 0);
    EXPECT_EQ(test::FilesIn(folder.Path()), std::vector<std::string>{"settings.reg"});
    LoadSettings();
    EXPECT_EQ(CopySettings().comIndex, 12);
}
