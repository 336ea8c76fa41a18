#pragma once

#include <QPushButton>

// A command button that Enter and keypad Enter press while it has the focus,
// as Space does, the way users of desktop programs expect.
class CommandButton : public QPushButton {
    Q_OBJECT

  public:
    CommandButton(const QString& caption, QWidget* parent) : QPushButton(caption, parent) {}

  protected:
    void keyPressEvent(QKeyEvent* event) override;
};
