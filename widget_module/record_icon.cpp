#include "record_icon.h"

#include <QPainter>
#include <QPixmap>

QIcon record_icon(bool recording)
{
    QIcon icon;
    for (const int size : {18, 36}) {
        QPixmap pixmap(size, size);
        pixmap.fill(Qt::transparent);
        QPainter p(&pixmap);
        p.setRenderHint(QPainter::Antialiasing);
        const qreal pen = size / 9.0;
        const QRectF outer(pen / 2, pen / 2, size - pen, size - pen);
        p.setPen(QPen(QColor(230, 230, 230), pen));
        p.setBrush(Qt::NoBrush);
        p.drawEllipse(outer);
        p.setPen(Qt::NoPen);
        p.setBrush(recording ? QColor(230, 40, 40) : QColor(170, 170, 170));
        const qreal inset = size * 0.28;
        p.drawEllipse(outer.adjusted(inset - pen / 2, inset - pen / 2, pen / 2 - inset, pen / 2 - inset));
        p.end();
        icon.addPixmap(pixmap);
    }
    return icon;
}
