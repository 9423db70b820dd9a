// Workers and their owners: a modal dialog joins its worker before it returns, and an owner
// window that goes while the dialog is up stops and joins the worker from inside the dialog's
// loop.
#include "platform/event.h"
#include "platform/messages.h"
#include "platform/worker.h"
#include "tests/support/message_recorder.h"

#include <gtest/gtest.h>

#include <atomic>

using namespace verdal;

namespace {

constexpr UINT kDestroyNow = WM_USER + 40;

// A window that owns workers and stops them when it is destroyed, as the main window does.
class Owner : public Window {
public:
    WorkerOwner workers;
    bool ProcessWindowMessage(HWND hwnd, UINT message, WPARAM, LPARAM, LRESULT&) override {
        if (message == WM_DESTROY)
            workers.StopAndJoinAll();
        else if (message == kDestroyNow)
            DestroyWindow(hwnd);
        return message == kDestroyNow;
    }
};

} // namespace

TEST(Worker, DialogAnswersTheWorkersResultAndJoinsItFirst) {
    BindUiThread();
    std::atomic<bool> ended{false};
    const auto result = RunWorkerDialog(
        [&](HWND page, std::stop_token) {
            PostMessage(page, kProgressMessage, 40);
            EndDialog(GetParent(page), 7);
            // Still running after the dialog has ended: the caller must wait for this.
            Sleep(100);
            ended = true;
        },
        [](int) {}); // the progress may go with the dialog: it is not looked at
    EXPECT_EQ(result, 7);
    EXPECT_TRUE(ended.load());

    // A worker that throws ends its dialog with 0.
    EXPECT_EQ(
        RunWorkerDialog([](HWND, std::stop_token) { throw std::runtime_error("lost"); }, nullptr),
        0);
}

TEST(Worker, AnOwnerThatGoesStopsAndJoinsTheWorkerOfADialogStillUp) {
    BindUiThread();
    Owner owner;
    const HWND ownerWindow = CreateWindowFor(owner, 0);
    ASSERT_NE(ownerWindow, 0);
    std::atomic<bool> stopped{false}, ended{false};
    test::Recorder page;
    const auto result = RunWorkerDialog(
        page,
        [&](HWND, std::stop_token stop) {
            // The window goes while this worker runs, as when the program is told to end.
            PostMessage(ownerWindow, kDestroyNow);
            // Never ends the dialog: only the stop request ends this body.
            while (!stop.stop_requested())
                Sleep(5);
            stopped = true;
            Sleep(50);
            ended = true;
        },
        ownerWindow, &owner.workers);
    // The owner window was destroyed from inside the dialog's loop; the dialog died with it, and
    // the worker was stopped and joined before the owner's WM_DESTROY returned.
    EXPECT_EQ(result, -1);
    EXPECT_TRUE(stopped.load());
    EXPECT_TRUE(ended.load());
    EXPECT_FALSE(IsWindow(ownerWindow));
}

TEST(Worker, RunningFollowsTheBodyAndStartJoinsThePreviousThread) {
    WorkerOwner owner;
    ManualResetEvent release;
    int runs = 0;
    {
        Worker worker(&owner);
        worker.Start([&](std::stop_token) {
            release.Wait();
            ++runs;
        });
        EXPECT_TRUE(worker.Running());
        release.Set();
        worker.Join();
        EXPECT_FALSE(worker.Running());
        worker.Start([&](std::stop_token stop) {
            while (!stop.stop_requested())
                Sleep(5);
            ++runs;
        });
        // Leaving the scope asks the second body to stop and waits for it.
    }
    EXPECT_EQ(runs, 2);
}
