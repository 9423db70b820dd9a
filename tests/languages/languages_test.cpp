// The program in the session's language: in C, POSIX and English, or without catalogues, every
// page, menu, status and help text is the one written; in each language of the catalogues they
// are translated, the page says its language, and numbers stay as C writes them.
#include "app/course_lists.h"
#include "app/main_wnd.h"
#include "app/program_options.h"
#include "app/status_table.h"
#include "platform/language.h"
#include "platform/text.h"
#include "tests/support/programs.h"
#include "ui/element.h"
#include "ui/page_text.h"
#include "ui/resources.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cstdio>
#include <cstdlib>

namespace {

using namespace verdal;

constexpr int kPages[] = {201, 205, 208, 209};
constexpr int kMenus[] = {kCatalogueMenu, kDeviceMenu};
constexpr const char* kLanguages[][2] = {
    {"de_DE.UTF-8", "de"}, {"es_ES.UTF-8", "es"}, {"fr_FR.UTF-8", "fr"},
    {"ja_JP.UTF-8", "ja"}, {"ko_KR.UTF-8", "ko"},
};

// The session's language from here on: the locale (made by the fixture in VERDAL_TEST_LOCALES)
// and the catalogues of the build tree, or of catalogueFolder when given.
void Speak(const char* locale, const char* catalogueFolder = nullptr) {
    ::setenv("LOCPATH", VERDAL_TEST_LOCALES, 1);
    ::setenv("LC_ALL", locale, 1);
    ::unsetenv("LANGUAGE");
    if (catalogueFolder) {
        FollowSessionLanguage(catalogueFolder);
    } else {
        FollowSessionLanguage();
    }
    // The C library names the POSIX locale C.
    ASSERT_STREQ(std::setlocale(LC_MESSAGES, nullptr),
                 std::string(locale) == "POSIX" ? "C" : locale)
        << "the locale is not made";
}

std::string Resource(int id, int type) {
    ResourceData data;
    EXPECT_TRUE(FindResource(id, type, data)) << id;
    return std::string(reinterpret_cast<const char*>(data.data), data.size);
}

// The page as the program loads it into a window.
std::unique_ptr<engine::Document> LoadedPage(int id) {
    auto page = std::make_unique<engine::Document>(Resource(id, RT_HTML));
    TranslatePage(page->Root());
    return page;
}

std::string Texts(const engine::Menu& menu) {
    std::string texts = Utf16ToUtf8(menu.title);
    for (const engine::MenuItem& item : menu.items)
        texts += "|" + Utf16ToUtf8(item.text);
    for (const engine::Menu& popup : menu.popups)
        texts += "[" + Texts(popup) + "]";
    return texts;
}

std::string FirstLine(const std::string& text) {
    return text.substr(0, text.find('\n'));
}

TEST(Languages, InCPosixAndEnglishOrWithoutCataloguesEveryTextIsAsWritten) {
    for (const auto& [locale, folder] : {std::pair<const char*, const char*>{"C", nullptr},
                                         {"POSIX", nullptr},
                                         {"en_US.UTF-8", nullptr},
                                         {"de_DE.UTF-8", "/nonexistent"}}) {
        SCOPED_TRACE(locale + std::string(folder ? " without catalogues" : ""));
        Speak(locale, folder);
        EXPECT_EQ(MessagesLanguage(), "en");
        for (const int id : kPages) {
            const engine::Document written(Resource(id, RT_HTML));
            EXPECT_EQ(engine::SerializePlain(*LoadedPage(id)->Root().node()),
                      engine::SerializePlain(*written.Root().node()))
                << id;
        }
        for (const int id : kMenus)
            EXPECT_EQ(Texts(*LoadMenu(id)), Texts(*ParseMenu(Resource(id, RT_MENU)))) << id;
        for (WPARAM code = 0; code <= 13; ++code) {
            const StatusRow* row = FindStatus(code);
            EXPECT_EQ(StatusLineText(code), row && row->text ? row->text : "") << code;
        }
        EXPECT_EQ(NotConnectedText({"the device was unplugged", ReasonKind::Shown}),
                  u"DEVICE NOT CONNECTED - the device was unplugged");
        EXPECT_EQ(UpdateErrorText("the disk is full (update.xml)"),
                  u"UPDATE GOF FILE ERROR - the disk is full (update.xml)");
        EXPECT_EQ(FirstLine(UsageText()), "Usage: verdal [OPTION]...");
    }
}

TEST(Languages, EachLanguageTranslatesThePagesMenusStatusesAndHelp) {
    for (const auto& [locale, language] : kLanguages) {
        SCOPED_TRACE(locale);
        Speak(locale);
        EXPECT_EQ(MessagesLanguage(), language);

        const auto main = LoadedPage(201);
        const engine::Element root = main->Root();
        EXPECT_EQ(root.Attribute("lang"), language);
        const engine::Element update = root.SelectFirst("#updategof");
        EXPECT_EQ(update.Text(), Tr("Course Update"));
        EXPECT_NE(update.Text(), "Course Update");
        // An option's text is translated, its value stays what the search compares.
        const engine::Element all = root.SelectFirst("#country option");
        EXPECT_EQ(std::pair(all.Attribute("value"), all.Text()),
                  std::pair(std::string("all"), std::string(Tr("All Country"))));
        EXPECT_NE(all.Text(), "All Country");
        EXPECT_EQ(root.SelectFirst("#comport").Attribute("aria-label"), Tr("Serial port"));
        // What is marked translate="no" stays: the port names, the version, the window's name.
        EXPECT_EQ(root.SelectFirst("option[value='3']").Text(), "/dev/ttyUSB3");
        EXPECT_EQ(root.SelectFirst(".version").Text(), "v 3.0.0");
        EXPECT_EQ(LoadedPage(208)->Root().SelectFirst("h1").Text(), "Verdal2012 Message");
        EXPECT_EQ(LoadedPage(209)->Root().SelectFirst("#MsgExit").Attribute("value"), Tr("Exit"));
        EXPECT_NE(Tr("Exit"), std::string("Exit"));

        for (const int id : kMenus)
            EXPECT_NE(Texts(*LoadMenu(id)), Texts(*ParseMenu(Resource(id, RT_MENU)))) << id;
        for (WPARAM code = 1; code <= 12; ++code) {
            if (const StatusRow* row = FindStatus(code); row && row->text) {
                EXPECT_NE(StatusLineText(code), row->text) << code;
            }
        }
        EXPECT_NE(NotConnectedText({"x", ReasonKind::Shown}), u"DEVICE NOT CONNECTED - x");

        // The programs' help, as each prints it in the session's language.
        const char* cliUsage =
            Tr("Usage: verdal-cli [OPTION]... COMMAND [ARGUMENT]...\n"
               "  or:  verdal-cli --help | --version\n"
               "The golf GPS course manager's device and catalogue operations from a terminal.\n"
               "\n"
               "Options:\n");
        for (const auto& [program, usage] :
             {std::pair<std::string, std::string>{"verdal", FirstLine(UsageText())},
              {"verdal-cli", FirstLine(cliUsage)}}) {
            const test::ProgramRun help = test::RunBuilt(program, {"--help"});
            ASSERT_FALSE(help.lines.empty()) << program;
            EXPECT_EQ(help.lines.front(), usage);
            EXPECT_EQ(help.lines.front().rfind("Usage:", 0), std::string::npos) << usage;
        }

        // Numbers are written as C writes them, whatever the language's decimal sign.
        char number[16];
        std::snprintf(number, sizeof number, "%.1f", 1.5);
        EXPECT_STREQ(number, "1.5");
    }
}

} // namespace
