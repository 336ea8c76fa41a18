#include "contained_read.h"

#include "bounded_read.h"

#include <cstring>
#include <string>

#ifndef _WIN32
#include <csignal>
#include <fstream>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace maparchive {

#ifdef _WIN32

ScenarioRead runContained(const std::function<ScenarioRead()>& read, const std::string&) {
    return read();
}

#else

namespace {

// What the child sends: one byte (0 scenario data, 1 refusal), the length as
// eight little-endian bytes, then the data or the refusal's text.
constexpr std::uint64_t kMaxReasonBytes = 64 * 1024;
constexpr rlim_t kChildSeconds = 30;

bool writeAll(int fd, const void* data, std::size_t size) {
    const auto* p = static_cast<const char*>(data);
    while (size > 0) {
        const ssize_t n = ::write(fd, p, size);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return false;
        }
        p += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

bool readAll(int fd, void* data, std::size_t size) {
    auto* p = static_cast<char*>(data);
    while (size > 0) {
        const ssize_t n = ::read(fd, p, size);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return false;
        }
        p += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

// Caps the child's data at what the program already holds plus a margin.
// Sanitizers keep terabytes of shadow memory reserved, so their builds go
// without the memory cap.
void limitChild() {
    const rlimit cpu{kChildSeconds, kChildSeconds + 5};
    setrlimit(RLIMIT_CPU, &cpu);
#ifndef TALLYFORGE_SANITIZED
    constexpr rlim_t kChildExtraBytes = 1ULL << 30; // on top of what the program holds already
    std::ifstream statm("/proc/self/statm");        // sizes in pages; the sixth is data
    unsigned long long fields[6] = {};
    for (auto& f : fields) {
        statm >> f;
    }
    if (statm) {
        const rlim_t data =
            static_cast<rlim_t>(fields[5]) * static_cast<rlim_t>(sysconf(_SC_PAGESIZE));
        const rlimit memory{data + kChildExtraBytes, data + kChildExtraBytes};
        setrlimit(RLIMIT_DATA, &memory);
    }
#endif
}

[[noreturn]] void runChild(int fd, const std::function<ScenarioRead()>& read) {
    std::uint8_t tag = 1;
    std::string payload;
    try {
        ScenarioRead result = read();
        if (auto* data = std::get_if<std::vector<std::uint8_t>>(&result)) {
            tag = 0;
            payload.assign(data->begin(), data->end());
        } else {
            payload = std::get<trigfile::Refusal>(result).reason.substr(0, kMaxReasonBytes);
        }
    } catch (...) {
        payload = "Reading the map took more memory than Tallyforge allows.";
    }
    std::uint8_t head[9] = {tag};
    const std::uint64_t size = payload.size();
    for (int i = 0; i < 8; ++i) {
        head[1 + i] = static_cast<std::uint8_t>(size >> (8 * i));
    }
    const bool sent =
        writeAll(fd, head, sizeof head) && writeAll(fd, payload.data(), payload.size());
    ::_exit(sent ? 0 : 1); // no exit handlers: they belong to the parent
}

trigfile::Refusal failed(const std::string& mapName, const std::string& how) {
    return trigfile::Refusal{"StormLib failed while reading the map " + mapName + " (" + how +
                             "). The map may be damaged or made to trip map readers; "
                             "Tallyforge does not read it."};
}

} // namespace

ScenarioRead runContained(const std::function<ScenarioRead()>& read, const std::string& mapName) {
    int fds[2];
    if (::pipe(fds) != 0) {
        return trigfile::Refusal{"Could not start reading the map " + mapName + ": " +
                                 std::strerror(errno) + "."};
    }
    const pid_t child = ::fork();
    if (child < 0) {
        const int error = errno;
        ::close(fds[0]);
        ::close(fds[1]);
        return trigfile::Refusal{"Could not start reading the map " + mapName + ": " +
                                 std::strerror(error) + "."};
    }
    if (child == 0) {
        ::close(fds[0]);
        limitChild();
        runChild(fds[1], read);
    }
    ::close(fds[1]);

    std::uint8_t head[9] = {};
    bool complete = readAll(fds[0], head, sizeof head);
    std::uint64_t size = 0;
    for (int i = 0; i < 8; ++i) {
        size |= static_cast<std::uint64_t>(head[1 + i]) << (8 * i);
    }
    const std::uint64_t most = head[0] == 0 ? trigfile::kMaxReadBytes : kMaxReasonBytes;
    complete = complete && head[0] <= 1 && size <= most;
    std::vector<std::uint8_t> payload;
    if (complete) {
        payload.resize(static_cast<std::size_t>(size));
        complete = readAll(fds[0], payload.data(), payload.size());
    }
    ::close(fds[0]); // a child still writing gets SIGPIPE and ends

    int status = 0;
    while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    if (WIFSIGNALED(status)) {
        const int signal = WTERMSIG(status);
        return failed(mapName, signal == SIGXCPU ? "it took too long"
                               : signal == SIGKILL
                                   ? "it was stopped"
                                   : "it crashed with signal " + std::to_string(signal));
    }
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0 || !complete) {
        return failed(mapName, "it ended without an answer");
    }
    if (head[0] == 1) {
        return trigfile::Refusal{std::string(payload.begin(), payload.end())};
    }
    return payload;
}

#endif

} // namespace maparchive
