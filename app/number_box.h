#pragma once

#include <QLineEdit>

// One of the window's five number boxes. It accepts any characters up to its
// character limit; reading the text as a number is the reader's business.
//
// A multi-line box takes Enter as a line break of two characters, CR LF,
// that it carries in its text and counts against the limit, so "12" and
// Enter hold "12\r\n" and still read as 12. A single-line box ignores Enter.
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

  private:
    void applyLimit();

    Lines lines_;
    int limit_;
};
