// The location filters and the search on a real golf.db: the selects at start-up and after a
// country change, the search worker's rows and progress, and Enter in the keyword box.
#include "app/location_filter.h"
#include "app/main_wnd.h"
#include "app_test_support.h"
#include "platform/messages.h"
#include "platform/text.h"
#include "store/course_table.h"

#include <gtest/gtest.h>

using namespace verdal;
using namespace verdal::engine;
using namespace verdal::test;

namespace {

using Strings = std::vector<std::string>;

void AddCourse(int objid, const std::string& name, const std::string& country,
               const std::string& city) {
    CourseRecord record;
    record.objid = objid;
    record.fileid = std::to_string(objid);
    record.SetName(name);
    record.SetCountry(country);
    record.SetCity(city);
    record.gof[0] = 'G';
    InsertCourse(record);
}

// count courses "Course 0" and on, all in Japan, Chiba.
void AddCourses(int count) {
    CourseDatabase().runStatement("begin;");
    for (int i = 0; i < count; ++i)
        AddCourse(i + 1, "Course " + std::to_string(i), "Japan", "Chiba");
    CourseDatabase().runStatement("commit;");
}

// Each option of the select as "value=text".
Strings Options(HWND hwnd, const char16_t* id) {
    Strings options;
    const Element select = ElementById(RootElement(hwnd), id);
    for (std::size_t i = 0; i < select.ChildCount(); ++i) {
        const Element option = select.NthChild(i);
        options.push_back(Utf16ToUtf8(GetAttribute(option, "value")) + "=" +
                          Utf16ToUtf8(GetText(option)));
    }
    return options;
}

std::string Chosen(HWND hwnd, const char16_t* name) {
    return Utf16ToUtf8(GetNamedValues(RootElement(hwnd)).at(name).ToString());
}

struct SearchTest : ::testing::Test {
    CMainWnd main;
    HWND hwnd = 0;
    Recorder spy; // the search dialog's page, recording the progress

    // The table holds the courses that fill() adds, then the window starts on it. The engine's
    // task pump runs, as in the program, so the worker hands its batches over as tasks.
    void Start(const std::function<void()>& fill) {
        OpenCourseDatabase();
        EnsureCourseTable();
        CourseDatabase().runStatement("delete from GOLF;");
        fill();
        hwnd = main.Create(0);
        ASSERT_NE(hwnd, 0);
        ASSERT_NE(CreateWindowFor(spy, 0), 0);
        main.Device().WaitForConnect();
    }
    void TearDown() override {
        DestroyWindow(hwnd);
        DestroyWindow(spy.Handle());
        DrainQueue();
    }
    // The course names of the catalogue rows, as they are painted.
    Strings RowNames() {
        Strings names;
        for (const auto& row : PaintedRows(main.Lists().CatalogueList(), 3))
            names.push_back(Utf16ToUtf8(row[0]));
        return names;
    }
};

// The selects offer "USA" first and the regions of the chosen country; after an update they
// offer what golf.db holds now, without a restart, and the choice stays while it is still stored.
TEST_F(SearchTest, FiltersOfferUsaFirstFollowTheCountryAndAreFilledAgainAfterAnUpdate) {
    Start([] {
        AddCourse(1, "Heron Lakes", "USA", "Texas");
        AddCourse(2, "Bay Hill", "USA", "Florida");
        AddCourse(3, "St Andrews", "Scotland", "Fife");
        AddCourse(4, "Royal <&> \"Club\"", "O'Land", "");
        AddCourse(5, "Nowhere GC", "Atlantis", "Deep");
    });
    EXPECT_EQ(Options(hwnd, u"country"), (Strings{"all=All Country", "USA=USA", "Atlantis=Atlantis",
                                                  "O'Land=O'Land", "Scotland=Scotland"}));
    EXPECT_EQ(TextOf(hwnd, u"regions"), u"STATES:");
    EXPECT_EQ(Options(hwnd, u"city"),
              (Strings{"all=All States", "Florida=Florida", "Texas=Texas"}));
    EXPECT_EQ(Chosen(hwnd, u"country"), "USA");
    EXPECT_EQ(Chosen(hwnd, u"city"), "all");

    const auto choose = [&](const char16_t* country) {
        SetNamedValues(RootElement(hwnd), {{u"country", Value::String(country)}});
        main.Location().OnCountryChanged();
    };
    choose(u"all");
    EXPECT_EQ(TextOf(hwnd, u"regions"), u"REGIONS:");
    EXPECT_EQ(Options(hwnd, u"city"), (Strings{"all=All Regions"}));
    choose(u"O'Land"); // a quote in the value, one region stored empty
    EXPECT_EQ(Options(hwnd, u"city"), (Strings{"all=All Regions", "="}));
    choose(u"Scotland");
    EXPECT_EQ(Options(hwnd, u"city"), (Strings{"all=All Regions", "Fife=Fife"}));
    EXPECT_EQ(Chosen(hwnd, u"city"), "all");

    AddCourse(6, "Golf de Digne", "France", "Provence-Alpes-C\xC3\xB4te d'Azur");
    main.OnStatus(static_cast<WPARAM>(StatusCode::UpdateCompleted), 0);
    EXPECT_EQ(Options(hwnd, u"country"),
              (Strings{"all=All Country", "USA=USA", "Atlantis=Atlantis", "France=France",
                       "O'Land=O'Land", "Scotland=Scotland"}));
    EXPECT_EQ(Chosen(hwnd, u"country"), "Scotland");
    EXPECT_EQ(Options(hwnd, u"city"), (Strings{"all=All Regions", "Fife=Fife"}));

    choose(u"France");
    SetNamedValues(RootElement(hwnd),
                   {{u"city", Value::String(u"Provence-Alpes-C\u00f4te d'Azur")}});
    AddCourse(7, "Golf de Lyon", "France", "Auvergne");
    main.OnStatus(static_cast<WPARAM>(StatusCode::UpdateCompleted), 0);
    EXPECT_EQ(Chosen(hwnd, u"country"), "France");
    EXPECT_EQ(Chosen(hwnd, u"city"), "Provence-Alpes-C\xC3\xB4te d'Azur");
    EXPECT_EQ(TextOf(hwnd, u"regions"), u"REGIONS:");
    EXPECT_EQ(Options(hwnd, u"city"), (Strings{"all=All Regions", "Auvergne=Auvergne",
                                               "Provence-Alpes-C\xC3\xB4te d'Azur=Provence-Alpes-"
                                               "C\xC3\xB4te d'Azur"}));

    // A country no longer stored gives way to "USA".
    CourseDatabase().runStatement("delete from GOLF where country='France';");
    main.OnStatus(static_cast<WPARAM>(StatusCode::UpdateCompleted), 0);
    EXPECT_EQ(Chosen(hwnd, u"country"), "USA");
    EXPECT_EQ(Chosen(hwnd, u"city"), "all");
    EXPECT_EQ(TextOf(hwnd, u"regions"), u"STATES:");
}

TEST_F(SearchTest, EachCriterionPicksItsCoursesAndEnterSearches) {
    Start([] {
        AddCourse(1, "Heron Lakes", "USA", "Texas");
        AddCourse(2, "Bay Hill", "USA", "Florida");
        AddCourse(3, "St Andrews", "Scotland", "Fife");
        AddCourse(4, "O'Hara Links", "Ireland", "Cork");
        AddCourse(5, "Heron_Bay", "Canada", "Ontario");
    });
    const auto search = [&](std::string country, std::string city, std::string keyword) {
        main.Lists().ClearCatalogue();
        SearchWorker(hwnd, spy.Handle(), SearchQuery{country, city, keyword});
        DrainQueue();
        return RowNames();
    };
    EXPECT_EQ(search("USA", "", ""), (Strings{"Bay Hill", "Heron Lakes"}));
    EXPECT_EQ(search("USA", "Texas", ""), (Strings{"Heron Lakes"}));
    EXPECT_EQ(search("USA", "", "hill"), (Strings{"Bay Hill"}));
    EXPECT_EQ(search("USA", "Florida", "heron"), Strings{});
    EXPECT_EQ(search("", "", "heron"), (Strings{"Heron Lakes", "Heron_Bay"}));
    EXPECT_EQ(search("", "", "n_B"), (Strings{"Heron_Bay"}));
    EXPECT_EQ(search("", "", "S%A"), (Strings{"St Andrews"}));
    // A keyword typed as the row shows it finds the course.
    EXPECT_EQ(search("Ireland", "Cork", "o'h"), (Strings{"O'Hara Links"}));

    // Enter in the keyword box runs the whole search: the criteria come from the page.
    main.Lists().ClearCatalogue();
    const Element root = RootElement(hwnd);
    SetNamedValues(root, {{u"country", Value::String(u"all")},
                          {u"city", Value::String(u"all")},
                          {u"keyword", Value::String(u"St ")}});
    EXPECT_FALSE(main.Search().OnKey(ElementById(root, u"keyword"), KEY_DOWN, 65));
    EXPECT_EQ(RowNames(), Strings{});
    EXPECT_FALSE(main.Search().OnKey(ElementById(root, u"keyword"), KEY_DOWN, 13));
    DrainQueue();
    EXPECT_EQ(RowNames(), Strings{"St Andrews"});
    EXPECT_EQ(main.Search().Query(), (SearchQuery{"", "", "St "}));
}

TEST_F(SearchTest, ProgressRunsToNinetyNineTwiceAndEndsAtFifty) {
    Start([] { AddCourses(2500); });
    EXPECT_EQ(SearchWorker(hwnd, spy.Handle(), SearchQuery{"Japan", "", ""}), 2500u);
    // Each value once, as it changes: 0 to 99, 0 to 99, 0 to 50.
    ASSERT_TRUE(PumpUntil(hwnd, [&] {
        return spy.Progress().size() == 251 &&
               SendMessage(main.Lists().CatalogueList(), LVM_GETITEMCOUNT) == 2500;
    }));
    for (std::size_t k = 0; k < spy.Progress().size(); ++k)
        EXPECT_EQ(spy.Progress()[k], k % 100) << k;
    // The rows, handed over in batches, keep the statement's order across them.
    // Strictly ascending, all 2500 of them: every course once, in order.
    const auto names = RowNames();
    EXPECT_EQ(std::adjacent_find(names.begin(), names.end(), std::greater_equal<>()), names.end());
}

// The window goes while its search runs, as when the program is told to end: the search stops
// between two rows, its worker is joined before the database closes, and the search's handler
// touches nothing of the window afterwards.
TEST_F(SearchTest, TheWindowGoingEndsTheSearchBetweenRows) {
    Start([] { AddCourses(5000); });
    // Queued first: the dialog's loop handles it while the worker has just begun.
    PostTask([window = hwnd] { DestroyWindow(window); });
    SetNamedValues(RootElement(hwnd), {{u"country", Value::String(u"Japan")}});
    main.Search().Run();
    EXPECT_FALSE(IsWindow(hwnd));
    hwnd = 0;
}

TEST_F(SearchTest, AFailingStatementEndsTheSearchAndSaysSo) {
    Start([] { AddCourse(1, "Heron Lakes", "USA", "Texas"); });
    CourseDatabase().runStatement("drop table GOLF;");
    SetNamedValues(RootElement(hwnd), {{u"keyword", Value::String(u"Heron")}});
    main.Search().Run(); // the dialog ends by itself; no "not found" message follows
    EXPECT_EQ(SendMessage(main.Lists().CatalogueList(), LVM_GETITEMCOUNT), 0);
    ASSERT_TRUE(PumpUntil(hwnd, [&] { return TextOf(hwnd, u"message") == u"DATABASE ERROR"; }));
    main.Location().OnCountryChanged(); // the regions statement fails too: the first entry stays
    EXPECT_EQ(Options(hwnd, u"city"), (Strings{"all=All States"}));
    EnsureCourseTable();
}

} // namespace
