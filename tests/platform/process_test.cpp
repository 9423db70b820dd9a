// The processes of a program: its child programs watched from another thread, and the data
// folder's lock that keeps a second program away.
#include "platform/child_process.h"
#include "platform/instance_lock.h"
#include "platform/worker.h"
#include "tests/support/temp_folder.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <csignal>
#include <filesystem>
#include <optional>
#include <unistd.h>

using namespace verdal;
using namespace verdal::test;

TEST(ChildProcess, AWatcherSeesTheProgramEndOrIsStoppedWhileItRuns) {
    ChildProcess quick;
    std::string error;
    ASSERT_TRUE(quick.Start("/bin/sh", {"-c", "exit 3"}, {}, error)) << error;
    EXPECT_TRUE(quick.WaitForEnd({}));
    // Seen ended, not reaped: the owner still learns how it ended.
    EXPECT_EQ(quick.Wait(), 3);
    EXPECT_TRUE(quick.WaitForEnd({}));

    ChildProcess slow;
    ASSERT_TRUE(slow.Start("/bin/sleep", {"30"}, {}, error)) << error;
    std::atomic<int> seen{-1};
    Worker watcher;
    watcher.Start([&](std::stop_token stop) { seen = slow.WaitForEnd(stop) ? 1 : 0; });
    const auto start = std::chrono::steady_clock::now();
    watcher.RequestStop();
    watcher.Join();
    EXPECT_EQ(seen, 0);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));

    watcher.Start([&](std::stop_token stop) { seen = slow.WaitForEnd(stop) ? 1 : 0; });
    ::kill(slow.Pid(), SIGKILL);
    watcher.Join();
    EXPECT_EQ(seen, 1);
    EXPECT_EQ(slow.Wait(), 128 + SIGKILL);
}

TEST(InstanceLock, OneHolderAFolderItsAddressForTheOthersAndNoStaleLock) {
    TempFolder dir;
    // What a killed program left: the lock file, but no lock on it.
    WriteFile(dir / "verdal.lock", "99999\nhttp://127.0.0.1:1/?token=old\n");
    InstanceHolder holder;
    std::string error;
    std::optional<InstanceLock> first(std::in_place);
    ASSERT_EQ(first->Acquire(dir.Path(), holder, error), InstanceLock::Outcome::Acquired) << error;
    EXPECT_EQ(ReadFile(dir / "verdal.lock"), "");
    EXPECT_EQ(std::filesystem::status(dir / "verdal.lock").permissions(),
              std::filesystem::perms(0600));

    // Held, but nothing published yet: a later start waits, then gives up.
    InstanceLock second;
    EXPECT_EQ(second.Acquire(dir.Path(), holder, error, 200), InstanceLock::Outcome::Failed);
    EXPECT_NE(error.find("has not answered"), std::string::npos) << error;

    ASSERT_TRUE(first->Publish("http://127.0.0.1:4242/?token=abc"));
    EXPECT_EQ(second.Acquire(dir.Path(), holder, error), InstanceLock::Outcome::HeldElsewhere);
    EXPECT_EQ(holder.pid, ::getpid());
    EXPECT_EQ(holder.address, "http://127.0.0.1:4242/?token=abc");
    EXPECT_FALSE(second.Publish("http://127.0.0.1:1/"));

    // Its holder gone, the folder goes to the next start.
    first.reset();
    EXPECT_EQ(second.Acquire(dir.Path(), holder, error), InstanceLock::Outcome::Acquired);

    EXPECT_EQ(InstanceLock().Acquire(dir / "missing", holder, error),
              InstanceLock::Outcome::Failed);
}
