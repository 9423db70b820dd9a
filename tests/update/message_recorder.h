// Windows that record the status and progress messages workers post to them, and a progress
// dialog that runs a worker the way the program's progress dialog does.
#pragma once

#include "platform/messages.h"
#include "platform/window.h"

#include <functional>
#include <string>
#include <thread>
#include <vector>

namespace verdal::test {

struct Posted {
    UINT message = 0;
    WPARAM wParam = 0;
    std::u16string text; // the course name of a CourseStored status
};

class Recorder : public Window {
public:
    std::vector<Posted> posted;

    bool ProcessWindowMessage(HWND, UINT message, WPARAM wParam, LPARAM lParam,
                              LRESULT& result) override;

    // The codes of the status messages received, in order.
    std::vector<WPARAM> Statuses() const;
    // The values of the progress messages received, in order.
    std::vector<WPARAM> Progress() const;
    // The texts of the CourseStored statuses, in order.
    std::vector<std::u16string> StoredNames() const;

    // Handles every message queued so far (and sent meanwhile); the window must be alive.
    void HandleQueued();

private:
    bool sawMarker_ = false;
};

// A modal dialog whose page window records progress; WM_INITDIALOG starts the worker on a
// thread of its own with the page window's handle, as the program's progress dialog does.
class WorkerDialog : public Window {
public:
    explicit WorkerDialog(std::function<void(HWND)> worker) : worker_(std::move(worker)) {}
    ~WorkerDialog() override;
    Recorder page;

    bool ProcessWindowMessage(HWND hwnd, UINT message, WPARAM, LPARAM, LRESULT& result) override;

private:
    std::function<void(HWND)> worker_;
    std::thread thread_;
};

} // namespace verdal::test
