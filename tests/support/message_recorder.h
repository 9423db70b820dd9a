// A window that records the status, progress and progress text messages workers post to it, and
// pumping the message queue.
#pragma once

#include "platform/messages.h"
#include "platform/window.h"

#include <functional>
#include <string>
#include <vector>

namespace verdal::test {

struct Posted {
    UINT message = 0;
    WPARAM wParam = 0;
    std::string text; // what a status carried (UTF-8): a course name, why a step failed; or the
                      // text of a progress dialog
};

class Recorder : public Window {
public:
    std::vector<Posted> posted;

    bool ProcessWindowMessage(HWND, UINT message, WPARAM wParam, LPARAM lParam,
                              LRESULT& result) override;

    // The codes of the status messages received, in order.
    std::vector<WPARAM> Statuses() const { return WParams(kStatusMessage); }
    // The values of the progress messages received, in order.
    std::vector<WPARAM> Progress() const { return WParams(kProgressMessage); }
    // The texts of the progress text messages received, in order.
    std::vector<std::string> ProgressTexts() const {
        std::vector<std::string> texts;
        for (const Posted& p : posted)
            if (p.message == kProgressTextMessage)
                texts.push_back(p.text);
        return texts;
    }
    // The texts of the CourseStored statuses, in order.
    std::vector<std::u16string> StoredNames() const;
    // What the last status received carried, in UTF-8; empty when nothing or no status came.
    std::string LastStatusText() const;

    // Runs body on another thread and handles messages until it has ended, dropping a WM_QUIT
    // among them. UI thread; the window must be alive.
    void RunWhile(const std::function<void()>& body);

private:
    std::vector<WPARAM> WParams(UINT message) const;
    bool bodyEnded_ = false;
};

// Dispatches messages until done() holds or boundMs milliseconds have passed; answers done().
bool PumpUntil(HWND anyWindow, const std::function<bool()>& done, int boundMs = 30000);

// Handles every message queued so far and drops a WM_QUIT among them (a destroyed main window
// posts one, which would end the next test's dialogs).
void DrainQueue();

} // namespace verdal::test
