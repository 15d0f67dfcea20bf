#include "mainwindow/KestrinIcon.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

namespace kestrin {

QIcon KestrinIcon()
{
    QIcon icon;
    for (const int size : {16, 22, 32, 48, 64}) {
        QPixmap pixmap(size, size);
        pixmap.fill(Qt::transparent);
        QPainter painter(&pixmap);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setPen(Qt::NoPen);
        painter.setBrush(QColor(0x1f, 0x5f, 0x8b));
        painter.drawEllipse(QRectF(0.5, 0.5, size - 1.0, size - 1.0));
        // A test tube: the laboratory's work, one glance in the notification area.
        const qreal s = size / 32.0;
        QPainterPath tube;
        tube.addRoundedRect(QRectF(13 * s, 5 * s, 6 * s, 21 * s), 3 * s, 3 * s);
        painter.setBrush(Qt::white);
        painter.drawPath(tube);
        painter.setBrush(QColor(0xf2, 0xa9, 0x00));
        painter.drawRoundedRect(QRectF(13 * s, 16 * s, 6 * s, 10 * s), 3 * s, 3 * s);
        icon.addPixmap(pixmap);
    }
    return icon;
}

} // namespace kestrin
