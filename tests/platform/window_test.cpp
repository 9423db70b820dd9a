// The window system: posts from many threads, posts to a destroyed window, sends from a worker,
// and nested modal loops with their results and WM_QUIT.
#include "platform/window.h"

#include "tests/support/message_recorder.h"

#include <gtest/gtest.h>

#include <stdexcept>

#include <atomic>
#include <map>
#include <thread>
#include <vector>

using namespace verdal;
using namespace verdal::test;

namespace {

constexpr UINT kPing = WM_USER + 1;

// A window whose message map is a function, recording what it handled.
class TestWindow : public Window {
public:
    std::function<bool(UINT, WPARAM, LPARAM, LRESULT&)> handler;
    std::vector<MSG> received;
    bool destroyed = false;

    bool ProcessWindowMessage(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam,
                              LRESULT& result) override {
        if (message == WM_DESTROY)
            destroyed = true;
        if (message >= WM_USER)
            received.push_back(MSG{hwnd, message, wParam, lParam, nullptr});
        return handler ? handler(message, wParam, lParam, result) : false;
    }
};

// Each test runs on the user-interface thread, with a main window made for it.
struct WindowSystem : ::testing::Test {
    TestWindow window;
    HWND hwnd = 0;
    void SetUp() override {
        BindUiThread();
        ASSERT_NE(hwnd = CreateWindowFor(window, 0), 0);
    }
    void TearDown() override { DestroyWindow(hwnd); }
};

} // namespace

TEST_F(WindowSystem, PostsFromFourThreadsArriveInOrderPerThread) {
    constexpr int kPerThread = 2000;
    std::vector<std::jthread> posters;
    for (int t = 0; t < 4; ++t)
        posters.emplace_back([=, this] {
            for (int i = 0; i < kPerThread; ++i)
                ASSERT_TRUE(PostMessage(hwnd, kPing, t, i));
        });
    posters.clear(); // joined
    DrainQueue();

    std::map<WPARAM, LPARAM> next;
    for (const MSG& m : window.received)
        EXPECT_EQ(m.lParam, next[m.wParam]++) << "thread " << m.wParam;
    EXPECT_EQ(window.received.size(), 4u * kPerThread);
}

TEST_F(WindowSystem, PostToDestroyedWindowIsDroppedWithItsData) {
    TestWindow second;
    auto payload = std::make_shared<int>(7);
    std::weak_ptr<int> watch = payload;
    ASSERT_TRUE(PostMessageOwning(hwnd, kPing, 1, 0, std::move(payload)));
    ASSERT_TRUE(DestroyWindow(hwnd));
    EXPECT_TRUE(window.destroyed);
    EXPECT_FALSE(IsWindow(hwnd));
    EXPECT_FALSE(PostMessage(hwnd, kPing, 2, 0)) << "a post to a dead window is refused";

    const HWND b = CreateWindowFor(second, 0);
    EXPECT_NE(b, hwnd) << "handles are never reused";
    DrainQueue();
    EXPECT_TRUE(watch.expired()) << "the dropped message's data was freed";
    EXPECT_TRUE(second.received.empty());
    EXPECT_EQ(window.received.size(), 0u);
    DestroyWindow(b);
}

TEST_F(WindowSystem, SendFromWorkerReturnsTheHandlersAnswer) {
    window.handler = [](UINT m, WPARAM w, LPARAM, LRESULT& r) {
        if (m != kPing)
            return false;
        r = static_cast<LRESULT>(w) * 3;
        return true;
    };
    EXPECT_EQ(SendMessage(hwnd, kPing, 5), 15)
        << "from the user-interface thread it calls directly";
    std::atomic<LRESULT> answer{0};
    std::jthread worker([&] { answer = SendMessage(hwnd, kPing, 14); });
    PumpUntil(hwnd, [&] { return answer != 0; });
    EXPECT_EQ(answer.load(), 42);
    EXPECT_EQ(SendMessage(hwnd + 999, kPing, 1), 0) << "no window, no answer";
}

TEST_F(WindowSystem, NestedModalLoopsReturnTheirOwnResultsWhileMainWindowRuns) {
    TestWindow outer, inner;
    std::atomic<int> mainPings{0};
    window.handler = [&](UINT m, WPARAM, LPARAM, LRESULT&) {
        if (m == kPing)
            ++mainPings;
        return true;
    };
    std::intptr_t innerResult = 0;
    std::vector<std::jthread> workers;
    inner.handler = [&](UINT m, WPARAM, LPARAM, LRESULT&) {
        if (m == WM_INITDIALOG) {
            const HWND self = inner.Handle();
            EXPECT_EQ(GetParent(self), outer.Handle());
            // A worker posts to the main window, then ends the inner dialog.
            workers.emplace_back([=, this, &mainPings] {
                for (int i = 0; i < 10; ++i)
                    PostMessage(hwnd, kPing);
                while (mainPings < 10)
                    std::this_thread::yield();
                EndDialog(self, 22);
            });
        }
        return true;
    };
    outer.handler = [&](UINT m, WPARAM, LPARAM, LRESULT&) {
        if (m == WM_INITDIALOG) {
            const HWND self = outer.Handle();
            innerResult = DialogBox(inner, self);
            workers.emplace_back([=] { EndDialog(self, 11); });
        }
        return true;
    };
    const std::intptr_t outerResult = DialogBox(outer, hwnd);
    workers.clear(); // joined
    EXPECT_EQ(innerResult, 22);
    EXPECT_EQ(outerResult, 11);
    EXPECT_EQ(mainPings.load(), 10) << "the main window was served during the modal loop";
    EXPECT_FALSE(IsWindow(outer.Handle()));
    EXPECT_FALSE(EndDialog(12345, 1));
}

// A handler that throws inside the modal loop ends the dialog as a closed one: the dialog hears
// of its end before the failure reaches its caller.
TEST_F(WindowSystem, AFailureInsideAModalLoopDestroysTheDialogOnItsWayOut) {
    TestWindow dialog;
    window.handler = [](UINT m, WPARAM, LPARAM, LRESULT&) -> bool {
        if (m == kPing)
            throw std::runtime_error("a handler failed");
        return false;
    };
    PostMessage(hwnd, kPing);
    EXPECT_THROW(DialogBox(dialog, hwnd), std::runtime_error);
    EXPECT_TRUE(dialog.destroyed);
    EXPECT_FALSE(IsWindow(dialog.Handle()));
}

TEST_F(WindowSystem, QuitInsideModalLoopEndsItAndReachesTheOuterLoop) {
    TestWindow dialog;
    dialog.handler = [&](UINT m, WPARAM, LPARAM, LRESULT&) {
        if (m == WM_INITDIALOG)
            DestroyWindow(hwnd); // the owner dies: the dialog goes with it
        return true;
    };
    window.handler = [](UINT m, WPARAM, LPARAM, LRESULT&) {
        if (m == WM_DESTROY)
            PostQuitMessage(3);
        return false;
    };
    EXPECT_EQ(DialogBox(dialog, hwnd), -1);
    EXPECT_TRUE(dialog.destroyed);
    EXPECT_EQ(RunMessageLoop(), 3);
}
