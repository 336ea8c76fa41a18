#include "maparchive/contained_read.h"

#include "base/display_name.h"
#include "maparchive/scenario_replace.h"
#include "safefile/bounded_read.h"
#include "safefile/byte_sink.h" // WriteError

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <exception>
#include <new>
#include <string>
#include <vector>

#ifdef _WIN32
#include <atomic>
#include <cwchar>
#include <thread>
#include <windows.h>

#include <shellapi.h> // CommandLineToArgvW; needs windows.h first
#else
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <fstream>
#include <optional>
#include <poll.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace fs = std::filesystem;

namespace maparchive {
namespace {

// What the child sends: one byte (0 scenario data, else the kind of the
// problem, see kindByte), the length as eight little-endian bytes, then the
// data or the problem's reason.
constexpr std::size_t kHeadBytes = 9;
constexpr std::uint64_t kMaxReasonBytes = 64 * 1024;

std::uint8_t kindByte(base::Problem::Kind kind) {
    switch (kind) {
    case base::Problem::Kind::Refused:
        return 1;
    case base::Problem::Kind::Failed:
        return 2;
    case base::Problem::Kind::Cancelled:
        break;
    }
    return 3;
}

base::Problem::Kind kindOfByte(std::uint8_t byte) {
    return byte == 1   ? base::Problem::Kind::Refused
           : byte == 2 ? base::Problem::Kind::Failed
                       : base::Problem::Kind::Cancelled;
}

base::Problem failed(const std::string& mapName, const std::string& how) {
    return base::Problem::refused("StormLib failed while reading the map " + mapName + " (" + how +
                                  "). The map may be damaged or made to trip map readers; "
                                  "Tallyforge does not read it.");
}

// A digest as the child sends it: its size, then its hash, each as eight
// little-endian bytes.
constexpr std::size_t kDigestBytes = 16;

std::vector<std::uint8_t> digestBytes(const ScenarioDigest& digest) {
    std::vector<std::uint8_t> bytes(kDigestBytes);
    for (std::size_t i = 0; i < 8; ++i) {
        bytes[i] = static_cast<std::uint8_t>(digest.size >> (8 * i));
        bytes[8 + i] = static_cast<std::uint8_t>(digest.hash >> (8 * i));
    }
    return bytes;
}

// The job itself, in whichever process runs it.
ScenarioRead runJob(ContainedJob job, const fs::path& map, std::uint64_t mapSize,
                    const std::string& mapName) {
    if (job == ContainedJob::HashScenario) {
        const DigestRead digest = hashScenarioUncontained(map, mapName, mapSize);
        if (!digest.ok()) {
            return digest.problem();
        }
        return digestBytes(*digest);
    }
    if (job == ContainedJob::ReadForWriting) {
        probeForWriting(map);
    }
    return readScenarioUncontained(map, mapName, mapSize);
}

// The child's answer: the job's, or what stopped it, in words.
ScenarioRead answerOf(ContainedJob job, const fs::path& map, std::uint64_t mapSize,
                      const std::string& mapName) {
    try {
        return runJob(job, map, mapSize, mapName);
    } catch (const std::bad_alloc&) {
        return base::Problem::refused("Reading the map " + mapName +
                                      " took more memory than Tallyforge allows.");
    } catch (const safefile::WriteError& e) {
        return e.problem(); // StormLib's reason, already in words
    } catch (const std::exception& e) {
        return failed(mapName, std::string("it gave up: ") + e.what());
    } catch (...) {
        return failed(mapName, "it gave up without a reason");
    }
}

// Sends an answer through write(bytes, size), which returns false when the
// caller has gone.
template <typename Write> bool sendAnswer(const ScenarioRead& answer, Write write) {
    const std::vector<std::uint8_t>* data = answer.ok() ? &*answer : nullptr;
    const std::string reason = data ? std::string() : answer.reason().substr(0, kMaxReasonBytes);
    const std::uint64_t size = data ? data->size() : reason.size();
    std::uint8_t head[kHeadBytes] = {data ? std::uint8_t{0} : kindByte(answer.problem().kind)};
    for (int i = 0; i < 8; ++i) {
        head[1 + i] = static_cast<std::uint8_t>(size >> (8 * i));
    }
    return write(head, sizeof head) &&
           (data ? write(data->data(), data->size())
                 : write(reinterpret_cast<const std::uint8_t*>(reason.data()), reason.size()));
}

// The answer as it arrives, straight into its final buffer.
class Answer {
  public:
    // Where the next bytes go, and how many fit there.
    std::uint8_t* room() {
        return headGot_ < kHeadBytes ? head_ + headGot_ : payload_.data() + got_;
    }
    std::size_t roomSize() const {
        return headGot_ < kHeadBytes ? kHeadBytes - headGot_ : payload_.size() - got_;
    }
    // Counts n bytes that arrived in room(); false when they make more than
    // any answer holds.
    bool arrived(std::size_t n) {
        if (headGot_ < kHeadBytes) {
            headGot_ += n;
            return headGot_ < kHeadBytes || startPayload();
        }
        got_ += n;
        return true;
    }
    bool complete() const { return headGot_ == kHeadBytes && got_ == payload_.size(); }
    ScenarioRead take() {
        if (head_[0] != 0) {
            return base::Problem{kindOfByte(head_[0]),
                                 std::string(payload_.begin(), payload_.end())};
        }
        return std::move(payload_);
    }

  private:
    bool startPayload() {
        std::uint64_t size = 0;
        for (int i = 0; i < 8; ++i) {
            size |= static_cast<std::uint64_t>(head_[1 + i]) << (8 * i);
        }
        const std::uint64_t most = head_[0] == 0 ? safefile::kMaxReadBytes : kMaxReasonBytes;
        if (head_[0] > 3 || size > most) {
            return false;
        }
        payload_.resize(static_cast<std::size_t>(size));
        return true;
    }

    std::uint8_t head_[kHeadBytes] = {};
    std::size_t headGot_ = 0;
    std::vector<std::uint8_t> payload_;
    std::size_t got_ = 0;
};

// How a child ended, in what the caller is told.
struct Ending {
    bool exitedCleanly = false; // ran to its end and sent its answer
    bool tookTooLong = false;   // by the processor or the clock
    bool interrupted = false;   // by the signals that end this program
    std::string how;            // otherwise: how it ended, for failed()
    std::string stderrText;     // what StormLib printed on its way out
};

ScenarioRead verdict(Answer& answer, const Ending& ending, const std::string& mapName) {
    if (ending.tookTooLong) {
        return failed(mapName, "it took too long");
    }
    if (ending.interrupted) {
        return base::Problem::refused("Reading the map " + mapName + " was interrupted.");
    }
    // StormLib's own checks end it with a line naming the check; one of them
    // stops it on scenario data packed with LZMA, which StarCraft never reads.
    const std::size_t check = ending.stderrText.find("Assertion");
    if (check != std::string::npos && ending.stderrText.find("LZMA", check) != std::string::npos) {
        return base::Problem::refused(
            "The scenario data of the map " + mapName +
            " is packed with LZMA, which StarCraft does not read; neither "
            "does Tallyforge.");
    }
    if (check != std::string::npos) {
        std::string line = ending.stderrText.substr(check);
        line = line.substr(0, line.find('\n'));
        return failed(mapName, "it stopped at one of its own checks: " + line);
    }
    if (!ending.how.empty()) {
        return failed(mapName, ending.how);
    }
    if (!ending.exitedCleanly || !answer.complete()) {
        return failed(mapName, "it ended without an answer");
    }
    return answer.take();
}

constexpr std::size_t kMostStderrBytes = 4096;

} // namespace

DigestRead runContainedHash(const fs::path& map, std::uint64_t mapSize, const std::string& mapName,
                            const ChildLimits& limits) {
    const ScenarioRead answer =
        runContained(ContainedJob::HashScenario, map, mapSize, mapName, limits);
    if (!answer.ok()) {
        return answer.problem();
    }
    if (answer->size() != kDigestBytes) {
        return failed(mapName, "it answered with something else");
    }
    ScenarioDigest digest;
    for (std::size_t i = 0; i < 8; ++i) {
        digest.size |= std::uint64_t{(*answer)[i]} << (8 * i);
        digest.hash |= std::uint64_t{(*answer)[8 + i]} << (8 * i);
    }
    return digest;
}

#ifdef _WIN32

namespace {

// The child is this program started again with these arguments: the job,
// the map's size, its path and its name for messages.
constexpr wchar_t kChildFlag[] = L"--tallyforge-contained-read";

std::wstring wide(const std::string& utf8) {
    return fs::path(std::u8string(utf8.begin(), utf8.end())).wstring();
}

std::string utf8(const std::wstring& text) {
    const std::u8string u = fs::path(text).u8string();
    return std::string(u.begin(), u.end());
}

// One argument as CommandLineToArgvW reads it back: in quotes, with quotes
// escaped and the backslashes before them doubled.
std::wstring asArgument(const std::wstring& arg) {
    std::wstring out = L"\"";
    std::size_t backslashes = 0;
    for (const wchar_t c : arg) {
        if (c == L'\\') {
            ++backslashes;
            continue;
        }
        out.append(c == L'"' ? 2 * backslashes + 1 : backslashes, L'\\');
        backslashes = 0;
        out += c;
    }
    out.append(2 * backslashes, L'\\');
    return out + L"\"";
}

// Runs in every program that links this library, before its main(): when
// started as a child, it answers and ends there, whatever that program's
// main() would have done.
int answerIfStartedAsChild() {
    int argc = 0;
    LPWSTR* argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    if (argv == nullptr || argc != 6 || std::wcscmp(argv[1], kChildFlag) != 0) {
        LocalFree(argv);
        return 0;
    }
    // A crash ends the child at once, without asking anybody.
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX);
    const auto job = static_cast<ContainedJob>(std::wcstoul(argv[2], nullptr, 10));
    const std::uint64_t mapSize = std::wcstoull(argv[3], nullptr, 10);
    const fs::path map(argv[4]);
    const std::string mapName = utf8(argv[5]);
    const HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
    const bool sent =
        sendAnswer(answerOf(job, map, mapSize, mapName), [&](const std::uint8_t* p, std::size_t n) {
            while (n > 0) {
                DWORD put = 0;
                const DWORD chunk = n > (1u << 24) ? (1u << 24) : static_cast<DWORD>(n);
                if (!WriteFile(out, p, chunk, &put, nullptr) || put == 0) {
                    return false;
                }
                p += put;
                n -= put;
            }
            return true;
        });
    ExitProcess(sent ? 0 : 1);
}

[[maybe_unused]] const int gStartedAsChild = answerIfStartedAsChild();

// The limits the system enforces on the child: memory, processor time, and
// the end of the child with the job object (this process, killed, takes it
// along).
HANDLE limitingJob(const ChildLimits& limits) {
    HANDLE job = CreateJobObjectW(nullptr, nullptr);
    if (job == nullptr) {
        return nullptr;
    }
    JOBOBJECT_EXTENDED_LIMIT_INFORMATION info{};
    info.BasicLimitInformation.LimitFlags =
        JOB_OBJECT_LIMIT_PROCESS_MEMORY | JOB_OBJECT_LIMIT_PROCESS_TIME |
        JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE | JOB_OBJECT_LIMIT_DIE_ON_UNHANDLED_EXCEPTION;
    info.BasicLimitInformation.PerProcessUserTimeLimit.QuadPart =
        static_cast<LONGLONG>(limits.processorTime.count()) * 10'000'000;
    // A fresh process: the program's own start-up, then the read.
    info.ProcessMemoryLimit = static_cast<SIZE_T>(limits.extraMemory + safefile::kMaxReadBytes);
    // Best effort: without them (an older Wine) the clock still limits it.
    SetInformationJobObject(job, JobObjectExtendedLimitInformation, &info, sizeof info);
    return job;
}

std::string systemText(DWORD error) {
    return std::system_category().message(static_cast<int>(error));
}

} // namespace

ScenarioRead runContained(ContainedJob job, const fs::path& map, std::uint64_t mapSize,
                          const std::string& mapName, const ChildLimits& limits) {
    const auto cannotStart = [&](DWORD error) {
        return base::Problem::refused("Could not start reading the map " + mapName + ": " +
                                      systemText(error) + ".");
    };
    std::wstring self(32768, L'\0');
    const DWORD length = GetModuleFileNameW(nullptr, self.data(), static_cast<DWORD>(self.size()));
    if (length == 0 || length >= self.size()) {
        return cannotStart(GetLastError());
    }
    self.resize(length);
    std::wstring command = asArgument(self) + L" " + kChildFlag + L" " +
                           std::to_wstring(static_cast<unsigned>(job)) + L" " +
                           std::to_wstring(mapSize) + L" " + asArgument(map.wstring()) + L" " +
                           asArgument(wide(mapName));

    SECURITY_ATTRIBUTES inherited{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    HANDLE readEnd = nullptr;
    HANDLE writeEnd = nullptr;
    if (!CreatePipe(&readEnd, &writeEnd, &inherited, 0)) {
        return cannotStart(GetLastError());
    }
    SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);
    // StormLib's words go nowhere.
    const HANDLE nowhere =
        CreateFileW(L"NUL", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                    &inherited, OPEN_EXISTING, 0, nullptr);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = nowhere;
    startup.hStdOutput = writeEnd;
    startup.hStdError = nowhere;
    PROCESS_INFORMATION child{};
    const HANDLE limiting = limitingJob(limits);
    const bool started =
        CreateProcessW(self.c_str(), command.data(), nullptr, nullptr, TRUE,
                       CREATE_SUSPENDED | CREATE_NO_WINDOW, nullptr, nullptr, &startup, &child);
    const DWORD startError = GetLastError();
    CloseHandle(writeEnd);
    if (nowhere != INVALID_HANDLE_VALUE) {
        CloseHandle(nowhere);
    }
    if (!started) {
        CloseHandle(readEnd);
        if (limiting) {
            CloseHandle(limiting);
        }
        return cannotStart(startError);
    }
    if (limiting) {
        AssignProcessToJobObject(limiting, child.hProcess);
    }
    ResumeThread(child.hThread);
    CloseHandle(child.hThread);

    // The clock: a child that waits instead of working is ended too.
    std::atomic<bool> overTime{false};
    std::thread clock([&] {
        const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(limits.wallClock);
        if (WaitForSingleObject(child.hProcess, static_cast<DWORD>(ms.count())) == WAIT_TIMEOUT) {
            overTime = true;
            TerminateProcess(child.hProcess, 1);
        }
    });
    Answer answer;
    Ending ending;
    for (;;) {
        const std::size_t room = answer.roomSize();
        DWORD got = 0;
        if (room == 0 ||
            !ReadFile(readEnd, answer.room(),
                      room > (1u << 24) ? (1u << 24) : static_cast<DWORD>(room), &got, nullptr) ||
            got == 0) {
            break;
        }
        if (!answer.arrived(got)) {
            TerminateProcess(child.hProcess, 1);
            break;
        }
    }
    CloseHandle(readEnd);
    WaitForSingleObject(child.hProcess, INFINITE);
    clock.join();
    DWORD code = 1;
    GetExitCodeProcess(child.hProcess, &code);
    FILETIME created{}, exited{}, kernel{}, user{};
    GetProcessTimes(child.hProcess, &created, &exited, &kernel, &user);
    const std::uint64_t userTicks =
        (static_cast<std::uint64_t>(user.dwHighDateTime) << 32) | user.dwLowDateTime;
    CloseHandle(child.hProcess);
    if (limiting) {
        CloseHandle(limiting);
    }
    ending.exitedCleanly = code == 0;
    ending.tookTooLong =
        overTime ||
        userTicks >= static_cast<std::uint64_t>(limits.processorTime.count()) * 10'000'000;
    if (code >= 0xC0000000u) {
        char hex[16];
        std::snprintf(hex, sizeof hex, "0x%08lX", static_cast<unsigned long>(code));
        ending.how = std::string("it crashed with exception ") + hex;
    }
    return verdict(answer, ending, mapName);
}

#else

namespace {

// The data the child may hold: what this program holds already plus a
// margin. Worked out before the fork, so that the child does nothing but
// the job. Sanitizers keep terabytes of shadow memory reserved, so their
// builds go without the memory cap.
std::optional<rlimit> dataLimit([[maybe_unused]] std::uint64_t extra) {
#ifndef TALLYFORGE_SANITIZED
    std::ifstream statm("/proc/self/statm"); // sizes in pages; the sixth is data
    unsigned long long fields[6] = {};
    for (auto& f : fields) {
        statm >> f;
    }
    if (statm) {
        const rlim_t held =
            static_cast<rlim_t>(fields[5]) * static_cast<rlim_t>(sysconf(_SC_PAGESIZE));
        return rlimit{held + extra, held + extra};
    }
#endif
    return std::nullopt;
}

bool writeAll(int fd, const std::uint8_t* p, std::size_t size) {
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

// The signals that end this program end the child too (the terminal's
// Ctrl+C and timeout reach the whole process group), unless they were
// ignored to begin with; this program's own handlers are for this program.
void endOnTerminatingSignals() {
    for (const int signal : {SIGTERM, SIGINT, SIGHUP}) {
        struct sigaction was {};
        if (::sigaction(signal, nullptr, &was) == 0 && was.sa_handler != SIG_IGN) {
            ::signal(signal, SIG_DFL);
        }
    }
}

[[noreturn]] void runChild(int answerFd, int stderrFd, ContainedJob job, const fs::path& map,
                           std::uint64_t mapSize, const std::string& mapName,
                           const ChildLimits& limits, const std::optional<rlimit>& data) {
    ::dup2(stderrFd, STDERR_FILENO);
    endOnTerminatingSignals();
    const auto seconds = static_cast<rlim_t>(limits.processorTime.count());
    const rlimit cpu{seconds, seconds + 5};
    ::setrlimit(RLIMIT_CPU, &cpu);
    if (data) {
        ::setrlimit(RLIMIT_DATA, &*data);
    }
    const bool sent =
        sendAnswer(answerOf(job, map, mapSize, mapName),
                   [&](const std::uint8_t* p, std::size_t n) { return writeAll(answerFd, p, n); });
    ::_exit(sent ? 0 : 1); // no exit handlers: they belong to the parent
}

std::string signalEnding(int signal) {
    if (signal == SIGKILL) {
        return "it was stopped";
    }
    return "it crashed with signal " + std::to_string(signal);
}

} // namespace

ScenarioRead runContained(ContainedJob job, const fs::path& map, std::uint64_t mapSize,
                          const std::string& mapName, const ChildLimits& limits) {
    const auto cannotStart = [&](int error) {
        return base::Problem::refused("Could not start reading the map " + mapName + ": " +
                                      std::strerror(error) + ".");
    };
    const std::optional<rlimit> data = dataLimit(limits.extraMemory);
    int answerPipe[2];
    int stderrPipe[2];
    if (::pipe2(answerPipe, O_CLOEXEC) != 0) {
        return cannotStart(errno);
    }
    if (::pipe2(stderrPipe, O_CLOEXEC) != 0) {
        const int error = errno;
        ::close(answerPipe[0]);
        ::close(answerPipe[1]);
        return cannotStart(error);
    }
    const pid_t child = ::fork();
    if (child == 0) {
        ::close(answerPipe[0]);
        ::close(stderrPipe[0]);
        runChild(answerPipe[1], stderrPipe[1], job, map, mapSize, mapName, limits, data);
    }
    const int forkError = errno;
    ::close(answerPipe[1]);
    ::close(stderrPipe[1]);
    if (child < 0) {
        ::close(answerPipe[0]);
        ::close(stderrPipe[0]);
        return cannotStart(forkError);
    }

    // The answer and StormLib's words as they come, until both end or the
    // clock runs out.
    Answer answer;
    Ending ending;
    const auto deadline = std::chrono::steady_clock::now() + limits.wallClock;
    pollfd fds[2] = {{answerPipe[0], POLLIN, 0}, {stderrPipe[0], POLLIN, 0}};
    bool stopped = false;
    while (!stopped && (fds[0].fd >= 0 || fds[1].fd >= 0)) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) {
            ending.tookTooLong = true;
            break;
        }
        if (::poll(fds, 2, static_cast<int>(left.count())) < 0) {
            if (errno == EINTR) {
                continue;
            }
            stopped = true;
            break;
        }
        if (fds[0].fd >= 0 && fds[0].revents != 0) {
            const std::size_t room = answer.roomSize();
            const ssize_t n = room == 0 ? 0 : ::read(fds[0].fd, answer.room(), room);
            if (n > 0) {
                stopped = !answer.arrived(static_cast<std::size_t>(n));
            } else if (n == 0 || errno != EINTR) {
                ::close(fds[0].fd);
                fds[0].fd = -1;
            }
        }
        if (fds[1].fd >= 0 && fds[1].revents != 0) {
            char text[1024];
            const ssize_t n = ::read(fds[1].fd, text, sizeof text);
            if (n > 0) {
                const std::size_t keep = std::min(static_cast<std::size_t>(n),
                                                  kMostStderrBytes - ending.stderrText.size());
                ending.stderrText.append(text, keep);
            } else if (n == 0 || errno != EINTR) {
                ::close(fds[1].fd);
                fds[1].fd = -1;
            }
        }
    }
    if (ending.tookTooLong || stopped) {
        ::kill(child, SIGKILL);
    }
    for (const pollfd& f : fds) {
        if (f.fd >= 0) {
            ::close(f.fd); // a child still writing gets SIGPIPE and ends
        }
    }
    int status = 0;
    while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    if (WIFSIGNALED(status) && !ending.tookTooLong) {
        const int signal = WTERMSIG(status);
        ending.tookTooLong = signal == SIGXCPU;
        ending.interrupted = signal == SIGTERM || signal == SIGINT || signal == SIGHUP;
        ending.how = signalEnding(signal);
    }
    ending.exitedCleanly = WIFEXITED(status) && WEXITSTATUS(status) == 0 && !stopped;
    return verdict(answer, ending, mapName);
}

#endif

} // namespace maparchive
