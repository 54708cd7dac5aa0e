#include "ui/MessagePanel.h"

#include <QPainter>

CMessagePanel::CMessagePanel(QWidget* parent) : QWidget(parent)
{
    setCursor(Qt::ArrowCursor);
    setMinimumHeight(fontMetrics().height() + 8);
}

void CMessagePanel::SetBkColor(const QColor& color)
{
    background = color;
    update();
}

void CMessagePanel::SetText(const QString& newText)
{
    text = newText;
    update();
}

void CMessagePanel::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.fillRect(rect(), background);
    if (text.isEmpty())
        return;
    QFont bold = font();
    bold.setBold(true);
    painter.setFont(bold);
    painter.setPen(Qt::white);
    painter.drawText(rect(), Qt::AlignCenter | Qt::TextSingleLine, text);
}

void CMessagePanel::resizeEvent(QResizeEvent*)
{
    update();
}
