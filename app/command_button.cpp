#include "app/command_button.h"

#include <QKeyEvent>

void CommandButton::keyPressEvent(QKeyEvent* event) {
    const bool enter = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
    const bool plain = (event->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier;
    if (!enter || !plain) {
        QPushButton::keyPressEvent(event);
        return;
    }
    event->accept();
    // Qt presses a button on Enter only when it is a default button, which
    // would also draw it thicker; the window has none.
    if (isEnabled()) {
        click();
    }
}
