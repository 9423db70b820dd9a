// The three modal dialogs: the message dialog (page 208), the progress dialog (page 205) under
// which a worker runs on its own thread, and the course information dialog (page 209). Each is a
// CPageDlg whose page window class says what the dialog does.
//
// Threads: every function here is for the user-interface thread, except a ProgressWorker, which
// runs on the progress dialog's worker thread; the dialog's opener joins that thread before it
// goes on.
#pragma once

#include "app/main_messages.h"
#include "platform/worker.h"
#include "store/course_record.h"
#include "ui/page_host.h"

#include <cstdint>
#include <functional>
#include <string>

namespace verdal {

inline constexpr int kProgressPage = 205;
inline constexpr int kMessagePage = 208;
inline constexpr int kCourseInfoPage = 209;

// The body of a progress dialog, given the dialog's page window and the stop token of its
// thread. It may post kProgressMessage to the page and must end the dialog (EndDialog on
// GetParent(page)) with its result; once stop is set it should end soon.
using ProgressWorker = DialogWorkerBody;

// Whether a progress dialog shows its bar, or only its text.
enum class ProgressBar { Shown, Hidden };
// Whether a progress dialog offers "Stop" (also Escape), which asks its worker to stop.
enum class StopButton { Hidden, Shown };

// What a worker that throws leaves behind: a line on standard error, the status line text below
// posted to the main window (kFailureMessage), and the dialog ended with 0.
// The status line text for an exception that reached a handler or a worker: "DATABASE ERROR" for
// the database layer's, "OUT OF MEMORY", else "PROGRAM ERROR". Call from inside a catch block.
std::u16string FailureText();
// Reports the exception being handled (call from inside a catch block): a line on standard error
// naming where, and the failure text posted to the main window. Any thread.
void ReportFailure(HWND mainWindow, const char* where);

// The message dialog: beeps, shows two red lines and ends with the code of its button.
class CMsgWnd : public CPageWnd {
public:
    CMsgWnd(std::u16string line1, std::u16string line2, HWND centerOn)
        : line1_(std::move(line1)), line2_(std::move(line2)), centerOn_(centerOn) {}
    void OnShown() override;
    HWND CenterOn() override { return centerOn_; }
    bool OnBehaviorEvent(engine::BEHAVIOR_EVENT_PARAMS& params) override;

private:
    std::u16string line1_, line2_;
    HWND centerOn_;
};

// The progress dialog's page: a text, a bar (when bar is Shown) that follows the progress
// message, and the worker, started on its thread once the dialog is shown and registered with
// the main window's workers while it runs.
class CProgressWnd : public CPageWnd {
public:
    CProgressWnd(ProgressWorker worker, std::u16string text, ProgressBar bar, HWND mainWindow,
                 WorkerOwner& workers, StopButton stop = StopButton::Hidden)
        : CPageWnd(engine::HANDLE_BEHAVIOR_EVENT | engine::HANDLE_KEY), body_(std::move(worker)),
          text_(std::move(text)), bar_(bar), stop_(stop), mainWindow_(mainWindow),
          worker_(&workers) {}
    void OnShown() override;
    void OnProgress(int percent) override;
    void OnProgressText(const std::string& text) override;
    bool OnBehaviorEvent(engine::BEHAVIOR_EVENT_PARAMS& params) override;
    bool OnKey(const Element& he, engine::KEY_PARAMS& params) override;
    HWND CenterOn() override { return mainWindow_; }
    // Waits for the worker's thread to end.
    void JoinWorker() { worker_.Join(); }

private:
    ProgressWorker body_;
    std::u16string text_;
    ProgressBar bar_;
    StopButton stop_;
    HWND mainWindow_;
    Worker worker_;
};

// The course information dialog: the course's name, address, telephone, e-mail and the par of
// each of its 18 holes; dragged by its 24-pixel band, ended by "Exit".
class CCourseInfoWnd : public CPageWnd {
public:
    // Keeps a copy of the course: the catalogue rows may be freed while the dialog is open.
    explicit CCourseInfoWnd(const CourseTexts& course) : course_(course) {
        bandHeight = 24;
        bandRightMargin = 0;
    }
    void OnShown() override;
    bool OnBehaviorEvent(engine::BEHAVIOR_EVENT_PARAMS& params) override;

private:
    const CourseTexts course_;
};

// Field i (from 0) of a comma-separated list of hole pars as the dialog shows it: the number in
// decimal, or " " when it is 0, -1 or missing.
std::u16string ParText(const std::string& holes, int index);

// Opens the message dialog centred on centerOn; answers the code of the button pressed (-1 when
// the dialog could not start).
std::intptr_t ShowMessage(const std::u16string& line1, const std::u16string& line2, HWND centerOn);

// Runs worker under the progress dialog over the main window, with the text and, when bar is
// Shown, the progress bar; answers the worker's result (0 when it threw, -1 when the dialog could
// not start or died with the main window). The worker belongs to workers while it runs and has
// ended when this returns. mainWindow receives the failure text when the worker throws. With
// stop Shown, the dialog's "Stop" button (and Escape) asks the worker to stop; the worker still
// ends the dialog itself.
std::intptr_t RunWithProgress(const std::u16string& text, ProgressBar bar, HWND mainWindow,
                              WorkerOwner& workers, ProgressWorker worker,
                              StopButton stop = StopButton::Hidden);

// Opens the course information dialog for the course; answers the dialog's result.
std::intptr_t ShowCourseInfo(const CourseTexts& course, HWND owner);

} // namespace verdal
