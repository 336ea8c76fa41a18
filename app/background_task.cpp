#include "app/background_task.h"

#include <QEventLoop>
#include <QProgressDialog>
#include <QTimer>

#include <atomic>
#include <memory>
#include <thread>

namespace {

// How often the box's label catches up with the work.
constexpr int kLabelMs = 100;

} // namespace

void runUnderBusyBox(Platform& platform, const QString& title,
                     const std::function<QString(std::uint64_t)>& label,
                     const std::function<void(trigfile::WriteProgress&)>& work) {
    trigfile::WriteProgress progress;
    std::atomic<bool> finished{false};
    QEventLoop loop;
    std::thread worker([&] {
        work(progress);
        finished.store(true);
        // The end is told to the window's thread rather than polled for.
        QMetaObject::invokeMethod(
            &loop, [&loop] { loop.quit(); }, Qt::QueuedConnection);
    });

    std::unique_ptr<QProgressDialog> dialog;
    QTimer relabel;
    relabel.setInterval(kLabelMs);
    QObject::connect(&relabel, &QTimer::timeout, [&] {
        if (dialog && !progress.cancelRequested.load()) {
            dialog->setLabelText(label(progress.recordsWritten.load()));
        }
    });
    QTimer::singleShot(trigfile::kProgressDelayMs, &loop, [&] {
        if (finished.load()) {
            return;
        }
        dialog = std::make_unique<QProgressDialog>(label(progress.recordsWritten.load()),
                                                   QStringLiteral("Cancel"), 0, 0,
                                                   platform.dialogueOwner());
        dialog->setWindowTitle(title);
        dialog->setWindowModality(Qt::ApplicationModal);
        dialog->setMinimumDuration(0);
        dialog->setMinimumWidth(360);
        dialog->setAutoClose(false);
        dialog->setAutoReset(false);
        QObject::connect(dialog.get(), &QProgressDialog::canceled, [&] {
            progress.cancelRequested.store(true);
            dialog->setLabelText(QStringLiteral("Stopping..."));
        });
        dialog->show();
        relabel.start();
        loop.quit(); // go on with user input, now held off by the modal box
        // Queued, so that it runs outside this call and the box keeps counting.
        QTimer::singleShot(0, dialog.get(), [&] { platform.progressShown(*dialog); });
    });

    loop.exec(QEventLoop::ExcludeUserInputEvents);
    if (!finished.load() && dialog) {
        loop.exec();
    }
    relabel.stop();
    // The loops only return early when the application quits (SIGTERM, say):
    // the work is cancelled then, and the program ends once it has stopped.
    if (!finished.load()) {
        progress.cancelRequested.store(true);
    }
    worker.join();
}
