#include "app/number_box.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QStyle>
#include <QStyleOptionFrame>

#include <algorithm>

namespace {
const QString kLineBreak = QStringLiteral("\r\n");
} // namespace

NumberBox::NumberBox(Lines lines, int characterLimit, QWidget* parent)
    : QLineEdit(parent), lines_(lines), limit_(characterLimit) {
    setAlignment(Qt::AlignCenter);
    applyLimit();
    connect(this, &QLineEdit::textChanged, this, [this] {
        applyLimit();
        emit changed();
    });
    if (isMultiLine()) {
        // The caret's line decides what the box shows.
        connect(this, &QLineEdit::cursorPositionChanged, this, [this] { update(); });
        connect(this, &QLineEdit::selectionChanged, this, [this] { update(); });
    }
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
    if (takeOutLineBreak(event)) {
        return;
    }
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
        insert(kLineBreak);
    }
}

bool NumberBox::takeOutLineBreak(const QKeyEvent* event) {
    const bool backspace = event->key() == Qt::Key_Backspace;
    const bool del = event->key() == Qt::Key_Delete;
    if (!isMultiLine() || isReadOnly() || hasSelectedText() ||
        event->modifiers() != Qt::NoModifier || !(backspace || del)) {
        return false;
    }
    const int caret = cursorPosition();
    const int from = backspace ? caret - 2 : caret;
    if (from < 0 || text().mid(from, 2) != kLineBreak) {
        return false;
    }
    setSelection(from, 2);
    this->del();
    return true;
}

bool NumberBox::showsLines() const {
    return isMultiLine() && text().contains(kLineBreak);
}

QList<NumberBox::Line> NumberBox::textLines() const {
    QList<Line> lines;
    const QString all = text();
    int start = 0;
    for (int at = static_cast<int>(all.indexOf(kLineBreak)); at >= 0;
         at = static_cast<int>(all.indexOf(kLineBreak, start))) {
        lines.append({start, at - start});
        start = at + 2;
    }
    lines.append({start, static_cast<int>(all.size()) - start});
    return lines;
}

int NumberBox::lineOf(int position, const QList<Line>& lines) const {
    int line = 0;
    while (line + 1 < lines.size() && position >= lines[line + 1].start) {
        ++line;
    }
    return line;
}

QRect NumberBox::textArea() const {
    QStyleOptionFrame panel;
    initStyleOption(&panel);
    const QMargins margins = textMargins();
    return style()
        ->subElementRect(QStyle::SE_LineEditContents, &panel, this)
        .adjusted(margins.left() + 2, margins.top() + 1, -margins.right() - 2,
                  -margins.bottom() - 1);
}

int NumberBox::firstLineTop(const QList<Line>& lines) const {
    const QFontMetrics metrics(font());
    const QRect area = textArea();
    const int caretLine = lineOf(cursorPosition(), lines);
    return area.top() + (area.height() - metrics.height()) / 2 - caretLine * metrics.lineSpacing();
}

QString NumberBox::shown(const Line& line) const {
    // Other control characters show as blanks, as on a single line.
    QString part = text().mid(line.start, line.length);
    for (QChar& c : part) {
        if (c.unicode() < 0x20 && c != u'\t') {
            c = u' ';
        }
    }
    return part;
}

int NumberBox::lineLeft(const Line& line) const {
    const QRect area = textArea();
    return area.left() + (area.width() - fontMetrics().horizontalAdvance(shown(line))) / 2;
}

int NumberBox::positionAt(const QPoint& point) const {
    const QList<Line> lines = textLines();
    const int spacing = QFontMetrics(font()).lineSpacing();
    const int row = std::clamp((point.y() - firstLineTop(lines)) / std::max(spacing, 1), 0,
                               static_cast<int>(lines.size()) - 1);
    const Line& line = lines[row];
    const QString part = shown(line);
    const int x = point.x() - lineLeft(line);
    int column = 0;
    while (column < line.length) {
        const int middle = (fontMetrics().horizontalAdvance(part.left(column)) +
                            fontMetrics().horizontalAdvance(part.left(column + 1))) /
                           2;
        if (x < middle) {
            break;
        }
        ++column;
    }
    return line.start + column;
}

void NumberBox::paintEvent(QPaintEvent* event) {
    if (!showsLines()) {
        QLineEdit::paintEvent(event);
        return;
    }
    QPainter painter(this);
    QStyleOptionFrame panel;
    initStyleOption(&panel);
    style()->drawPrimitive(QStyle::PE_PanelLineEdit, &panel, &painter, this);
    drawLines(painter);
}

void NumberBox::drawLines(QPainter& painter) const {
    const QList<Line> lines = textLines();
    const QFontMetrics metrics(font());
    const QRect area = textArea();
    painter.setClipRect(area);
    painter.setFont(font());
    const int pickedFrom = hasSelectedText() ? selectionStart() : -1;
    const int pickedTo = hasSelectedText() ? selectionEnd() : -1;
    int top = firstLineTop(lines);
    for (const Line& line : lines) {
        const QString part = shown(line);
        const int left = lineLeft(line);
        const int baseline = top + metrics.ascent();
        painter.setPen(palette().color(QPalette::Text));
        painter.drawText(left, baseline, part);
        const int from = std::clamp(pickedFrom - line.start, 0, line.length);
        const int to = std::clamp(pickedTo - line.start, 0, line.length);
        if (to > from) {
            const int x = left + metrics.horizontalAdvance(part.left(from));
            const QString picked = part.mid(from, to - from);
            painter.fillRect(QRect(x, top, metrics.horizontalAdvance(picked), metrics.height()),
                             palette().brush(QPalette::Highlight));
            painter.setPen(palette().color(QPalette::HighlightedText));
            painter.drawText(x, baseline, picked);
        }
        const int caret = cursorPosition();
        if (hasFocus() && caret >= line.start && caret <= line.start + line.length) {
            const int x = left + metrics.horizontalAdvance(part.left(caret - line.start));
            painter.fillRect(QRect(x, top, 1, metrics.height()), palette().brush(QPalette::Text));
        }
        top += metrics.lineSpacing();
    }
}

void NumberBox::mousePressEvent(QMouseEvent* event) {
    if (!showsLines() || event->button() != Qt::LeftButton) {
        QLineEdit::mousePressEvent(event);
        return;
    }
    event->accept();
    const int position = positionAt(event->position().toPoint());
    if (event->modifiers() & Qt::ShiftModifier) {
        setSelection(anchor_, position - anchor_);
        return;
    }
    anchor_ = position;
    setCursorPosition(position);
}

void NumberBox::mouseMoveEvent(QMouseEvent* event) {
    if (!showsLines() || !(event->buttons() & Qt::LeftButton)) {
        QLineEdit::mouseMoveEvent(event);
        return;
    }
    event->accept();
    setSelection(anchor_, positionAt(event->position().toPoint()) - anchor_);
}

void NumberBox::mouseDoubleClickEvent(QMouseEvent* event) {
    if (!showsLines()) {
        QLineEdit::mouseDoubleClickEvent(event);
        return;
    }
    mousePressEvent(event);
}
