#include "app/qt_platform.h"

#include "app/background_write.h"
#include "app/listing_view.h"
#include "maparchive/add_to_map.h"

#include <QAbstractItemView>
#include <QDialog>
#include <QDialogButtonBox>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

QMessageBox::StandardButton toQt(MessageAnswer answer) {
    switch (answer) {
    case MessageAnswer::Yes:
        return QMessageBox::Yes;
    case MessageAnswer::No:
        return QMessageBox::No;
    case MessageAnswer::Ok:
        break;
    }
    return QMessageBox::Ok;
}

QMessageBox::Icon toQt(MessageIcon icon) {
    switch (icon) {
    case MessageIcon::Warning:
        return QMessageBox::Warning;
    case MessageIcon::Critical:
        return QMessageBox::Critical;
    case MessageIcon::None:
        break;
    }
    return QMessageBox::NoIcon;
}

// Qt wraps a message at spaces and after slashes only, so a long file name
// without either ran off the box's edge and was cut. A zero-width space
// (invisible, a place where a line may break) every so many characters of
// such a run lets it wrap; words of ordinary text are never that long.
QString wrappable(const QString& text) {
    constexpr int kLongestRun = 32;
    QString out;
    out.reserve(text.size() + text.size() / kLongestRun);
    int run = 0;
    for (const QChar c : text) {
        if (run >= kLongestRun && !c.isSpace() && !c.isLowSurrogate()) {
            out += QChar(0x200B);
            run = 0;
        }
        out += c;
        run = c.isSpace() || c == QLatin1Char('/') || c == QLatin1Char('\\') ? 0 : run + 1;
    }
    return out;
}

} // namespace

MessageAnswer QtPlatform::showMessage(const MessageRequest& request) {
    const QMessageBox::StandardButtons buttons = request.buttons == MessageButtons::YesNo
                                                     ? QMessageBox::Yes | QMessageBox::No
                                                     : QMessageBox::Ok;
    QMessageBox box(toQt(request.icon), request.title, wrappable(request.text), buttons, owner_);
    box.setTextFormat(Qt::PlainText);
    box.setDefaultButton(toQt(request.defaultButton));
    // Closing a Yes/No box by its title bar or Esc must not count as Yes.
    if (request.buttons == MessageButtons::YesNo) {
        box.setEscapeButton(QMessageBox::No);
    }
    switch (box.exec()) {
    case QMessageBox::Yes:
        return MessageAnswer::Yes;
    case QMessageBox::No:
        return MessageAnswer::No;
    default:
        return request.buttons == MessageButtons::YesNo ? MessageAnswer::No : MessageAnswer::Ok;
    }
}

std::optional<QString> QtPlatform::chooseSaveFile(const SaveRequest& request) {
    QFileDialog dialog(owner_, request.title);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    // Create asks its own question before replacing a file.
    dialog.setOption(QFileDialog::DontConfirmOverwrite);
    dialog.setOption(QFileDialog::HideNameFilterDetails);
    dialog.setNameFilter(qtNameFilter(request.filter));
    const QFileInfo start(initialSavePath(request));
    dialog.setDirectory(start.absolutePath());
    dialog.selectFile(start.fileName());
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) {
        return std::nullopt;
    }
    const QString chosen = dialog.selectedFiles().constFirst();
    if (chosen.isEmpty()) {
        return std::nullopt;
    }
    return chosen;
}

std::optional<QString> QtPlatform::chooseOpenFile(const OpenRequest& request) {
    QFileDialog dialog(owner_, request.title);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setOption(QFileDialog::HideNameFilterDetails);
    dialog.setNameFilter(qtNameFilter(request.filter));
    dialog.setDirectory(request.folder);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) {
        return std::nullopt;
    }
    return dialog.selectedFiles().constFirst();
}

MessageDialogueAnswer QtPlatform::editMessage(const MessageDialogueRequest& request) {
    MessageDialog dialog(request, owner_);
    dialog.exec();
    return dialog.answer();
}

ListingAnswer QtPlatform::showListing(const ListingRequest& request) {
    QDialog dialog(owner_);
    dialog.setWindowTitle(request.title);
    auto* layout = new QVBoxLayout(&dialog);
    QAbstractItemView* text = makeListingView(request.text, &dialog);
    text->setObjectName(QStringLiteral("listing"));
    // Screen readers name the box after its dialogue, as the unit list is named.
    text->setAccessibleName(request.title);
    text->setAccessibleDescription(QStringLiteral(
        "The triggers in words: a summary line for each series and each other trigger, then "
        "the details of each trigger"));
    layout->addWidget(text);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, &dialog);
    if (request.offerFill) {
        QPushButton* fill = buttons->addButton(QStringLiteral("&Fill the window with this series"),
                                               QDialogButtonBox::AcceptRole);
        fill->setObjectName(QStringLiteral("fill"));
    }
    QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    layout->addWidget(buttons);
    dialog.resize(720, 480);
    return dialog.exec() == QDialog::Accepted ? ListingAnswer::Fill : ListingAnswer::Close;
}

QString initialSaveFolder() {
#ifdef Q_OS_WIN
    return QStringLiteral("C:/");
#else
    return QDir::homePath();
#endif
}

QString qtNameFilter(const QString& filter) {
    const qsizetype bar = filter.indexOf(QLatin1Char('|'));
    if (bar < 0) {
        return filter;
    }
    return filter.left(bar) + QStringLiteral(" (") + filter.mid(bar + 1) + QLatin1Char(')');
}

QString initialSavePath(const SaveRequest& request) {
    const QFileInfo name(request.fileName);
    if (name.isAbsolute()) {
        return request.fileName;
    }
    return QDir(request.folder).filePath(request.fileName);
}
