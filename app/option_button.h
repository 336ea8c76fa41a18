#pragma once

#include <QRadioButton>

// An option button that behaves as in any desktop program once it is in a
// QButtonGroup: the group is one Tab stop, at its selected button, and the
// arrow keys select the next or previous shown button of the group as they
// move the focus, round the end of the group, so every option can be chosen
// from the keyboard.
class OptionButton : public QRadioButton {
    Q_OBJECT

  public:
    OptionButton(const QString& caption, QWidget* parent);

  protected:
    void keyPressEvent(QKeyEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;

  private:
    // Only the selected button of the group takes the focus on Tab.
    void giveTabStopToSelected();
};
