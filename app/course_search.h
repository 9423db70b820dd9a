// The search of the main page: the criteria read from its controls, the search statement run
// under the progress dialog by SearchWorker, and the rows it finds handed to the catalogue list.
//
// Threads: user-interface thread, except SearchWorker, which runs on the progress dialog's
// worker and reaches the list only by posting.
#pragma once

#include "app/course_lists.h"
#include "platform/worker.h"
#include "ui/element.h"

#include <cstddef>
#include <stop_token>
#include <string>

namespace verdal {

// What a search looks for: "all" of a select is held as empty.
struct SearchQuery {
    std::string country, city, keyword;
    bool Empty() const { return country.empty() && city.empty() && keyword.empty(); }
    bool operator==(const SearchQuery&) const = default;
};

// The search's worker, on the progress dialog's thread: runs the search statement, hands the
// rows to mainWindow's catalogue list in batches (kCatalogueRowsMessage) together with the
// progress values for the page (kProgressMessage: the row count modulo 1000, divided by 10, each
// time that value changes), each batch as one task of the user-interface thread, and ends the
// dialog with 1. It never waits for the user-interface thread. A stop request ends it between
// two rows. Answers the number of rows found.
std::size_t SearchWorker(HWND mainWindow, HWND page, const SearchQuery& query,
                         std::stop_token stop = {});

class CourseSearch {
public:
    // The rows go to lists; the worker belongs to workers while it runs. Both outlive this.
    CourseSearch(CourseLists& lists, WorkerOwner& workers) : lists_(lists), workers_(workers) {}

    void Attach(HWND mainWindow) { main_ = mainWindow; }

    // Empties the catalogue list, keeps the page's criteria as the query and, unless all three
    // are empty, runs SearchWorker under the progress dialog; a search that ends with no row
    // shows the "not found" message.
    void Run();
    // Enter in the selects or the keyword box runs the search. Always false, so the key goes on
    // as usual.
    bool OnKey(const Element& target, unsigned type, unsigned keyCode);
    // The criteria of the last search.
    const SearchQuery& Query() const { return query_; }

private:
    CourseLists& lists_;
    WorkerOwner& workers_;
    HWND main_ = 0;
    SearchQuery query_;
};

} // namespace verdal
