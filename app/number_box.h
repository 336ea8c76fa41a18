#pragma once

#include <QLineEdit>

class QPainter;

// One of the window's five number boxes. It accepts any characters up to its
// character limit; reading the text as a number is the reader's business.
//
// A multi-line box takes Enter as a line break of two characters, CR LF,
// that it carries in its text and counts against the limit, so "12" and
// Enter hold "12\r\n" and still read as 12. A single-line box ignores Enter.
// A multi-line box shows its text as lines, the caret's line in the middle
// of the box, and Backspace and Delete take a line break out whole.
class NumberBox : public QLineEdit {
    Q_OBJECT

  public:
    enum class Lines { Single, Multi };

    NumberBox(Lines lines, int characterLimit, QWidget* parent = nullptr);

    int characterLimit() const { return limit_; }
    // A lower limit does not cut a longer text already in the box; that text
    // only cannot grow until it is within the new limit.
    void setCharacterLimit(int limit);

    bool isMultiLine() const { return lines_ == Lines::Multi; }
    void setCaretPosition(int position) { setCursorPosition(position); }

  signals:
    // After every change of the text, typed or set by the program.
    void changed();

  protected:
    void keyPressEvent(QKeyEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;

  private:
    void applyLimit();
    bool takeOutLineBreak(const QKeyEvent* event);

    // The text as the box shows it: lines split at CR LF, with the caret's
    // line in the middle. Positions are those of text().
    struct Line {
        int start;
        int length;
    };
    bool showsLines() const;
    QList<Line> textLines() const;
    int lineOf(int position, const QList<Line>& lines) const;
    QRect textArea() const;
    int firstLineTop(const QList<Line>& lines) const;
    int lineLeft(const Line& line) const;
    QString shown(const Line& line) const;
    int positionAt(const QPoint& point) const;
    void drawLines(QPainter& painter) const;

    Lines lines_;
    int limit_;
    int anchor_ = 0; // where a mouse selection over several lines began
};
