// verdal-cli update and verdal-cli search: the catalogue update with the web service and the
// search of the course table, on the same workers and statements as the program's window.
#include "app/cli/cli.h"

#include "app/cli/progress_line.h"
#include "app/status_table.h"

#include "platform/data_dir.h"
#include "platform/interrupt.h"
#include "platform/language.h"
#include "platform/messages.h"
#include "platform/text.h"
#include "platform/window.h"
#include "platform/worker.h"
#include "store/course_record.h"
#include "store/course_table.h"
#include "store/settings.h"
#include "store/sqlite_layer.h"
#include "update/catalogue_file.h"
#include "update/update_journal.h"
#include "update/update_workflow.h"

#include <tinyxml2.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <iostream>
#include <optional>

namespace verdal::cli {
namespace {

// A count with its thousands grouped by commas: 12400 gives "12,400".
std::string GroupedNumber(unsigned long long value) {
    std::string digits = std::to_string(value);
    for (int at = static_cast<int>(digits.size()) - 3; at > 0; at -= 3)
        digits.insert(static_cast<std::size_t>(at), ",");
    return digits;
}

constexpr UINT kMarker = WM_USER + 1;

// Stands in for the main window: prints the status line each time a status arrives.
class StatusWindow : public Window {
public:
    WPARAM lastStatus = 0;
    bool sawMarker = false;
    // While an update runs: the stored courses' names go onto its line when it is redrawn in
    // place, and any other status ends the line first.
    ProgressLine* progress = nullptr;

    bool ProcessWindowMessage(HWND, UINT message, WPARAM wParam, LPARAM lParam,
                              LRESULT& result) override {
        result = 0;
        if (message == kMarker) {
            sawMarker = true;
            return true;
        }
        if (message != kStatusMessage)
            return false;
        if (wParam == static_cast<WPARAM>(StatusCode::CourseStored)) {
            lastStatus = wParam;
            const std::string name = Utf16ToUtf8(ShownText(Utf8ToUtf16(StatusText(lParam))));
            if (progress && progress->Interactive())
                progress->Name(name);
            else
                std::cout << name << std::endl;
            return true;
        }
        if (progress)
            progress->Finish();
        if (const std::string text = StatusLineText(wParam); !text.empty()) {
            lastStatus = wParam;
            std::cout << text << std::endl;
        }
        if (wParam == static_cast<WPARAM>(StatusCode::UpdateError) ||
            wParam == static_cast<WPARAM>(StatusCode::ServerNotConnected)) {
            if (const std::string why = StatusText(lParam); !why.empty())
                std::cerr << "verdal-cli: " << why << "\n";
        }
        return true;
    }

    // Handles messages until one of the given statuses has arrived.
    void WaitForStatus(std::initializer_list<StatusCode> codes) {
        MSG msg;
        auto arrived = [&] {
            for (StatusCode code : codes)
                if (lastStatus == static_cast<WPARAM>(code))
                    return true;
            return false;
        };
        while (!arrived() && GetMessage(msg))
            DispatchMessage(msg);
    }

    // Handles every message queued so far.
    void HandleQueued() {
        sawMarker = false;
        PostMessage(Handle(), kMarker);
        MSG msg;
        while (!sawMarker && GetMessage(msg))
            DispatchMessage(msg);
    }
};

void OpenStore(const CliOptions& options) {
    LoadSettings();
    if (!options.server.empty())
        SetServerOverride(options.server);
    OpenCourseDatabase();
    EnsureCourseTable();
}

// How far a stopped update got: "stopped: 12,400 of 40,000 courses stored", counted as the
// journal counts them, against the courses the update's catalogue file lists.
std::string StoppedLine() {
    const std::optional<UpdateJournal> journal = ReadUpdateJournal();
    if (!journal)
        return Tr("stopped: no course stored yet");
    tinyxml2::XMLDocument document;
    document.LoadFile(ProgramFilePath("update.xml").c_str());
    std::vector<const tinyxml2::XMLElement*> entries;
    int total = 0;
    if (const tinyxml2::XMLElement* root = document.FirstChildElement())
        NewerCatalogueEntries(*root, journal->fromVersion, entries, total);
    const auto courses = static_cast<unsigned long long>(entries.size());
    const auto stored = std::min<unsigned long long>(journal->stored, courses);
    // TRANSLATORS: the courses of the update now in golf.db, and all of them ("12,400").
    return Format(TrN("stopped: %s of %s course stored", "stopped: %s of %s courses stored",
                      static_cast<unsigned long>(courses)),
                  GroupedNumber(stored).c_str(), GroupedNumber(courses).c_str());
}

int Update(const CliOptions& options, const std::vector<std::string>& args) {
    if (!args.empty()) {
        std::cerr << Tr("verdal-cli update: takes no arguments\n");
        return kExitUsage;
    }
    OpenStore(options);
    BindUiThread();
    // Ctrl-C stops the update as the window's Stop does: what is stored stays, and the next
    // update goes on from there.
    std::stop_source interrupt;
    const InterruptStop interruptStop(interrupt);
    StatusWindow mainWindow;
    const HWND hwnd = CreateWindowFor(mainWindow, 0);
    CatalogueOffer offer;

    Worker connectWorker;
    connectWorker.Start([&](std::stop_token stop) {
        std::stop_source either;
        const std::stop_callback byWorker(stop, [&] { either.request_stop(); });
        const std::stop_callback byUser(interrupt.get_token(), [&] { either.request_stop(); });
        ServerCheck(hwnd, offer, either.get_token());
        // A stopped check posts nothing: the wait below must still end.
        if (either.stop_requested())
            PostStatus(hwnd, StatusCode::ServerNotConnected, Tr("stopped"));
    });
    mainWindow.WaitForStatus({StatusCode::Connected, StatusCode::ServerNotConnected});
    connectWorker.Join();
    if (mainWindow.lastStatus != static_cast<WPARAM>(StatusCode::Connected)) {
        DestroyWindow(hwnd);
        return kExitFailed;
    }
    ProgressLine line;
    mainWindow.progress = &line;
    RunWorkerDialog(
        [&, current = offer.Get()](HWND page, std::stop_token stop) {
            std::stop_source either;
            const std::stop_callback byWorker(stop, [&] { either.request_stop(); });
            const std::stop_callback byUser(interrupt.get_token(), [&] { either.request_stop(); });
            RunCatalogueUpdate(hwnd, current, page, either.get_token());
        },
        [&](int percent) { line.Percent(percent); }, hwnd);
    // The worker posts its result before it ends the dialog: show what is still queued.
    mainWindow.HandleQueued();
    line.Finish();
    mainWindow.progress = nullptr;
    const bool completed =
        mainWindow.lastStatus == static_cast<WPARAM>(StatusCode::UpdateCompleted);
    DestroyWindow(hwnd);
    if (interruptStop.Interrupted() && !completed)
        std::cout << StoppedLine() << std::endl;
    return completed ? kExitOk : kExitFailed;
}

int Search(const CliOptions& options, const std::vector<std::string>& args) {
    std::string country, region, keyword;
    for (std::size_t i = 0; i < args.size(); ++i) {
        if ((args[i] == "--country" || args[i] == "--region") && i + 1 < args.size()) {
            std::string& value = args[i] == "--country" ? country : region;
            value = args[++i];
        } else if (args[i].rfind("--", 0) != 0 && keyword.empty()) {
            keyword = args[i];
        } else {
            std::cerr << Format(Tr("verdal-cli search: unexpected argument: %s\n"),
                                args[i].c_str());
            return kExitUsage;
        }
    }
    OpenStore(options);
    CppSQLite3Cursor cursor =
        CourseDatabase().runQuery(SearchTextsStatement(country, region, keyword).c_str());
    int found = 0;
    CourseTextsReader reader;
    CourseTexts record;
    while (!cursor.atEnd()) {
        reader.Read(cursor, record);
        std::cout << ShownText(record.name) << "\t" << ShownText(record.country) << "\t"
                  << ShownText(record.city) << "\n";
        ++found;
    }
    if (found == 0)
        std::cerr << Tr("Unable to find your course,please try again\n");
    return kExitOk;
}

const CliRegistration
    update("update", N_("update                refresh the course catalogue from the web service"),
           Update);
const CliRegistration
    search("search",
           N_("search [--country C] [--region R] [KEYWORD]\n"
              "                        list catalogue courses: name, country, region"),
           Search, FolderUse::Reads);

} // namespace
} // namespace verdal::cli
