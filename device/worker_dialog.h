// A device operation run the way the application runs it, without a page: a modal dialog of
// the window system whose page window receives the progress message, and the worker on its own
// thread ending the dialog. verdal-cli and the tests use it.
#pragma once

#include "platform/window.h"

#include <cstdint>
#include <functional>

namespace verdal {

// Runs worker(page) on a new thread under a modal dialog owned by owner, calling onProgress
// with the percentage of every progress message the page receives. Answers the value the
// worker ended the dialog with, or -1 when the dialog could not run. Waits for the worker
// thread to end before it returns. User-interface thread only.
std::intptr_t RunWorkerDialog(const std::function<void(HWND page)>& worker,
                              const std::function<void(int percent)>& onProgress, HWND owner = 0);

} // namespace verdal
