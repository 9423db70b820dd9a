// A hidden progress dialog for running device workers outside the application's pages.
#include "device/worker_dialog.h"

#include "platform/messages.h"

#include <thread>

namespace verdal {
namespace {

class ProgressPage : public Window {
public:
    std::function<void(int)> onProgress;

    bool ProcessWindowMessage(HWND, UINT message, WPARAM wParam, LPARAM, LRESULT& result) override {
        if (message != kProgressMessage)
            return false;
        if (onProgress)
            onProgress(static_cast<int>(wParam));
        result = 0;
        return true;
    }
};

class WorkerDialog : public Window {
public:
    std::function<void(HWND)> worker;
    ProgressPage page;
    std::thread thread;

    bool ProcessWindowMessage(HWND hwnd, UINT message, WPARAM, LPARAM, LRESULT& result) override {
        if (message != WM_INITDIALOG)
            return false;
        const HWND pageWindow = CreateWindowFor(page, hwnd);
        if (pageWindow == 0)
            EndDialog(hwnd, -1);
        else
            thread = std::thread(worker, pageWindow);
        result = 1;
        return true;
    }
};

} // namespace

std::intptr_t RunWorkerDialog(const std::function<void(HWND)>& worker,
                              const std::function<void(int)>& onProgress, HWND owner) {
    WorkerDialog dialog;
    dialog.worker = worker;
    dialog.page.onProgress = onProgress;
    const std::intptr_t result = DialogBox(dialog, owner);
    if (dialog.thread.joinable())
        dialog.thread.join();
    return result;
}

} // namespace verdal
