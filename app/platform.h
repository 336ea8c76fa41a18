#pragma once

#include "app/message_dialog.h"

#include <QFile>
#include <QString>

#include <filesystem>
#include <memory>
#include <optional>

class ListingText;
class QWidget;

// The modal parts of the desktop that the window and the Create command use.
// The program shows real Qt dialogues through QtPlatform; the tests answer
// from a script instead, so no test ever waits on a real modal box.

// A path from a dialogue as the file system takes it: UTF-16 on Windows, the
// system's encoding of file names elsewhere.
inline std::filesystem::path nativePath(const QString& path) {
#ifdef Q_OS_WIN
    return std::filesystem::path(path.toStdWString());
#else
    return std::filesystem::path(QFile::encodeName(path).toStdString());
#endif
}

enum class MessageButtons { Ok, YesNo };
enum class MessageIcon { None, Warning, Critical };
enum class MessageAnswer { Ok, Yes, No };

struct MessageRequest {
    QString text; // lines joined by CR LF
    QString title;
    MessageButtons buttons = MessageButtons::Ok;
    MessageIcon icon = MessageIcon::None;
    MessageAnswer defaultButton = MessageAnswer::Ok;
};

// The settings of the save dialogue, kept by the window between Creates:
// fileName is what the dialogue returned last, so the next Create offers it.
struct SaveRequest {
    QString title;
    QString fileName;
    QString folder;
    QString filter; // "description|pattern", one entry
};

// The open dialogue: where it starts and which files it lists.
struct OpenRequest {
    QString title;
    QString folder;
    QString filter; // "description|pattern", patterns separated by blanks
};

// The listing box: a read-only text the user can scroll and copy, and, when
// offerFill is set, a button that fills the window with the file's series.
// The text is kept in a temporary file (see ListingText), which the box
// reads a screenful at a time.
struct ListingRequest {
    QString title;
    std::shared_ptr<const ListingText> text;
    bool offerFill = false;
};
enum class ListingAnswer { Close, Fill };

class Platform {
  public:
    virtual ~Platform() = default;

    // Shows a modal message box and returns the button pressed.
    virtual MessageAnswer showMessage(const MessageRequest& request) = 0;

    // Shows the modal save dialogue; nothing when the user cancels it.
    virtual std::optional<QString> chooseSaveFile(const SaveRequest& request) = 0;

    // Shows the modal open dialogue; nothing when the user cancels it.
    virtual std::optional<QString> chooseOpenFile(const OpenRequest& request) = 0;

    // Shows the modal listing box and returns how the user left it.
    virtual ListingAnswer showListing(const ListingRequest& request) = 0;

    // Shows the modal "Reward message" dialogue and returns the user's choice.
    virtual MessageDialogueAnswer editMessage(const MessageDialogueRequest& request) = 0;

    // The window that modal boxes belong to; none in tests.
    virtual QWidget* dialogueOwner() const { return nullptr; }
};
