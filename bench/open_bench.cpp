// Measures the window's File > Open of big trigger files: the time from
// pressing Open to the listing painted, against `tallyforge-cli show` of the
// same file; the longest the window's thread went without running a 10 ms
// timer meanwhile; and the peak memory of a fresh window process per file.
//
//   tallyforge_open_bench [--folder DIR] [--cli PATH] [--repeats N] [--sizes 100000,300000]
//
// --sizes gives the big files' trigger counts; the file of one trigger is
// always measured first. --cli defaults to the build tree's tallyforge-cli.
//
// Each file holds one-trigger series in reverse order (the last threshold
// first), the longest listing a file of that size makes: six lines a
// trigger. A file of one trigger (twelve lines) shows what the window costs
// by itself. The window runs offscreen, in a child process per run, with a
// platform of its own that answers the open dialogue with the file and, when
// the listing box is asked for, paints the real listing view once and closes.

#include "app/frm_tallyforge.h"
#include "app/listing_text.h"
#include "app/listing_view.h"
#include "app/platform.h"
#include "trigfile/kill_reward_settings.h"
#include "trigfile/trigger_record.h"

#include <QAbstractItemView>
#include <QAction>
#include <QApplication>
#include <QSettings>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

using Clock = std::chrono::steady_clock;
double seconds(Clock::duration d) {
    return std::chrono::duration<double>(d).count();
}

// The peak resident set of this process so far, in KiB; it starts afresh
// with each program exec'd (see memory_bench.cpp).
unsigned long long peakResidentKiB() {
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);) {
        if (line.rfind("VmHWM:", 0) == 0) {
            return std::stoull(line.substr(6));
        }
    }
    return 0;
}

// `triggers` one-trigger series of Zergling kills, the highest threshold
// first: what `create --every 1 --up-to N --unit Zergling --ore 100 --player 1`
// writes, with its records reversed.
void writeReversedFile(const fs::path& target, std::uint32_t triggers) {
    trigfile::KillRewardSettings s =
        trigfile::readSettings(trigfile::BoxTexts{std::to_string(triggers), "1", "100", "", "37"});
    s.actionKind = trigfile::ActionKind::Money;
    s.players[0] = trigfile::CheckValue::Ticked;
    const trigfile::SeriesPlan plan = trigfile::planSeries(trigfile::normalise(s));
    if (!plan.ok()) {
        throw std::runtime_error("the series was refused: " + plan.reason());
    }
    std::ofstream out(target, std::ios::binary | std::ios::trunc);
    const trigfile::Preamble preamble = trigfile::encodePreamble();
    out.write(reinterpret_cast<const char*>(preamble.data()), preamble.size());
    for (std::uint32_t i = triggers; i-- > 0;) {
        const trigfile::TriggerRecord record =
            trigfile::encodeRecord(plan->fields, plan->threshold(i));
        out.write(reinterpret_cast<const char*>(record.data()), record.size());
    }
    if (!out.flush()) {
        throw std::runtime_error("could not write " + target.string());
    }
}

// The dialogues of one Open: the file's name for the open dialogue, and the
// listing painted once by the view the real listing box holds.
class BenchPlatform : public Platform {
  public:
    BenchPlatform(QString file, std::function<void(const ListingText&)> listed)
        : file_(std::move(file)), listed_(std::move(listed)) {}
    void setOwner(QWidget* owner) { owner_ = owner; }

    MessageAnswer showMessage(const MessageRequest& request) override {
        std::printf("message: %s\n", qPrintable(request.text));
        std::exit(1);
    }
    std::optional<QString> chooseSaveFile(const SaveRequest&) override { return std::nullopt; }
    std::optional<QString> chooseOpenFile(const OpenRequest&) override { return file_; }
    ListingAnswer showListing(const ListingRequest& request) override {
        QAbstractItemView* view = makeListingView(request.text, owner_);
        view->setWindowFlags(Qt::Dialog);
        view->resize(720, 480);
        view->show();
        view->grab(); // paints it, as the box's first frame does
        listed_(*request.text);
        delete view;
        return ListingAnswer::Close;
    }
    MessageDialogueAnswer editMessage(const MessageDialogueRequest&) override { return {}; }
    QWidget* dialogueOwner() const override { return owner_; }

  private:
    QString file_;
    std::function<void(const ListingText&)> listed_;
    QWidget* owner_ = nullptr;
};

// The child: opens the file in a fresh window and prints what it measured.
int windowChild(int argc, char** argv, const QString& file, const QString& settings) {
    // The offscreen platform warns of every window hint it cannot follow.
    qInstallMessageHandler([](QtMsgType type, const QMessageLogContext&, const QString& text) {
        if (type == QtCriticalMsg || type == QtFatalMsg) {
            std::fprintf(stderr, "%s\n", qPrintable(text));
        }
    });
    QApplication app(argc, argv);
    // The window keeps the folder opened last: in a store of the bench's own.
    QCoreApplication::setOrganizationName(QStringLiteral("Tallyforge bench"));
    QSettings::setDefaultFormat(QSettings::IniFormat);
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, settings);

    Clock::time_point pressed, lastTick, listed;
    Clock::duration longestGap{};
    bool opening = false;
    std::size_t lines = 0;
    BenchPlatform platform(file, [&](const ListingText& text) {
        listed = Clock::now();
        longestGap = std::max(longestGap, listed - lastTick);
        opening = false;
        lines = text.lineCount();
    });
    frmTallyforge window(platform);
    platform.setOwner(&window);
    window.show();

    QTimer tick;
    tick.setTimerType(Qt::PreciseTimer);
    tick.setInterval(10);
    QObject::connect(&tick, &QTimer::timeout, [&] {
        const Clock::time_point now = Clock::now();
        if (opening) {
            longestGap = std::max(longestGap, now - lastTick);
            lastTick = now;
        }
    });
    tick.start();

    unsigned long long before = 0;
    QTimer::singleShot(300, &window, [&] {
        before = peakResidentKiB();
        opening = true;
        pressed = lastTick = Clock::now();
        window.findChild<QAction*>(QStringLiteral("menuopen"))->trigger();
        QCoreApplication::quit();
    });
    app.exec();
    if (lines == 0) {
        std::printf("no listing was shown\n");
        return 1;
    }
    std::printf("lines %zu listed %.6f stall %.6f before %llu peak %llu\n", lines,
                seconds(listed - pressed), seconds(longestGap), before, peakResidentKiB());
    return 0;
}

// Runs a program to its end, its output to `out` (a pipe or /dev/null);
// returns the seconds it took, or throws when it fails.
double run(const std::vector<std::string>& args, int out) {
    std::vector<char*> argv;
    for (const std::string& a : args) {
        argv.push_back(const_cast<char*>(a.c_str()));
    }
    argv.push_back(nullptr);
    const Clock::time_point start = Clock::now();
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::dup2(out, STDOUT_FILENO);
        ::execv(argv[0], argv.data());
        _exit(127);
    }
    int status = 0;
    if (pid < 0 || ::waitpid(pid, &status, 0) != pid || !WIFEXITED(status) ||
        WEXITSTATUS(status) != 0) {
        throw std::runtime_error(args[0] + " " + args[1] + " failed");
    }
    return seconds(Clock::now() - start);
}

struct WindowRun {
    std::size_t lines = 0;
    double listed = 0, stall = 0;
    unsigned long long beforeKiB = 0, peakKiB = 0;
};

// One run of the window in a child process (it writes one line, so the
// pipe never fills before the child ends).
WindowRun runWindow(const std::string& self, const fs::path& file, const fs::path& folder) {
    int ends[2];
    if (::pipe(ends) != 0) {
        throw std::runtime_error("pipe failed");
    }
    std::string failure, text;
    try {
        run({self, "--window-child", file.string(), (folder / "settings").string()}, ends[1]);
    } catch (const std::exception& e) {
        failure = e.what();
    }
    ::close(ends[1]);
    char buf[512];
    for (ssize_t n; (n = ::read(ends[0], buf, sizeof buf)) > 0;) {
        text.append(buf, static_cast<std::size_t>(n));
    }
    ::close(ends[0]);
    WindowRun r;
    std::string tag[5];
    std::istringstream in(text);
    in >> tag[0] >> r.lines >> tag[1] >> r.listed >> tag[2] >> r.stall >> tag[3] >> r.beforeKiB >>
        tag[4] >> r.peakKiB;
    if (!failure.empty() || !in || tag[0] != "lines" || tag[4] != "peak") {
        throw std::runtime_error("the window failed: " + failure + " " + text);
    }
    return r;
}

std::string thousands(std::uint64_t n) {
    std::string reversed;
    for (int digits = 0; digits == 0 || n > 0; ++digits, n /= 10) {
        if (digits > 0 && digits % 3 == 0) {
            reversed += ',';
        }
        reversed += static_cast<char>('0' + n % 10);
    }
    return {reversed.rbegin(), reversed.rend()};
}

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.size() % 2 ? v[v.size() / 2] : (v[v.size() / 2 - 1] + v[v.size() / 2]) / 2;
}

std::string loadAverage() {
    std::ifstream in("/proc/loadavg");
    std::string one, five, fifteen;
    in >> one >> five >> fifteen;
    return one + " " + five + " " + fifteen;
}

int benchMain(int argc, char** argv) {
    const std::string self = fs::read_symlink("/proc/self/exe").string();
    fs::path folder;
    std::string cli = (fs::path(self).parent_path() / "../cli/tallyforge-cli").lexically_normal();
    int repeats = 3;
    std::vector<std::uint32_t> sizes{1, 100'000, 300'000};
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string arg = argv[i], value = argv[i + 1];
        if (arg == "--folder") {
            folder = value;
        } else if (arg == "--cli") {
            cli = value;
        } else if (arg == "--repeats") {
            repeats = std::max(1, std::stoi(value));
        } else if (arg == "--sizes") {
            sizes = {1};
            std::istringstream list(value);
            for (std::string item; std::getline(list, item, ',');) {
                sizes.push_back(static_cast<std::uint32_t>(std::stoul(item)));
            }
        } else {
            throw std::invalid_argument("unknown option " + arg);
        }
    }
    if ((argc - 1) % 2 != 0) {
        throw std::invalid_argument("every option takes a value");
    }
    if (!fs::exists(cli)) {
        throw std::invalid_argument("no tallyforge-cli at " + cli + " (give it with --cli PATH)");
    }
    // A folder of the bench's own goes at the end, even when a run fails:
    // the biggest file is 720 MB.
    struct Removed {
        fs::path folder;
        ~Removed() {
            std::error_code ignored;
            fs::remove_all(folder, ignored);
        }
    } removed;
    if (folder.empty()) {
        std::string pattern = (fs::temp_directory_path() / "tallyforge-open-XXXXXX").string();
        if (!::mkdtemp(pattern.data())) {
            throw std::runtime_error("could not make a temporary folder");
        }
        folder = removed.folder = pattern;
    }
    const int devNull = ::open("/dev/null", O_WRONLY);

    std::printf("File > Open in the window (offscreen) against `tallyforge-cli show FILE > "
                "/dev/null`,\nmedian of %d run(s); peak memory is the largest VmHWM of a fresh "
                "window process.\nLoad average before: %s\n\n",
                repeats, loadAverage().c_str());
    std::printf("| Case | Lines | Time to listing | show | Ratio | Longest stall | Peak memory "
                "(before Open) |\n|---|---|---|---|---|---|---|\n");
    for (const std::uint32_t triggers : sizes) {
        const fs::path file = folder / ("open-" + std::to_string(triggers) + ".trg");
        writeReversedFile(file, triggers);
        run({cli, "show", file.string()}, devNull); // the file in the page cache
        std::vector<double> listed, shown, stalls;
        WindowRun r;
        unsigned long long peak = 0;
        for (int i = 0; i < repeats; ++i) {
            shown.push_back(run({cli, "show", file.string()}, devNull));
            r = runWindow(self, file, folder);
            listed.push_back(r.listed);
            stalls.push_back(r.stall);
            peak = std::max(peak, r.peakKiB);
        }
        fs::remove(file);
        const std::string name =
            triggers == 1 ? "1 trigger" : thousands(triggers) + " one-trigger series";
        std::printf("| %s | %s | %.2f s | %.2f s | %.2fx | %.0f ms | %.1f MiB (%.1f MiB) |\n",
                    name.c_str(), thousands(r.lines).c_str(), median(listed), median(shown),
                    median(listed) / median(shown), median(stalls) * 1000, peak / 1024.0,
                    r.beforeKiB / 1024.0);
        std::fflush(stdout);
    }
    fs::remove_all(folder / "settings");
    std::printf("\nLoad average after: %s\n", loadAverage().c_str());
    ::close(devNull);
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    // Offscreen, here and in the children: the bench needs no display.
    ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    try {
        if (argc == 4 && std::string(argv[1]) == "--window-child") {
            return windowChild(argc, argv, QString::fromLocal8Bit(argv[2]),
                               QString::fromLocal8Bit(argv[3]));
        }
        return benchMain(argc, argv);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "tallyforge_open_bench: %s\n", e.what());
        return 1;
    }
}
