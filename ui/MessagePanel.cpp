#include "ui/MessagePanel.h"

#include <QPainter>

CMessagePanel::CMessagePanel(QWidget* parent) : QWidget(parent)
{
    setCursor(Qt::ArrowCursor);
    setMinimumHeight(fontMetrics().height() + 8);
}

QFont CMessagePanel::TextFont() const
{
    QFont bold = font();
    bold.setBold(true);
    return bold;
}

QSize CMessagePanel::minimumSizeHint() const
{
    const QFontMetrics metrics(TextFont());
    return {metrics.horizontalAdvance(text) + 2 * metrics.averageCharWidth(), metrics.height() + 8};
}

QSize CMessagePanel::sizeHint() const
{
    return minimumSizeHint();
}

void CMessagePanel::SetBkColor(const QColor& color)
{
    background = color;
    update();
}

void CMessagePanel::SetText(const QString& newText)
{
    text = newText;
    updateGeometry();
    update();
}

void CMessagePanel::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.fillRect(rect(), background);
    if (text.isEmpty())
        return;
    painter.setFont(TextFont());
    painter.setPen(Qt::white);
    painter.drawText(rect(), Qt::AlignCenter | Qt::TextSingleLine, text);
}

void CMessagePanel::resizeEvent(QResizeEvent*)
{
    update();
}
