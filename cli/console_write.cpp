#include "console_write.h"

#include "number_text.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <exception>
#include <future>
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

// Ctrl+C goes to onInterrupt while this lives, then to whatever had it before.
class InterruptGuard {
  public:
    InterruptGuard() {
        gInterrupted.store(false);
        previous_ = std::signal(SIGINT, onInterrupt);
    }
    ~InterruptGuard() {
        if (previous_ != SIG_ERR) {
            std::signal(SIGINT, previous_);
        }
    }
    InterruptGuard(const InterruptGuard&) = delete;
    InterruptGuard& operator=(const InterruptGuard&) = delete;

  private:
    void (*previous_)(int) = SIG_ERR;
};

std::string progressLine(std::uint64_t written, std::uint64_t total) {
    // Once every record is written the disk still has to take the file in.
    if (written >= total) {
        return "Saving the file to the disk...";
    }
    return "Writing trigger " + trigfile::withThousands(written) + " of " +
           trigfile::withThousands(total) + "...";
}

} // namespace

bool stderrIsTerminal() {
#ifdef _WIN32
    return _isatty(_fileno(stderr)) != 0;
#else
    return isatty(fileno(stderr)) != 0;
#endif
}

trigfile::WriteOutcome
runConsoleWrite(std::uint64_t totalRecords,
                const std::function<trigfile::WriteOutcome(trigfile::WriteProgress&)>& work) {
    InterruptGuard guard;
    trigfile::WriteProgress progress;
    auto done = std::async(std::launch::async, [&]() -> trigfile::WriteOutcome {
        try {
            return work(progress);
        } catch (const std::exception& e) {
            return {trigfile::WriteOutcome::Status::Failed,
                    std::string("Could not write the file: ") + e.what()};
        }
    });

    const bool terminal = stderrIsTerminal();
    const auto start = std::chrono::steady_clock::now();
    std::size_t shownWidth = 0;
    while (done.wait_for(std::chrono::milliseconds(100)) != std::future_status::ready) {
        if (gInterrupted.load()) {
            progress.cancelRequested.store(true);
        }
        if (terminal && std::chrono::steady_clock::now() - start >=
                            std::chrono::milliseconds(kProgressDelayMs)) {
            std::string line = progress.cancelRequested.load()
                                   ? std::string("Stopping...")
                                   : progressLine(progress.recordsWritten.load(), totalRecords);
            const std::size_t width = line.size();
            line.resize(std::max(width, shownWidth), ' '); // blank out a longer line before
            std::fprintf(stderr, "\r%s", line.c_str());
            std::fflush(stderr);
            shownWidth = width;
        }
    }
    if (shownWidth > 0) {
        std::fprintf(stderr, "\r%s\r", std::string(shownWidth, ' ').c_str());
        std::fflush(stderr);
    }
    return done.get();
}

} // namespace cli
