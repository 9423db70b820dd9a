// The dialogs: the progress dialog's text, bar and worker, a worker that fails, and the course
// information dialog's fields and pars.
#include "app/dialogs.h"
#include "app/main_wnd.h"
#include "app_test_support.h"
#include "platform/messages.h"

#include <gtest/gtest.h>

#include <memory>

using namespace verdal;
using namespace verdal::test;

namespace {

struct DialogTest : ::testing::Test {
    CMainWnd main;
    HWND hwnd = 0;
    WorkerOwner workers;
    void SetUp() override {
        hwnd = main.Create(0);
        ASSERT_NE(hwnd, 0);
        main.Device().WaitForConnect();
    }
    void TearDown() override {
        DestroyWindow(hwnd);
        DrainQueue();
    }
};

TEST_F(DialogTest, ProgressDialogShowsItsTextTheBarOnlyWhenAskedAndTheWorkersResult) {
    std::string display;
    std::u16string text, value;
    // The worker has the dialog's page read on the user-interface thread, which then ends it.
    const auto look = [&](HWND page, std::stop_token) {
        PostMessage(page, kProgressMessage, 150);
        engine::PostTask([&, page] {
            const Element root = RootElement(page);
            display = GetStyleAttribute(ElementById(root, u"progress"), "display");
            text = GetText(ElementById(root, u"MsgText"));
            value = GetAttribute(ElementById(root, u"progress"), "value");
            EndDialog(GetParent(page), 7);
        });
    };
    EXPECT_EQ(RunWithProgress(u"Clear Device Courses", ProgressBar::Hidden, hwnd, workers, look),
              7);
    EXPECT_EQ(display, "none");
    EXPECT_EQ(text, u"Clear Device Courses");
    EXPECT_EQ(value, u"150"); // any value is taken; the drawing is the browser's

    EXPECT_EQ(RunWithProgress(u"Update GOF File...", ProgressBar::Shown, hwnd, workers, look), 7);
    EXPECT_EQ(display, "block");
    EXPECT_EQ(text, u"Update GOF File...");
}

// A worker that throws ends its dialog with 0 and the status line says what failed: PROGRAM ERROR
// for anything but the database (whose DATABASE ERROR the search's failing statement shows).
TEST_F(DialogTest, AWorkerThatThrowsEndsItsDialogAndSaysWhatFailed) {
    const auto other = [](HWND, std::stop_token) { throw std::runtime_error("broken"); };
    EXPECT_EQ(RunWithProgress(u"Search Course...", ProgressBar::Shown, hwnd, workers, other), 0);
    ASSERT_TRUE(PumpUntil(hwnd, [&] { return TextOf(hwnd, u"message") == u"PROGRAM ERROR"; }));
}

TEST(ParText, ShowsEachParAndABlankForZeroMinusOneOrMissing) {
    const char16_t* shown[] = {u"4", u"5", u"3", u" ", u" ", u" ", u"12", u" "};
    for (int hole = 0; hole < 8; ++hole)
        EXPECT_EQ(ParText("4,5,3,-1,0,x,12", hole), shown[hole]) << hole;
    EXPECT_EQ(ParText("", 0), u" ");
}

TEST(CourseInfo, FillsTheFieldsAndTheParsOfEighteenHoles) {
    auto course = std::make_unique<CourseRecord>();
    course->SetName("Lac d'\xc3\x89t\xc3\xa9");
    course->SetAddress("1 Rue de l'Étang");
    course->SetTelephone("+33 1 23");
    course->SetEmail("golf@example.org");
    course->SetHole("4,5,3");
    CCourseInfoWnd page(*course);
    // The catalogue row it came from may go while the dialog is open.
    course.reset();
    ASSERT_NE(page.Create(0), 0);
    ASSERT_TRUE(page.LoadPage(kCourseInfoPage));
    page.OnShown();
    const HWND hwnd = page.Handle();
    // Shown as written: the record holds its quotes doubled.
    EXPECT_EQ(TextOf(hwnd, u"titletext"), u"Lac d'\u00c9t\u00e9");
    EXPECT_EQ(TextOf(hwnd, u"address"), u"1 Rue de l'\u00c9tang");
    EXPECT_EQ(TextOf(hwnd, u"telephone"), u"+33 1 23");
    EXPECT_EQ(TextOf(hwnd, u"email"), u"golf@example.org");
    const std::pair<const char16_t*, const char16_t*> pars[] = {
        {u"par01", u"4"}, {u"par03", u"3"}, {u"par04", u" "}, {u"par10", u" "}, {u"par18", u" "}};
    for (const auto& [id, par] : pars)
        EXPECT_EQ(TextOf(hwnd, id), par);
    DestroyWindow(hwnd);
}

} // namespace
