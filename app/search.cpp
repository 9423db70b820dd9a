// The search: the country change, the search itself under its progress dialog, its worker and
// the Enter key in the search controls.
#include "app/dialogs.h"
#include "app/main_wnd.h"
#include "engine/listview.h"
#include "platform/messages.h"
#include "platform/text.h"
#include "store/course_table.h"

namespace verdal {

using namespace engine;

namespace {

std::string NamedText(const NamedValues& values, const char16_t* name) {
    const auto found = values.find(name);
    return found == values.end() ? std::string() : Utf16ToUtf8(found->second.ToString());
}

// "all", the first entry of a select, stands for no restriction.
std::string Criterion(const NamedValues& values, const char16_t* name) {
    std::string text = NamedText(values, name);
    return text == "all" ? std::string() : text;
}

} // namespace

void CMainWnd::OnCountryChanged() {
    const std::string country = NamedText(GetNamedValues(RootElement(Handle())), page201::kCountry);
    locationFilter_.ClearCities();
    locationFilter_.FillCities(country);
    locationFilter_.ChooseAllRegions();
}

void CMainWnd::SearchCourses() {
    ClearCatalogueList();
    const NamedValues values = GetNamedValues(RootElement(Handle()));
    searchCountry = Criterion(values, page201::kCountry);
    searchCity = Criterion(values, page201::kCity);
    searchKeyword = NamedText(values, page201::kKeyword);
    const HWND main = Handle();
    std::intptr_t result = 1;
    std::size_t found = 0;
    if (!searchCountry.empty() || !searchCity.empty() || !searchKeyword.empty()) {
        result = RunWithProgress(
            u"Search Course...", true, main, workers_,
            [main, &found, query = SearchQuery{searchCountry, searchCity, searchKeyword}](
                HWND page, std::stop_token stop) {
                found = SearchWorker(main, page, query, stop);
            });
    }
    // A search that failed has said so on the status line already.
    if (result == 1 && found == 0 && IsWindow(main))
        ShowMessage(u"Unable to find your course,please try", u"again", main);
}

std::size_t SearchWorker(HWND main, HWND page, const SearchQuery& query, std::stop_token stop) {
    CppSQLite3Cursor cursor = CourseDatabase().runQuery(
        SearchTextsStatement(query.country, query.city, query.keyword).c_str());
    // Rows go to the list in batches: each message the user-interface thread handles sends the
    // page's changes to the browser, so one row a message would send one update a row.
    auto batch = std::make_unique<CatalogueRows>();
    std::size_t found = 0;
    const auto send = [&] {
        if (!batch->empty())
            PostMessageWith(main, kCatalogueRowsMessage, 0, std::move(batch));
        batch = std::make_unique<CatalogueRows>();
    };
    int i = 0;
    int shown = -1;
    while (!cursor.atEnd()) {
        if (stop.stop_requested()) {
            cursor.finish();
            EndDialog(GetParent(page), 0);
            return found;
        }
        auto record = std::make_unique<CourseTexts>();
        ReadCourseTexts(cursor, *record);
        batch->push_back(std::move(record));
        ++found;
        if (batch->size() == kCatalogueBatch)
            send();
        if (++i == 1000)
            i = 0;
        // The bar climbs by one every ten rows; a value already shown is not sent again.
        if (i / 10 != shown) {
            shown = i / 10;
            PostMessage(page, kProgressMessage, static_cast<WPARAM>(shown), 0);
        }
    }
    send();
    cursor.finish();
    EndDialog(GetParent(page), 1);
    return found;
}

bool CMainWnd::OnSearchKey(const Element& target, unsigned type, unsigned keyCode) {
    if ((type & ~0x8000u) != KEY_DOWN || keyCode != 13)
        return false;
    const Element root = RootElement(Handle());
    const Element country = ElementById(root, page201::kCountry);
    const Element city = ElementById(root, page201::kCity);
    const Element keyword = ElementById(root, page201::kKeyword);
    // The selects themselves, or their first child element, as the key reaches them.
    const bool inSearch = (keyword && target == keyword) || (country && target == country) ||
                          (city && target == city) ||
                          (country && country.ChildCount() > 0 && target == country.NthChild(0)) ||
                          (city && city.ChildCount() > 0 && target == city.NthChild(0));
    if (inSearch)
        SearchCourses();
    return false;
}

bool CMainWnd::OnKey(const Element& he, KEY_PARAMS& params) {
    try {
        return OnSearchKey(params.target ? params.target : he, params.cmd, params.key_code);
    } catch (...) {
        ReportFailure(Handle(), "search key");
        return false;
    }
}

} // namespace verdal
