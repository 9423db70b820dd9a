// verdal-cli update and verdal-cli search: the catalogue update with the web service and the
// search of the course table, on the same workers and statements as the program's window.
#include "app/cli/cli.h"

#include "app/cli/progress_line.h"
#include "app/status_table.h"

#include "platform/language.h"
#include "platform/messages.h"
#include "platform/text.h"
#include "platform/window.h"
#include "platform/worker.h"
#include "store/course_record.h"
#include "store/course_table.h"
#include "store/settings.h"
#include "store/sqlite_layer.h"
#include "update/update_workflow.h"

#include <cstdio>
#include <functional>
#include <iostream>

namespace verdal::cli {
namespace {

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
        if (wParam == static_cast<WPARAM>(StatusCode::UpdateError)) {
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

int Update(const CliOptions& options, const std::vector<std::string>& args) {
    if (!args.empty()) {
        std::cerr << Tr("verdal-cli update: takes no arguments\n");
        return kExitUsage;
    }
    OpenStore(options);
    BindUiThread();
    StatusWindow mainWindow;
    const HWND hwnd = CreateWindowFor(mainWindow, 0);
    CatalogueOffer offer;

    Worker connectWorker;
    connectWorker.Start([&](std::stop_token stop) { ServerCheck(hwnd, offer, stop); });
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
            RunCatalogueUpdate(hwnd, current, page, stop);
        },
        [&](int percent) { line.Percent(percent); }, hwnd);
    // The worker posts its result before it ends the dialog: show what is still queued.
    mainWindow.HandleQueued();
    line.Finish();
    mainWindow.progress = nullptr;
    const bool completed =
        mainWindow.lastStatus == static_cast<WPARAM>(StatusCode::UpdateCompleted);
    DestroyWindow(hwnd);
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
