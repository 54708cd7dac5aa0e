#pragma once
// How wide a list column must be so that neither its title nor the longest
// text it can hold is cut short, measured with the list's own font, style and
// icon size: the pixel widths that suited the fonts of old are too narrow for
// today's, and a date cut to "26-12-10 12:2..." cannot be read.

#include <QAbstractItemView>
#include <QChar>
#include <QFontMetrics>
#include <QHeaderView>
#include <QIcon>
#include <QString>
#include <QStringList>
#include <QTreeWidget>

#include <algorithm>

namespace columnfit {

// The text with each digit replaced by the font's widest digit: a time or a
// number of that shape never needs more room.
inline QString WidestDigits(const QString& text, const QFontMetrics& metrics)
{
    QChar widest = QLatin1Char('0');
    for (char digit = '1'; digit <= '9'; ++digit) {
        if (metrics.horizontalAdvance(QLatin1Char(digit)) > metrics.horizontalAdvance(widest))
            widest = QLatin1Char(digit);
    }
    QString wide = text;
    for (QChar& c : wide) {
        if (c.isDigit())
            c = widest;
    }
    return wide;
}

// The width the column needs for its title (with room for the sort mark when
// the list shows one) and for each of the texts, shown with the icon when one
// is given. Measured on a hidden copy of the list's set-up, so the list's own
// rows and widths stay as they are.
inline int FittedColumnWidth(const QTreeWidget& list, int column, const QStringList& texts, const QIcon& icon = QIcon())
{
    QTreeWidget probe;
    probe.setFont(list.font());
    probe.header()->setFont(list.header()->font());
    probe.setIconSize(list.iconSize());
    probe.setRootIsDecorated(list.rootIsDecorated());
    probe.setIndentation(list.indentation());
    probe.setColumnCount(list.columnCount());
    probe.setHeaderItem(list.headerItem()->clone());
    probe.header()->setSortIndicatorShown(list.header()->isSortIndicatorShown());
    for (const QString& text : texts) {
        auto* row = new QTreeWidgetItem(&probe);
        row->setText(column, text);
        if (!icon.isNull())
            row->setIcon(column, icon);
    }
    const int title = probe.header()->sectionSizeHint(column);
    // The tree view's own hint is protected; the item view's is the same call.
    const int contents = texts.isEmpty() ? 0 : static_cast<const QAbstractItemView&>(probe).sizeHintForColumn(column);
    return std::max(title, contents);
}

}  // namespace columnfit
