#include "app/option_button.h"

#include <QButtonGroup>
#include <QKeyEvent>

OptionButton::OptionButton(const QString& caption, QWidget* parent)
    : QRadioButton(caption, parent) {
    connect(this, &QAbstractButton::toggled, this, [this](bool selected) {
        if (selected) {
            giveTabStopToSelected();
        }
    });
}

void OptionButton::giveTabStopToSelected() {
    QButtonGroup* buttons = group();
    if (buttons == nullptr || buttons->checkedButton() == nullptr) {
        return;
    }
    for (QAbstractButton* button : buttons->buttons()) {
        button->setFocusPolicy(button == buttons->checkedButton() ? Qt::StrongFocus
                                                                  : Qt::ClickFocus);
    }
}

void OptionButton::focusInEvent(QFocusEvent* event) {
    // Qt hands the Tab stop to whichever button of a group has the focus,
    // selected or not; the group keeps it on its selected button instead.
    QRadioButton::focusInEvent(event);
    giveTabStopToSelected();
}

void OptionButton::keyPressEvent(QKeyEvent* event) {
    int step = 0;
    switch (event->key()) {
    case Qt::Key_Left:
    case Qt::Key_Up:
        step = -1;
        break;
    case Qt::Key_Right:
    case Qt::Key_Down:
        step = 1;
        break;
    default:
        break;
    }
    const bool plain = (event->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier;
    if (step == 0 || !plain || group() == nullptr) {
        QRadioButton::keyPressEvent(event);
        return;
    }
    event->accept();
    QList<QAbstractButton*> shown;
    for (QAbstractButton* button : group()->buttons()) {
        if (button->isVisibleTo(window()) && button->isEnabled()) {
            shown << button;
        }
    }
    const qsizetype here = shown.indexOf(this);
    if (here < 0 || shown.size() < 2) {
        return;
    }
    QAbstractButton* next = shown[(here + step + shown.size()) % shown.size()];
    next->setChecked(true);
    next->setFocus(Qt::OtherFocusReason);
}
