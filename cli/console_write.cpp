#include "cli/console_write.h"

#include "cli/exit_status.h"

#include <algorithm>
#include <atomic>
#include <csignal>
#include <cstdio>
#include <iterator>
#include <string>

#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif

namespace cli {
namespace {

// The signals that cancel a write. Windows has no SIGHUP; its console sends
// SIGBREAK for Ctrl+Break.
constexpr int kCancelling[] = {SIGINT, SIGTERM,
#ifdef SIGHUP
                               SIGHUP
#else
                               SIGBREAK
#endif
};

// The first signal that cancelled the write, set by the handler; a
// lock-free atomic is safe to store there.
std::atomic<int> gInterrupted{0};
static_assert(std::atomic<int>::is_always_lock_free);

// The cancel flag of the write the guard watches over, set by the handler
// itself: a write of a few hundred megabytes can be over before anything
// that looks for the signal comes round again, and must not then replace
// the file after all.
std::atomic<std::atomic<bool>*> gCancel{nullptr};
static_assert(std::atomic<std::atomic<bool>*>::is_always_lock_free);
static_assert(std::atomic<bool>::is_always_lock_free);

extern "C" void onInterrupt(int signal) {
    int none = 0;
    gInterrupted.compare_exchange_strong(none, signal);
    if (std::atomic<bool>* cancel = gCancel.load()) {
        cancel->store(true);
    }
}

} // namespace

InterruptGuard::InterruptGuard(std::atomic<bool>& cancel) {
    static_assert(std::size(kCancelling) == kSignals);
    gInterrupted.store(0);
    gCancel.store(&cancel);
    for (int i = 0; i < kSignals; ++i) {
        previous_[i] = std::signal(kCancelling[i], onInterrupt);
        if (previous_[i] == SIG_IGN) {
            std::signal(kCancelling[i], SIG_IGN);
        }
    }
}

InterruptGuard::~InterruptGuard() {
    for (int i = kSignals - 1; i >= 0; --i) {
        if (previous_[i] != SIG_ERR) {
            std::signal(kCancelling[i], previous_[i]);
        }
    }
    gCancel.store(nullptr);
}

int finish(int status) {
    const int signal = gInterrupted.load();
    if (signal == 0) {
        return status;
    }
    if (signal == SIGINT) {
        return kExitInterrupted;
    }
    std::fflush(nullptr);
    std::signal(signal, SIG_DFL);
    std::raise(signal);
    return 128 + signal; // not reached where the default action ends the program
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
        if (!terminal || std::chrono::steady_clock::now() - start <
                             std::chrono::milliseconds(trigfile::kProgressDelayMs)) {
            continue;
        }
        std::string line =
            progress.cancelRequested.load()
                ? std::string("Stopping...")
                : trigfile::progressText(progress.recordsWritten.load(), totalRecords);
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
