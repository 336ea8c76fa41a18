#include "number_box.h"

#include <QKeyEvent>

#include <algorithm>

NumberBox::NumberBox(Lines lines, int characterLimit, QWidget* parent)
    : QLineEdit(parent), lines_(lines), limit_(characterLimit) {
    setAlignment(Qt::AlignCenter);
    applyLimit();
    connect(this, &QLineEdit::textChanged, this, [this] {
        applyLimit();
        emit changed();
    });
}

void NumberBox::setCharacterLimit(int limit) {
    limit_ = limit;
    applyLimit();
}

void NumberBox::applyLimit() {
    // QLineEdit cuts its text to a lower maximum; the box keeps it instead.
    const int effective = std::max(limit_, static_cast<int>(text().size()));
    if (maxLength() != effective) {
        setMaxLength(effective);
    }
}

void NumberBox::keyPressEvent(QKeyEvent* event) {
    const bool enter = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
    const bool plain = (event->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier;
    if (!enter || !plain) {
        QLineEdit::keyPressEvent(event);
        return;
    }
    event->accept();
    if (!isMultiLine() || isReadOnly()) {
        return;
    }
    // The line break goes in whole or not at all.
    const qsizetype after = text().size() - selectedText().size() + 2;
    if (after <= maxLength()) {
        insert(QStringLiteral("\r\n"));
    }
}
