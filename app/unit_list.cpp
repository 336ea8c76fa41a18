#include "app/unit_list.h"

#include <QFile>

UnitList::UnitList(QWidget* parent) : QPlainTextEdit(parent), text_(unitListText()) {
    setReadOnly(true);
    // Read-only still scrolls and selects from the keyboard, as the list did.
    setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    setFocusPolicy(Qt::StrongFocus);
    setTabChangesFocus(true);
    setUndoRedoEnabled(false);
    setLineWrapMode(QPlainTextEdit::WidgetWidth);
    // A Windows edit box keeps about two pixels between its frame and the
    // text, not Qt's four: with Windows' wider scroll bar the four cost
    // "30 = Siege Tank(Siege mode)" its one line.
    document()->setDocumentMargin(2);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setPlainText(text_);
}

QString unitListText() {
    QFile file(QStringLiteral(":/unit_list.txt"));
    if (!file.open(QIODevice::ReadOnly)) {
        return {};
    }
    // Read as bytes: a text-mode read would fold the CR LF line ends.
    return QString::fromLatin1(file.readAll());
}
