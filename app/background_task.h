#pragma once

#include "app/platform.h"
#include "trigfile/series_writer.h"

#include <QString>

#include <cstdint>
#include <functional>

// Runs work on a thread of its own while the window goes on repainting, for
// work whose length is known only once it ends (the triggers of a file being
// read). As with runWithProgress, keys and clicks wait until the progress
// box appears, half a second on; the box then is modal, its Cancel sets
// progress.cancelRequested, and the platform is told it is up. Its bar only
// shows that the work goes on; its label says how far it has come,
// label(progress.recordsWritten). work must not throw.
void runUnderBusyBox(Platform& platform, const QString& title,
                     const std::function<QString(std::uint64_t)>& label,
                     const std::function<void(trigfile::WriteProgress&)>& work);
