#pragma once

#include "base/outcome.h"
#include "trigfile/series_writer.h"
#include "trigfile/trigger_file.h"

#include <QString>

#include <cstdint>
#include <filesystem>
#include <functional>

class QWidget;

// Runs work on a thread of its own while the window goes on repainting, as
// runInBackground below does, under a progress box of that title. work must
// not throw.
void runWithProgress(QWidget* owner, const QString& title, std::uint64_t totalRecords,
                     const std::function<void(trigfile::WriteProgress&)>& work);

// The same for work whose length is known only once it ends (the triggers
// of a file being read): the box's bar only shows that the work goes on, and
// its label is label(progress.recordsWritten), how far it has come.
void runWithProgress(QWidget* owner, const QString& title,
                     const std::function<QString(std::uint64_t)>& label,
                     const std::function<void(trigfile::WriteProgress&)>& work);

// The progress box's title while a series is added to target: what it
// does, and to which file ("Adding to Castle.scx").
QString addingTitle(const std::filesystem::path& target);

// Runs work on a thread of its own while the window goes on repainting.
// Until the progress box appears, keys and clicks wait, so nothing else can
// start; after that the box is modal and its Cancel button asks work to stop.
base::Outcome<base::Done>
runInBackground(QWidget* owner, std::uint64_t totalRecords,
                const std::function<base::Outcome<base::Done>(trigfile::WriteProgress&)>& work);
