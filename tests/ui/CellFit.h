#pragma once
// Whether a list shows a cell's text or a column's title whole, judged the
// way the style draws them: a cell's text gets the cell less its icon and the
// text margins on both sides; a title is drawn in bold with the header margins
// and, when the list shows one, the sort mark beside it.

#include <QApplication>
#include <QFont>
#include <QFontMetrics>
#include <QHeaderView>
#include <QStyle>
#include <QStyleOptionViewItem>
#include <QStyledItemDelegate>
#include <QTreeWidget>

#include "dictionary/Dictionary.h"

#include <ostream>
#include <string>

namespace cellfit {

// The delegate's option set-up is protected; this one is only asked for it.
class OptionReader : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::initStyleOption;
};

// True when the cell's text would be cut short (drawn with an ellipsis).
inline bool CellTextCut(const QTreeWidget& list, QTreeWidgetItem* item, int column)
{
    const QModelIndex index = list.indexFromItem(item, column);
    QStyleOptionViewItem option;
    option.initFrom(&list);
    option.font = list.font();
    option.fontMetrics = QFontMetrics(list.font());
    option.decorationSize = list.iconSize();
    option.decorationPosition = QStyleOptionViewItem::Left;
    option.displayAlignment = Qt::AlignLeft | Qt::AlignVCenter;
    option.showDecorationSelected = true;
    OptionReader reader;
    reader.initStyleOption(&option, index);
    option.rect = QRect(0, 0, list.columnWidth(column), list.fontMetrics().height() * 2);
    QStyle* style = list.style();
    const QRect textRect = style->subElementRect(QStyle::SE_ItemViewItemText, &option, &list);
    const int textMargin = style->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, &list) + 1;
    return QFontMetrics(option.font).horizontalAdvance(option.text) > textRect.width() - 2 * textMargin;
}

// True when the column's title would not fit beside the margins and sort mark.
inline bool TitleCut(const QTreeWidget& list, int column)
{
    const QHeaderView* header = list.header();
    QFont bold = header->font();
    bold.setBold(true);
    const QFontMetrics metrics(bold);
    const int margin = header->style()->pixelMetric(QStyle::PM_HeaderMargin, nullptr, header);
    int needed = metrics.horizontalAdvance(list.headerItem()->text(column)) + 2 * margin;
    if (header->isSortIndicatorShown())
        needed += header->style()->pixelMetric(QStyle::PM_HeaderMarkSize, nullptr, header) + margin;
    return needed > list.columnWidth(column);
}

// One language and font a list is tried in: 0 pixels is the application's
// own font, more a large one.
struct FitCase {
    const char* language;
    int pixelSize;
};

inline void PrintTo(const FitCase& c, std::ostream* os)
{
    *os << c.language << " " << c.pixelSize;
}

// Every language, in the usual font and in a large one.
inline const FitCase kFitCases[] = {{"en", 0},  {"de", 0},  {"fr", 0},  {"se", 0},
                                    {"en", 22}, {"de", 22}, {"fr", 22}, {"se", 22}};

inline std::string FitCaseName(const FitCase& c)
{
    return std::string(c.language) + (c.pixelSize > 0 ? "Large" : "");
}

// The case's language and font for as long as it lives; English and the
// application's font again afterwards.
class ScopedFitCase {
public:
    explicit ScopedFitCase(const FitCase& c)
    {
        CDictionary::Instance().SetLanguage(c.language);
        if (c.pixelSize > 0) {
            QFont large = QApplication::font();
            large.setPixelSize(c.pixelSize);
            QApplication::setFont(large);
        }
    }
    ~ScopedFitCase()
    {
        QApplication::setFont(normalFont);
        CDictionary::Instance().SetLanguage("en");
    }
    ScopedFitCase(const ScopedFitCase&) = delete;
    ScopedFitCase& operator=(const ScopedFitCase&) = delete;

private:
    QFont normalFont = QApplication::font();
};

}  // namespace cellfit
