#include "console_write.h"

#include "number_text.h"

#include <algorithm>
#include <atomic>
#include <csignal>
#include <cstdio>
#include <string>

#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif

namespace cli {
namespace {

// Set by the Ctrl+C handler; a lock-free atomic is safe to store there.
std::atomic<bool> gInterrupted{false};
static_assert(std::atomic<bool>::is_always_lock_free);

extern "C" void onInterrupt(int) {
    gInterrupted.store(true);
}

std::string progressLine(std::uint64_t written, std::uint64_t total) {
    // Once every record is written the disk still has to take the file in.
    if (written >= total) {
        return "Saving the file to the disk...";
    }
    return "Writing trigger " + trigfile::withThousands(written) + " of " +
           trigfile::withThousands(total) + "...";
}

} // namespace

InterruptGuard::InterruptGuard() {
    gInterrupted.store(false);
    previous_ = std::signal(SIGINT, onInterrupt);
}

InterruptGuard::~InterruptGuard() {
    if (previous_ != SIG_ERR) {
        std::signal(SIGINT, previous_);
    }
}

bool stderrIsTerminal() {
#ifdef _WIN32
    return _isatty(_fileno(stderr)) != 0;
#else
    return isatty(fileno(stderr)) != 0;
#endif
}

void watchWrite(std::uint64_t totalRecords, trigfile::WriteProgress& progress,
                const std::function<bool()>& finished) {
    const bool terminal = stderrIsTerminal();
    const auto start = std::chrono::steady_clock::now();
    std::size_t shownWidth = 0;
    while (!finished()) {
        if (gInterrupted.load()) {
            progress.cancelRequested.store(true);
        }
        if (!terminal || std::chrono::steady_clock::now() - start <
                             std::chrono::milliseconds(kProgressDelayMs)) {
            continue;
        }
        std::string line = progress.cancelRequested.load()
                               ? std::string("Stopping...")
                               : progressLine(progress.recordsWritten.load(), totalRecords);
        const std::size_t width = line.size();
        line.resize(std::max(width, shownWidth), ' '); // blanks out a longer line before
        std::fprintf(stderr, "\r%s", line.c_str());
        std::fflush(stderr);
        shownWidth = width;
    }
    if (shownWidth > 0) {
        std::fprintf(stderr, "\r%s\r", std::string(shownWidth, ' ').c_str());
        std::fflush(stderr);
    }
}

} // namespace cli
