// The progress line of verdal-cli.
#include "app/cli/progress_line.h"

#include "platform/file.h"

#include <algorithm>
#include <cstdio>

namespace verdal::cli {
namespace {

constexpr int kBarWidth = 30;

// The number of bytes of text that fit in columns, cut between UTF-8 sequences.
std::size_t Fitting(const std::string& text, std::size_t columns) {
    std::size_t used = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if ((static_cast<unsigned char>(text[i]) & 0xC0) == 0x80)
            continue; // a continuation byte takes no column of its own
        if (used == columns)
            return i;
        ++used;
    }
    return text.size();
}

// The redrawn line for a percentage and a name, at most width columns of text.
std::string Line(int percent, const std::string& name, std::size_t width = 79) {
    const int shown = std::clamp(percent, 0, 100);
    const int filled = shown * kBarWidth / 100;
    char head[64];
    std::snprintf(head, sizeof head, "[%s%s] %3d%%", std::string(filled, '#').c_str(),
                  std::string(kBarWidth - filled, ' ').c_str(), percent);
    std::string line = head;
    if (!name.empty() && line.size() + 2 < width)
        line += "  " + name.substr(0, Fitting(name, width - line.size() - 2));
    return line;
}

} // namespace

ProgressLine::ProgressLine() : interactive_(IsTerminal(fileno(stderr))) {}

void ProgressLine::Percent(int percent) {
    if (percent == percent_)
        return;
    percent_ = percent;
    if (interactive_) {
        Draw();
    } else {
        std::fprintf(stderr, "progress %d%%\n", percent);
        std::fflush(stderr);
    }
}

void ProgressLine::Name(std::string name) {
    name_ = std::move(name);
    if (interactive_ && percent_ >= 0)
        Draw();
}

void ProgressLine::Draw() {
    // Back to the start of the line, the line anew, and the rest of the old one cleared.
    std::fprintf(stderr, "\r%s\x1b[K", Line(percent_, name_).c_str());
    std::fflush(stderr);
    drawn_ = true;
}

void ProgressLine::Finish() {
    if (drawn_) {
        std::fputc('\n', stderr);
        std::fflush(stderr);
        drawn_ = false;
    }
}

} // namespace verdal::cli
