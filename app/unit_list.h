#pragma once

#include <QPlainTextEdit>
#include <QString>

// The read-only reference list of unit numbers. The box shows the lines as
// paragraphs; listText() is the list exactly as the program ships it, lines
// joined by CR LF with one after the last line.
class UnitList : public QPlainTextEdit {
    Q_OBJECT

  public:
    explicit UnitList(QWidget* parent = nullptr);

    const QString& listText() const { return text_; }

  private:
    QString text_;
};

// The unit reference list from the program's resources.
QString unitListText();
