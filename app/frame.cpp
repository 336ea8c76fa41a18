#include "app/frame.h"

#include <QFontMetrics>
#include <QPainter>

void Frame::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    const QFontMetrics metrics(font());
    const QRect border = rect().adjusted(0, metrics.height() / 2, -1, -1);
    painter.setPen(QColor(128, 128, 128));
    painter.drawRect(border.adjusted(0, 0, -1, -1));
    painter.setPen(Qt::white);
    painter.drawRect(border.adjusted(1, 1, 0, 0));

    const QString caption = title();
    const QRect captionBox(6, 0, metrics.horizontalAdvance(caption) + 4, metrics.height());
    painter.fillRect(captionBox, palette().window());
    painter.setPen(
        palette().color(isEnabled() ? QPalette::Active : QPalette::Disabled, QPalette::WindowText));
    painter.drawText(captionBox, Qt::AlignCenter, caption);
}
