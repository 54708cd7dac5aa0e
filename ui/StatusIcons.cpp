#include "ui/StatusIcons.h"

#include "messages/AlarmInfoMsg.h"

#include <QColor>
#include <QPainter>

CStatusIcons::Index CStatusIcons::ForStatus(uint8_t status)
{
    switch (status) {
    case ALARMSTATUS_NEW:
        return Red;
    case ALARMSTATUS_ACKNOWLEDGED:
        return Yellow;
    case ALARMSTATUS_FINISHED:
        return Green;
    case ALARMSTATUS_INFO:
        return Cyan;
    default:
        return Undefined;
    }
}

QPixmap CStatusIcons::Pixmap(Index index)
{
    static const QColor fills[Count] = {
        Qt::white, Qt::white, QColor(255, 255, 0), QColor(0, 255, 255), QColor(0, 192, 0), QColor(255, 0, 0),
    };
    const int which = (index >= 0 && index < Count) ? index : Undefined;

    QPixmap pixmap(kSize, kSize);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(QColor(64, 64, 64), 1));
    painter.setBrush(fills[which]);
    painter.drawEllipse(QRectF(0.5, 0.5, kSize - 1, kSize - 1));
    painter.setPen(Qt::NoPen);
    if (which == Undefined) {
        painter.setBrush(QColor(255, 0, 0));
        painter.drawRect(QRect(4, 4, 5, 5));
    } else if (which == Spare) {
        painter.setBrush(Qt::black);
        painter.drawEllipse(QRectF(4.5, 4.5, 4, 4));
    }
    painter.end();
    return pixmap;
}

QIcon CStatusIcons::Icon(Index index)
{
    return QIcon(Pixmap(index));
}
