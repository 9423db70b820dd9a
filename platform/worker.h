// Threads with owners. Every thread the program starts for a long task is a Worker: one thread
// with a stop request, joined by whoever started it. A modal dialog with its worker
// (RunWorkerDialog, and the progress dialog of the application built the same way) joins its
// worker before it returns; a window that starts workers keeps them in a WorkerOwner, which
// asks them all to stop and joins them when the window goes, even while a modal dialog further
// down the stack still holds one.
//
// Threads. Start, RequestStop, Join and the WorkerOwner operations run on the thread that owns
// the worker (the user-interface thread in the application, the main thread in verdal-cli and
// the tests); Running may be called from any thread. A body must return soon after its stop
// token is set: between rows, between requests, or once a transfer that may not be cut has ended.
#pragma once

#include "platform/window.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <stop_token>
#include <thread>
#include <vector>

namespace verdal {

class WorkerOwner;

class Worker {
public:
    using Body = std::function<void(std::stop_token stop)>;

    // A worker that owner will stop and join with the others when asked; nullptr for none.
    explicit Worker(WorkerOwner* owner = nullptr) : owner_(owner) {}
    Worker(const Worker&) = delete;
    Worker& operator=(const Worker&) = delete;
    // Asks the thread to stop and joins it.
    ~Worker();

    // Runs body on a new thread. A previous thread of this worker is joined first.
    void Start(Body body);
    // Sets the stop token of the running body.
    void RequestStop();
    // Waits for the thread to end; at once when none runs.
    void Join();
    // True from Start until the body has returned. Any thread.
    bool Running() const { return running_.load(); }

private:
    WorkerOwner* owner_;
    std::atomic<bool> running_{false};
    std::jthread thread_;
};

// The workers of one window. A worker registers itself when it starts and leaves when it is
// destroyed.
class WorkerOwner {
public:
    WorkerOwner() = default;
    WorkerOwner(const WorkerOwner&) = delete;
    WorkerOwner& operator=(const WorkerOwner&) = delete;
    ~WorkerOwner();

    // Asks every registered worker to stop, then joins them all.
    void StopAndJoinAll();

private:
    friend class Worker;
    void Add(Worker* worker);
    void Remove(Worker* worker);

    mutable std::mutex mutex_;
    std::vector<Worker*> workers_;
};

// The body of a modal dialog's worker: it gets the dialog's page window and the stop token, may
// post to the page (the progress message) and ends the dialog with EndDialog on
// GetParent(page) with its result.
using DialogWorkerBody = std::function<void(HWND page, std::stop_token stop)>;

// Starts body on worker for the page of a dialog that has just been shown. A body that throws
// has onFailure called on its thread (from inside the catch block, so it may rethrow to look at
// the exception) and the dialog ended with 0.
void StartDialogWorker(Worker& worker, HWND page, DialogWorkerBody body,
                       std::function<void()> onFailure);

// A modal dialog with its worker, for callers without pages (verdal-cli, the tests): a dialog
// of the window system owned by owner whose page window is page; the body starts once the page
// exists. Answers the value the body ended the dialog with, or -1 when the dialog could not
// run or died first (its owner destroyed). The worker is joined before it returns; when
// workers is given, the worker is registered with it while it runs.
std::intptr_t RunWorkerDialog(Window& page, DialogWorkerBody body, HWND owner = 0,
                              WorkerOwner* workers = nullptr);

// The same with a hidden page that calls onProgress with the value of every progress message.
std::intptr_t RunWorkerDialog(const DialogWorkerBody& body,
                              const std::function<void(int percent)>& onProgress, HWND owner = 0);

} // namespace verdal
