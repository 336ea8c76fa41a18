#pragma once

#include <QGroupBox>

// A frame as the window draws it on black: an etched grey and white border
// with the caption standing in the top line, whatever the widget style draws
// for a group box (most styles draw a black line on a black ground).
class Frame : public QGroupBox {
    Q_OBJECT

  public:
    Frame(const QString& caption, QWidget* parent) : QGroupBox(caption, parent) {}

  protected:
    void paintEvent(QPaintEvent* event) override;
};
