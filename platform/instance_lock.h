// One program per data folder: the first start holds a lock file in the folder for as long as it
// runs and writes its pid and start address in it (verdal-cli, which serves no address, its name
// instead); a later start finds that program there instead of opening the folder's files beside
// it.
//
// The lock is an flock() on the file, so the kernel lets go of it when its holder dies, however
// it dies: a file left by a program that was killed never blocks a new start. The file is
// readable by its owner only, as the address carries the window server's token.
//
// Threads: any one thread; the object is not shared.
#pragma once

#include <string>
#include <sys/types.h>

namespace verdal {

// The program that holds a data folder.
struct InstanceHolder {
    pid_t pid = 0;
    std::string address; // its start address; empty for a program that serves none
    std::string program; // "verdal" for one with an address, else the name it published
};

class InstanceLock {
public:
    enum class Outcome {
        Acquired,      // this process is the folder's program now
        HeldElsewhere, // another program holds it; holder says which
        Failed,        // the lock file cannot be used; error says why
    };

    InstanceLock() = default;
    InstanceLock(const InstanceLock&) = delete;
    InstanceLock& operator=(const InstanceLock&) = delete;
    // Lets go of the lock (the file stays, to be taken by the next start).
    ~InstanceLock();

    // Takes the lock of the folder's file "verdal.lock". When another program holds it, waits
    // up to waitMs milliseconds for that program to publish its address (it may still be
    // starting) and answers HeldElsewhere with it; a holder that ends meanwhile hands the lock
    // to this process. Answers Failed when the holder published nothing in time.
    Outcome Acquire(const std::string& folder, InstanceHolder& holder, std::string& error,
                    int waitMs = 15000);

    // Writes this process's pid and start address (an "http://" address), or the name of a
    // program that serves none, for later starts. False when the lock is not held or the file
    // cannot be written.
    bool Publish(const std::string& addressOrProgram);

private:
    int fd_ = -1;
};

} // namespace verdal
