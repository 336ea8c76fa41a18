#pragma once

#include "trigfile/series_writer.h"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <future>
#include <utility>

namespace cli {

// While it lives, Ctrl+C (SIGINT), SIGTERM and SIGHUP (what timeout, kill
// and a closed terminal send) set `cancel`, asking the write to stop,
// instead of ending the program at once; then they do again whatever they
// did before. A signal that was ignored when the program started (nohup)
// stays ignored.
class InterruptGuard {
  public:
    explicit InterruptGuard(std::atomic<bool>& cancel);
    ~InterruptGuard();
    InterruptGuard(const InterruptGuard&) = delete;
    InterruptGuard& operator=(const InterruptGuard&) = delete;

  private:
    static constexpr int kSignals = 3;
    void (*previous_[kSignals])(int) = {};
};

// The last call in main(), with the command's exit status. After a write
// stopped by SIGTERM or SIGHUP (its old file kept, its temporary file gone)
// the program ends by that signal, as the sender expects; after Ctrl+C,
// with status 130, as shells report it. Otherwise returns status.
int finish(int status);

// Until finished() says the work is done (it waits up to a tenth of a
// second), and once half a second has gone by, keeps a progress line on
// standard error if it is a terminal. The line is gone when this returns.
void watchWrite(std::uint64_t totalRecords, trigfile::WriteProgress& progress,
                const std::function<bool()>& finished);

// Runs a write the way the window does, on the console: the work goes on in
// a thread of its own; Ctrl+C, SIGTERM and SIGHUP are the window's Cancel
// (any old file is left as it was, see finish()); a write that takes a while
// shows a progress line. Returns what work returns.
template <typename Work>
auto runConsoleWrite(std::uint64_t totalRecords, Work work)
    -> decltype(work(std::declval<trigfile::WriteProgress&>())) {
    trigfile::WriteProgress progress;
    InterruptGuard guard(progress.cancelRequested);
    auto done = std::async(std::launch::async, [&] { return work(progress); });
    watchWrite(totalRecords, progress, [&] {
        return done.wait_for(std::chrono::milliseconds(100)) == std::future_status::ready;
    });
    return done.get();
}

// Whether standard error is a terminal (a console window on Windows).
bool stderrIsTerminal();

} // namespace cli
