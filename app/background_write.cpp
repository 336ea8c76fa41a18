#include "app/background_write.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QProgressDialog>
#include <QTimer>

#include <algorithm>
#include <atomic>
#include <climits>
#include <exception>
#include <memory>
#include <thread>

namespace {

constexpr int kPollMs = 30;

QString progressLabel(std::uint64_t written, std::uint64_t total) {
    return QString::fromStdString(trigfile::progressText(written, total));
}

} // namespace

base::Outcome<base::Done>
runInBackground(QWidget* owner, std::uint64_t totalRecords,
                const std::function<base::Outcome<base::Done>(trigfile::WriteProgress&)>& work) {
    std::optional<base::Outcome<base::Done>> outcome;
    runWithProgress(owner, QStringLiteral("Creating the file"), totalRecords,
                    [&](trigfile::WriteProgress& progress) { outcome = work(progress); });
    return *outcome;
}

QString addingTitle(const std::filesystem::path& target) {
    return QStringLiteral("Adding to %1")
        .arg(QString::fromStdU16String(target.filename().u16string()));
}

namespace {

// totalRecords 0: a length not known beforehand, shown as a busy bar.
void runUnderProgressBox(QWidget* owner, const QString& title, std::uint64_t totalRecords,
                         const std::function<QString(std::uint64_t)>& label,
                         const std::function<void(trigfile::WriteProgress&)>& work) {
    trigfile::WriteProgress progress;
    std::atomic<bool> finished{false};
    QEventLoop loop;
    std::thread worker([&] {
        work(progress);
        finished.store(true);
        // The end is told to the window's thread at once, so that a short
        // read or write does not wait for the next poll.
        QMetaObject::invokeMethod(
            &loop, [&loop] { loop.quit(); }, Qt::QueuedConnection);
    });

    QElapsedTimer clock;
    clock.start();
    std::unique_ptr<QProgressDialog> dialog;
    // A series holds at most 16,777,215 triggers, well inside the box's int range.
    const int total = static_cast<int>(std::min<std::uint64_t>(totalRecords, INT_MAX));

    QTimer poll;
    poll.setInterval(kPollMs);
    QObject::connect(&poll, &QTimer::timeout, [&] {
        if (finished.load()) {
            loop.quit();
            return;
        }
        const std::uint64_t written = progress.recordsWritten.load();
        if (!dialog && clock.elapsed() >= trigfile::kProgressDelayMs) {
            dialog = std::make_unique<QProgressDialog>(label(written), QStringLiteral("Cancel"), 0,
                                                       total, owner);
            dialog->setWindowTitle(title);
            dialog->setWindowModality(Qt::ApplicationModal);
            dialog->setMinimumDuration(0);
            dialog->setMinimumWidth(360); // room for "Writing trigger 16,777,215 of 16,777,215..."
            dialog->setAutoClose(false);
            dialog->setAutoReset(false);
            QObject::connect(dialog.get(), &QProgressDialog::canceled, [&] {
                progress.cancelRequested.store(true);
                dialog->setLabelText(QStringLiteral("Stopping..."));
            });
            dialog->show();
            loop.quit(); // go on with user input, now held off by the modal box
        }
        if (dialog && !progress.cancelRequested.load()) {
            if (total > 0) {
                dialog->setValue(static_cast<int>(std::min<std::uint64_t>(written, INT_MAX)));
            }
            dialog->setLabelText(label(written));
        }
    });
    poll.start();

    loop.exec(QEventLoop::ExcludeUserInputEvents);
    if (!finished.load()) {
        loop.exec();
    }
    poll.stop();
    // The loops only return early when the application quits (SIGTERM, say):
    // the write is cancelled then, so that it removes its temporary file and
    // keeps the old file, and the program ends once it has.
    if (!finished.load()) {
        progress.cancelRequested.store(true);
    }
    worker.join();
}

} // namespace

void runWithProgress(QWidget* owner, const QString& title, std::uint64_t totalRecords,
                     const std::function<void(trigfile::WriteProgress&)>& work) {
    runUnderProgressBox(
        owner, title, totalRecords,
        [totalRecords](std::uint64_t written) { return progressLabel(written, totalRecords); },
        work);
}

void runWithProgress(QWidget* owner, const QString& title,
                     const std::function<QString(std::uint64_t)>& label,
                     const std::function<void(trigfile::WriteProgress&)>& work) {
    runUnderProgressBox(owner, title, 0, label, work);
}
