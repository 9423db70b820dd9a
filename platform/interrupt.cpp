// SIGINT taken by a thread of its own, which turns it into a stop request.
#include "platform/interrupt.h"

#include <pthread.h>

#include <ctime>

namespace verdal {

InterruptStop::InterruptStop(std::stop_source& source) {
    sigset_t interrupt;
    sigemptyset(&interrupt);
    sigaddset(&interrupt, SIGINT);
    pthread_sigmask(SIG_BLOCK, &interrupt, &previous_);
    watcher_ = std::jthread([this, &source, interrupt](std::stop_token ended) {
        // Looks at the end request ten times a second; a signal is taken at once.
        const timespec tenth{0, 100'000'000};
        while (!ended.stop_requested()) {
            if (sigtimedwait(&interrupt, nullptr, &tenth) == SIGINT) {
                interrupted_.store(true);
                source.request_stop();
            }
        }
    });
}

InterruptStop::~InterruptStop() {
    watcher_.request_stop();
    watcher_.join();
    pthread_sigmask(SIG_SETMASK, &previous_, nullptr);
}

} // namespace verdal
