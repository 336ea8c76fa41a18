#pragma once

#include "app/platform.h"

#include <QString>

// The folder every file dialogue opens in: the one a file was last chosen
// in, by any of them, since a map author works inside one map's folder for
// hours. It is kept in the platform's usual settings store (QSettings), so
// the next run starts there too.
class RememberedFolder {
  public:
    // fallback: where the dialogues open before any file was ever chosen,
    // or when the folder remembered is gone.
    explicit RememberedFolder(const QString& fallback);

    QString folder() const { return folder_; }

    // Sets a dialogue to open in the folder; the save dialogue keeps the
    // name chosen last, without its folder.
    void offerTo(OpenRequest& dialogue) const;
    void offerTo(SaveRequest& dialogue) const;

    // Remembers the folder of what a dialogue returned, if it returned
    // anything: the commands keep the chosen folder or name in its request.
    void keepFrom(const OpenRequest& dialogue);
    void keepFrom(const SaveRequest& dialogue);

  private:
    void keep(const QString& folder);

    QString folder_;
};
