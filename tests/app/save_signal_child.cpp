// A small program that starts the way Tallyforge starts (the same signal
// settings, the same application object) and saves a series through the
// same background write, so that save_signal_test can send it signals and
// limits as a user's shell would. Its output says how the write ended.
//
//   save_signal_child wait-for-cancel FILE   stops after the first chunk until
//                                            the write is cancelled
//   save_signal_child limit-reached FILE     lowers the file-size limit below
//                                            the file after the first chunk

#include "app/background_write.h"
#include "app/process_signals.h"

#include "trigfile/kill_reward_settings.h"
#include "trigfile/trigger_file.h"
#include "trigfile/trigger_series.h"

#include <QApplication>
#include <QTimer>

#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <functional>
#include <memory>
#include <thread>
#include <variant>

namespace {

// Does something once the first chunk has reached the file.
class AfterFirstChunk : public trigfile::ByteSink {
  public:
    AfterFirstChunk(trigfile::ByteSink& file, std::function<void(std::uint64_t)> then)
        : file_(file), then_(std::move(then)) {}
    void write(const std::uint8_t* data, std::size_t size) override {
        file_.write(data, size);
        written_ += size;
        if (then_ && written_ > trigfile::kPreambleSize) {
            std::exchange(then_, nullptr)(written_);
        }
    }

  private:
    trigfile::ByteSink& file_;
    std::function<void(std::uint64_t)> then_;
    std::uint64_t written_ = 0;
};

} // namespace

int main(int argc, char** argv) {
    processsignals::install();
    QApplication app(argc, argv);
    processsignals::watch(app);
    if (argc != 3) {
        std::fprintf(stderr, "usage: save_signal_child wait-for-cancel|limit-reached FILE\n");
        return 64;
    }
    const bool waitForCancel = std::strcmp(argv[1], "wait-for-cancel") == 0;
    const std::filesystem::path target = argv[2];

    trigfile::KillRewardSettings settings =
        trigfile::readSettings(trigfile::BoxTexts{"1000", "1", "100", "", "0"});
    settings.players[0] = trigfile::CheckValue::Ticked;
    const auto series = trigfile::planSeries(trigfile::normalise(settings)).value();

    int status = 3;
    QTimer::singleShot(0, &app, [&] {
        const auto outcome =
            runInBackground(nullptr, series.recordCount, [&](trigfile::WriteProgress& progress) {
                return trigfile::writeTriggerFile(
                    target, series, &progress, [&](trigfile::ByteSink& file) {
                        return std::make_unique<AfterFirstChunk>(file, [&](std::uint64_t written) {
                            if (!waitForCancel) {
                                rlimit limit{};
                                ::getrlimit(RLIMIT_FSIZE, &limit);
                                limit.rlim_cur = written;
                                ::setrlimit(RLIMIT_FSIZE, &limit);
                                return;
                            }
                            std::printf("writing\n");
                            std::fflush(stdout);
                            for (int i = 0; i < 20000 && !progress.cancelRequested.load(); ++i) {
                                std::this_thread::sleep_for(std::chrono::milliseconds(1));
                            }
                        });
                    });
            });
        status = outcome.ok() ? 0 : outcome.is(base::Problem::Kind::Failed) ? 2 : 1;
        std::printf("%s\n", outcome.reason().c_str());
        std::fflush(stdout);
        QCoreApplication::exit(status);
    });
    return processsignals::finish(app.exec());
}
