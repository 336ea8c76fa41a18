#include "app/process_signals.h"

#include <QCoreApplication>

#ifndef Q_OS_WIN
#include <QSocketNotifier>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <unistd.h>
#endif

namespace processsignals {

#ifdef Q_OS_WIN

void install() {}
void watch(QCoreApplication&) {}
int finish(int status) {
    return status;
}

#else

namespace {

constexpr int kTerminating[] = {SIGTERM, SIGINT, SIGHUP};

// Set from the signal handler, so only lock-free atomics and a pipe: the
// handler records the signal and wakes the event loop through the pipe,
// which does the rest outside the handler.
std::atomic<int> received{0};
static_assert(std::atomic<int>::is_always_lock_free);
int wakeRead = -1;
int wakeWrite = -1;

extern "C" void onTerminatingSignal(int signal) {
    const int savedErrno = errno;
    int none = 0;
    received.compare_exchange_strong(none, signal);
    if (wakeWrite >= 0) {
        const char byte = 1;
        [[maybe_unused]] const auto n = ::write(wakeWrite, &byte, 1);
    }
    errno = savedErrno;
}

void setNonBlockingCloseOnExec(int fd) {
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
    ::fcntl(fd, F_SETFD, FD_CLOEXEC);
}

} // namespace

void install() {
    struct sigaction ignore {};
    ignore.sa_handler = SIG_IGN;
    sigemptyset(&ignore.sa_mask);
    ::sigaction(SIGXFSZ, &ignore, nullptr);

    int fds[2];
    if (::pipe(fds) == 0) {
        setNonBlockingCloseOnExec(fds[0]);
        setNonBlockingCloseOnExec(fds[1]);
        wakeRead = fds[0];
        wakeWrite = fds[1];
    }
    struct sigaction handle {};
    handle.sa_handler = onTerminatingSignal;
    sigemptyset(&handle.sa_mask);
    for (const int signal : kTerminating) {
        sigaddset(&handle.sa_mask, signal); // one handler at a time
    }
    handle.sa_flags = SA_RESTART;
    for (const int signal : kTerminating) {
        struct sigaction before {};
        if (::sigaction(signal, nullptr, &before) == 0 && before.sa_handler == SIG_IGN) {
            continue;
        }
        ::sigaction(signal, &handle, nullptr);
    }
}

void watch(QCoreApplication& app) {
    if (wakeRead < 0) {
        return;
    }
    auto* notifier = new QSocketNotifier(wakeRead, QSocketNotifier::Read, &app);
    QObject::connect(notifier, &QSocketNotifier::activated, &app, [] {
        char bytes[16];
        while (::read(wakeRead, bytes, sizeof bytes) > 0) {
        }
        // Quits every event loop, nested ones too: a running write's
        // progress loop returns, cancels the write and waits for it to end.
        QCoreApplication::exit(128 + received.load());
    });
}

int finish(int status) {
    const int signal = received.load();
    if (signal == 0) {
        return status;
    }
    ::signal(signal, SIG_DFL);
    ::raise(signal);
    return 128 + signal; // not reached: the default action ends the process
}

#endif

} // namespace processsignals
