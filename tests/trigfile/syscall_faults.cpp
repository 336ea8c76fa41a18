#include "syscall_faults.h"

#include <dlfcn.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <string>

namespace {

std::atomic<int> fsyncError{0};
std::atomic<int> closeError{0};
std::atomic<int> renameError{0};
std::atomic<int> linkError{0};
std::atomic<int> deliveredCount{0};

template <typename Fn> Fn next(const char* name) {
    return reinterpret_cast<Fn>(dlsym(RTLD_NEXT, name));
}

bool endsWithTmp(const char* path) {
    const std::size_t n = std::strlen(path);
    return n >= 4 && std::strcmp(path + n - 4, ".tmp") == 0;
}

bool isTemporaryFile(int fd) {
    char link[64];
    std::snprintf(link, sizeof link, "/proc/self/fd/%d", fd);
    char target[PATH_MAX + 1];
    const ssize_t n = readlink(link, target, PATH_MAX);
    if (n <= 0) {
        return false;
    }
    target[n] = '\0';
    return endsWithTmp(target);
}

// Takes the armed error for this call, if any.
int take(std::atomic<int>& armed, bool applies) {
    if (!applies || armed.load() == 0) {
        return 0;
    }
    const int error = armed.exchange(0);
    if (error != 0) {
        ++deliveredCount;
    }
    return error;
}

} // namespace

namespace syscallfaults {

void arm(Call call, int error) {
    deliveredCount = 0;
    switch (call) {
    case Call::Fsync:
        fsyncError = error;
        break;
    case Call::Close:
        closeError = error;
        break;
    case Call::Rename:
        renameError = error;
        break;
    case Call::Link:
        linkError = error;
        break;
    }
}

void disarmAll() {
    fsyncError = 0;
    closeError = 0;
    renameError = 0;
    linkError = 0;
}

int delivered() {
    return deliveredCount.load();
}

} // namespace syscallfaults

extern "C" {

int fsync(int fd) {
    static const auto real = next<int (*)(int)>("fsync");
    if (const int error = take(fsyncError, fsyncError.load() != 0 && isTemporaryFile(fd))) {
        errno = error;
        return -1;
    }
    return real(fd);
}

int close(int fd) {
    static const auto real = next<int (*)(int)>("close");
    if (const int error = take(closeError, closeError.load() != 0 && isTemporaryFile(fd))) {
        real(fd);
        errno = error;
        return -1;
    }
    return real(fd);
}

int rename(const char* from, const char* to) {
    static const auto real = next<int (*)(const char*, const char*)>("rename");
    if (const int error = take(renameError, renameError.load() != 0 && endsWithTmp(from))) {
        errno = error;
        return -1;
    }
    return real(from, to);
}

int link(const char* from, const char* to) {
    static const auto real = next<int (*)(const char*, const char*)>("link");
    if (const int error = take(linkError, true)) {
        errno = error;
        return -1;
    }
    return real(from, to);
}

} // extern "C"
