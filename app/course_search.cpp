// The search: the search itself under its progress dialog, its worker and the Enter key in the
// search controls.
#include "app/course_search.h"

#include "app/dialogs.h"
#include "app/main_messages.h"
#include "app/main_page.h"
#include "engine/engine.h"
#include "engine/listview.h"
#include "platform/language.h"
#include "platform/messages.h"
#include "platform/text.h"
#include "store/course_table.h"

#include <chrono>
#include <memory>
#include <vector>

namespace verdal {

using namespace engine;

namespace {

// "all", the first entry of a select, stands for no restriction.
std::string Criterion(const NamedValues& values, const char16_t* name) {
    std::string text = NamedText(values, name);
    return text == "all" ? std::string() : text;
}

} // namespace

void CourseSearch::Run() {
    lists_.ClearCatalogue();
    const NamedValues values = GetNamedValues(RootElement(main_));
    query_ = {Criterion(values, page201::kCountry), Criterion(values, page201::kCity),
              NamedText(values, page201::kKeyword)};
    const HWND main = main_;
    std::intptr_t result = 1;
    std::size_t found = 0;
    if (!query_.Empty()) {
        result =
            RunWithProgress(Utf8ToUtf16(Tr("Search Course...")), ProgressBar::Shown, main, workers_,
                            [main, &found, query = query_](HWND page, std::stop_token stop) {
                                found = SearchWorker(main, page, query, stop);
                            });
    }
    // A search that failed has said so on the status line already.
    if (result == 1 && found == 0 && IsWindow(main))
        // TRANSLATORS: the two lines of the message when a search found no course.
        ShowMessage(Utf8ToUtf16(Tr("Unable to find your course,please try")),
                    Utf8ToUtf16(Tr("again")), main);
}

namespace {

// Rows found since the last hand-over and the progress values that came with them.
struct SearchBatch {
    CatalogueRows rows;
    std::vector<int> progress;
};

// Hands a batch to the user-interface thread as one task: the rows go to the catalogue list and
// the values to the bar in a single dispatched message, so that the browser gets one update a
// batch rather than one per progress value. Without the engine's task pump (no browser to
// update) the rows and values are posted one message each. Never waits for the user-interface
// thread, which joins this worker when the main window closes.
void HandOver(HWND main, HWND page, std::unique_ptr<SearchBatch> batch) {
    std::shared_ptr<SearchBatch> shared = std::move(batch);
    const bool queued = PostTask([main, page, shared] {
        if (!shared->rows.empty())
            SendMessage(main, kCatalogueRowsMessage, 0, reinterpret_cast<LPARAM>(&shared->rows));
        for (const int value : shared->progress)
            SendMessage(page, kProgressMessage, static_cast<WPARAM>(value), 0);
    });
    if (queued)
        return;
    if (!shared->rows.empty())
        PostMessageWith(main, kCatalogueRowsMessage, 0,
                        std::make_unique<CatalogueRows>(std::move(shared->rows)));
    for (const int value : shared->progress)
        PostMessage(page, kProgressMessage, static_cast<WPARAM>(value), 0);
}

} // namespace

std::size_t SearchWorker(HWND main, HWND page, const SearchQuery& query, std::stop_token stop) {
    using Clock = std::chrono::steady_clock;
    // A search that finds few rows among many still moves the bar and shows its rows this often.
    constexpr auto kHandOverEvery = std::chrono::milliseconds(25);
    CppSQLite3Cursor cursor = CourseDatabase().runQuery(
        SearchTextsStatement(query.country, query.city, query.keyword).c_str());
    auto batch = std::make_unique<SearchBatch>();
    auto handedOver = Clock::now();
    const auto handOver = [&] {
        if (!batch->rows.empty() || !batch->progress.empty())
            HandOver(main, page, std::move(batch));
        batch = std::make_unique<SearchBatch>();
        handedOver = Clock::now();
    };
    CourseTextsReader reader;
    std::size_t found = 0;
    int i = 0;
    int shown = -1;
    while (!cursor.atEnd()) {
        if (stop.stop_requested()) {
            cursor.finish();
            EndDialog(GetParent(page), 0);
            return found;
        }
        auto record = std::make_unique<CourseTexts>();
        reader.Read(cursor, *record);
        batch->rows.push_back(std::move(record));
        ++found;
        if (++i == 1000)
            i = 0;
        // The bar climbs by one every ten rows; a value already shown is not sent again.
        if (i / 10 != shown) {
            shown = i / 10;
            batch->progress.push_back(shown);
        }
        if (batch->rows.size() == kCatalogueBatch || Clock::now() - handedOver >= kHandOverEvery)
            handOver();
    }
    handOver();
    cursor.finish();
    EndDialog(GetParent(page), 1);
    return found;
}

bool CourseSearch::OnKey(const Element& target, unsigned type, unsigned keyCode) {
    if ((type & ~0x8000u) != KEY_DOWN || keyCode != 13)
        return false;
    const Element root = RootElement(main_);
    const Element country = ElementById(root, page201::kCountry);
    const Element city = ElementById(root, page201::kCity);
    const Element keyword = ElementById(root, page201::kKeyword);
    // The selects themselves, or their first child element, as the key reaches them.
    const bool inSearch = (keyword && target == keyword) || (country && target == country) ||
                          (city && target == city) ||
                          (country && country.ChildCount() > 0 && target == country.NthChild(0)) ||
                          (city && city.ChildCount() > 0 && target == city.NthChild(0));
    if (inSearch)
        Run();
    return false;
}

} // namespace verdal
