// Workers, their owners and the modal dialog that runs one.
#include "platform/worker.h"

#include "platform/messages.h"

#include <algorithm>

namespace verdal {

Worker::~Worker() {
    RequestStop();
    Join();
    if (owner_)
        owner_->Remove(this);
}

void Worker::Start(Body body) {
    Join();
    if (owner_)
        owner_->Add(this);
    running_.store(true);
    thread_ = std::jthread([this, body = std::move(body)](std::stop_token stop) {
        body(stop);
        running_.store(false);
    });
}

void Worker::RequestStop() {
    thread_.request_stop();
}

void Worker::Join() {
    if (thread_.joinable())
        thread_.join();
}

WorkerOwner::~WorkerOwner() {
    StopAndJoinAll();
}

void WorkerOwner::StopAndJoinAll() {
    std::vector<Worker*> workers;
    {
        std::lock_guard lock(mutex_);
        workers = workers_;
    }
    // Every worker hears the request before the first join, so they all wind down together.
    for (Worker* worker : workers)
        worker->RequestStop();
    for (Worker* worker : workers)
        worker->Join();
}

void WorkerOwner::Add(Worker* worker) {
    std::lock_guard lock(mutex_);
    if (std::find(workers_.begin(), workers_.end(), worker) == workers_.end())
        workers_.push_back(worker);
}

void WorkerOwner::Remove(Worker* worker) {
    std::lock_guard lock(mutex_);
    workers_.erase(std::remove(workers_.begin(), workers_.end(), worker), workers_.end());
}

void StartDialogWorker(Worker& worker, HWND page, DialogWorkerBody body,
                       std::function<void()> onFailure) {
    worker.Start(
        [page, body = std::move(body), onFailure = std::move(onFailure)](std::stop_token stop) {
            try {
                body(page, stop);
            } catch (...) {
                if (onFailure)
                    onFailure();
                EndDialog(GetParent(page), 0);
            }
        });
}

namespace {

// The dialog of RunWorkerDialog: it makes its page at WM_INITDIALOG and starts the worker there.
class WorkerDialog : public Window {
public:
    WorkerDialog(Window& page, DialogWorkerBody body, Worker& worker)
        : page_(page), body_(std::move(body)), worker_(worker) {}

    bool ProcessWindowMessage(HWND hwnd, UINT message, WPARAM, LPARAM, LRESULT& result) override {
        if (message != WM_INITDIALOG)
            return false;
        const HWND pageWindow = CreateWindowFor(page_, hwnd);
        if (pageWindow == 0)
            EndDialog(hwnd, -1);
        else
            StartDialogWorker(worker_, pageWindow, std::move(body_), nullptr);
        result = 1;
        return true;
    }

private:
    Window& page_;
    DialogWorkerBody body_;
    Worker& worker_;
};

class ProgressPage : public Window {
public:
    explicit ProgressPage(const std::function<void(int)>& onProgress) : onProgress_(onProgress) {}

    bool ProcessWindowMessage(HWND, UINT message, WPARAM wParam, LPARAM, LRESULT& result) override {
        if (message != kProgressMessage)
            return false;
        if (onProgress_)
            onProgress_(static_cast<int>(wParam));
        result = 0;
        return true;
    }

private:
    const std::function<void(int)>& onProgress_;
};

} // namespace

std::intptr_t RunWorkerDialog(Window& page, DialogWorkerBody body, HWND owner,
                              WorkerOwner* workers) {
    Worker worker(workers);
    WorkerDialog dialog(page, std::move(body), worker);
    const std::intptr_t result = DialogBox(dialog, owner);
    worker.Join();
    return result;
}

std::intptr_t RunWorkerDialog(const DialogWorkerBody& body,
                              const std::function<void(int)>& onProgress, HWND owner) {
    ProgressPage page(onProgress);
    return RunWorkerDialog(page, body, owner);
}

} // namespace verdal
