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
#include <fcntl.h>
#include <filesystem>
#include <optional>
#include <sys/resource.h>
#include <sys/wait.h>
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

// A program gets its standard streams and the bytes meant for it, and none of this process's
// other descriptors, nor its raised descriptor limit; a wait that cannot be made says so.
TEST(ChildProcess, AProgramInheritsOnlyWhatIsMeantForIt) {
    const int inheritable = ::open("/dev/null", O_RDONLY); // no close-on-exec
    ASSERT_GE(inheritable, 0);
    rlimit limit{};
    ASSERT_EQ(::getrlimit(RLIMIT_NOFILE, &limit), 0);
    if (limit.rlim_cur == limit.rlim_max && limit.rlim_max > 256) {
        limit.rlim_cur = 256;
        ASSERT_EQ(::setrlimit(RLIMIT_NOFILE, &limit), 0);
    }
    const rlim_t started = limit.rlim_cur;
    RaiseDescriptorLimit();
    ASSERT_EQ(::getrlimit(RLIMIT_NOFILE, &limit), 0);
    EXPECT_EQ(limit.rlim_cur, limit.rlim_max);

    ChildProcess child;
    std::string error;
    ASSERT_TRUE(child.Start("/bin/sh",
                            {"-c", "read line; echo \"$line\"; ulimit -n; exec sleep 30"},
                            {.captureOutput = true, .input = "secret address\n"}, error))
        << error;
    std::string line;
    ASSERT_TRUE(child.ReadLine(line, 20000));
    EXPECT_EQ(line, "secret address");
    ASSERT_TRUE(child.ReadLine(line, 20000));
    EXPECT_EQ(line, std::to_string(started));
    // Once sleep runs in its place and sleeps (its loader done with the libraries, which it
    // opens and closes), the program holds what it was given, and nothing else.
    const std::string proc = "/proc/" + std::to_string(child.Pid());
    const auto sleeping = [&] {
        std::error_code ignored;
        const std::string stat = ReadFile(proc + "/stat");
        const std::size_t end = stat.rfind(") ");
        return std::filesystem::read_symlink(proc + "/exe", ignored).filename() == "sleep" &&
               end != std::string::npos && stat.compare(end + 2, 1, "S") == 0;
    };
    EXPECT_TRUE(WaitUntil(sleeping, 5000));
    EXPECT_EQ(FilesIn(proc + "/fd"), (std::vector<std::string>{"0", "1", "2"}));
    ::close(inheritable);

    // Reaped behind its back: the wait fails, and says so.
    ::kill(child.Pid(), SIGKILL);
    ::waitpid(child.Pid(), nullptr, 0);
    EXPECT_EQ(child.Wait(), -1);
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
    EXPECT_EQ(holder.program, "verdal");
    EXPECT_FALSE(second.Publish("http://127.0.0.1:1/"));
    // A program that serves no address names itself.
    ASSERT_TRUE(first->Publish("verdal-cli"));
    EXPECT_EQ(second.Acquire(dir.Path(), holder, error), InstanceLock::Outcome::HeldElsewhere);
    EXPECT_EQ(holder.address, "");
    EXPECT_EQ(holder.program, "verdal-cli");

    // Its holder gone, the folder goes to the next start.
    first.reset();
    EXPECT_EQ(second.Acquire(dir.Path(), holder, error), InstanceLock::Outcome::Acquired);

    EXPECT_EQ(InstanceLock().Acquire(dir / "missing", holder, error),
              InstanceLock::Outcome::Failed);
}
