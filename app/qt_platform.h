#pragma once

#include "app/platform.h"

#include <QPointer>
#include <QWidget>

// The real dialogues: QMessageBox, QFileDialog and the listing box, owned by
// the main window.
class QtPlatform : public Platform {
  public:
    void setOwner(QWidget* owner) { owner_ = owner; }

    MessageAnswer showMessage(const MessageRequest& request) override;
    std::optional<QString> chooseSaveFile(const SaveRequest& request) override;
    std::optional<QString> chooseOpenFile(const OpenRequest& request) override;
    ListingAnswer showListing(const ListingRequest& request) override;
    QWidget* dialogueOwner() const override { return owner_; }

  private:
    QPointer<QWidget> owner_;
};

// Where the save dialogue opens when it has no folder of its own yet: the
// root of drive C on Windows, the home folder on systems without drives.
QString initialSaveFolder();

// A "description|pattern" filter in the form QFileDialog reads. The pattern is
// kept as given (so "*.trg*" also lists names whose extension only begins
// with trg) while the dialogue shows the description alone.
QString qtNameFilter(const QString& filter);

// The path the dialogue opens with: the name as it is when it holds a folder
// (the name chosen last), otherwise the name inside the initial folder.
QString initialSavePath(const SaveRequest& request);
