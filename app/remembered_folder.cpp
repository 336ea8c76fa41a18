#include "app/remembered_folder.h"

#include <QFileInfo>
#include <QSettings>

namespace {

constexpr char kFolderKey[] = "dialogues/folder";

} // namespace

RememberedFolder::RememberedFolder(const QString& fallback) : folder_(fallback) {
    const QString kept = QSettings().value(QLatin1String(kFolderKey)).toString();
    if (!kept.isEmpty() && QFileInfo(kept).isDir()) {
        folder_ = kept;
    }
}

void RememberedFolder::offerTo(OpenRequest& dialogue) const {
    dialogue.folder = folder_;
}

void RememberedFolder::offerTo(SaveRequest& dialogue) const {
    dialogue.folder = folder_;
    dialogue.fileName = QFileInfo(dialogue.fileName).fileName();
}

void RememberedFolder::keepFrom(const OpenRequest& dialogue) {
    keep(dialogue.folder);
}

void RememberedFolder::keepFrom(const SaveRequest& dialogue) {
    const QFileInfo chosen(dialogue.fileName);
    if (chosen.isAbsolute()) {
        keep(chosen.absolutePath());
    }
}

void RememberedFolder::keep(const QString& folder) {
    if (folder.isEmpty() || folder == folder_) {
        return;
    }
    folder_ = folder;
    QSettings().setValue(QLatin1String(kFolderKey), folder_);
}
