// The progress of a long verdal-cli command on standard error. On a terminal it is one line
// redrawn in place: a bar, the percentage and the name of the course at hand where there is one.
// Anywhere else (a file, a pipe) it is one line per change of the percentage, for logs and
// scripts.
#pragma once

#include <string>

namespace verdal::cli {

class ProgressLine {
public:
    // Draws on a terminal when standard error is one.
    ProgressLine();
    ProgressLine(const ProgressLine&) = delete;
    ProgressLine& operator=(const ProgressLine&) = delete;
    // Ends the redrawn line.
    ~ProgressLine() { Finish(); }

    bool Interactive() const { return interactive_; }
    // A new percentage (0 to 100; other values are drawn at the nearer end of the bar).
    void Percent(int percent);
    // The course at hand; shown on the redrawn line only.
    void Name(std::string name);
    // Ends a redrawn line with a newline, so what follows starts on a line of its own.
    void Finish();

private:
    void Draw();

    bool interactive_;
    int percent_ = -1;
    std::string name_;
    bool drawn_ = false;
};

} // namespace verdal::cli
