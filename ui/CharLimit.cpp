#include "ui/CharLimit.h"

#include <QPlainTextEdit>
#include <QTextCursor>

#include <algorithm>

namespace charlimit {

int Count(const QString& text)
{
    int count = 0;
    for (const QChar c : text) {
        if (!c.isLowSurrogate())
            ++count;
    }
    return count;
}

qsizetype UnitsOf(const QString& text, int chars)
{
    qsizetype units = 0;
    for (int seen = 0; units < text.size() && seen < chars; ++seen)
        units += (text.at(units).isHighSurrogate() && units + 1 < text.size()) ? 2 : 1;
    return units;
}

QString Left(const QString& text, int chars)
{
    return text.left(UnitsOf(text, chars));
}

Difference Differ(const QString& before, const QString& after)
{
    qsizetype front = 0;
    const qsizetype shorter = std::min(before.size(), after.size());
    while (front < shorter && before.at(front) == after.at(front))
        ++front;
    if (front > 0 && after.at(front - 1).isHighSurrogate())
        --front;
    qsizetype back = 0;
    while (back < shorter - front && before.at(before.size() - 1 - back) == after.at(after.size() - 1 - back))
        ++back;
    if (back > 0 && after.at(after.size() - back).isLowSurrogate())
        --back;
    return {front, back};
}

QString KeepWithin(const QString& before, const QString& after, int limit, int* cursor)
{
    const Difference change = Differ(before, after);
    const QString head = after.left(change.front);
    const QString tail = after.right(change.back);
    const QString piece = after.mid(change.front, after.size() - change.front - change.back);
    const int room = std::max(0, limit - Count(head) - Count(tail));
    const QString kept = Left(piece, room);
    if (cursor != nullptr)
        *cursor = static_cast<int>(head.size() + kept.size());
    return head + kept + tail;
}

void TrimInsertion(QPlainTextEdit& edit, qsizetype front, qsizetype added, qsizetype kept)
{
    QTextCursor cursor(edit.document());
    cursor.joinPreviousEditBlock();
    cursor.setPosition(static_cast<int>(front + kept));
    cursor.setPosition(static_cast<int>(front + added), QTextCursor::KeepAnchor);
    cursor.removeSelectedText();
    cursor.endEditBlock();
    QTextCursor shown = edit.textCursor();
    shown.setPosition(static_cast<int>(front + kept));
    edit.setTextCursor(shown);
}

}  // namespace charlimit
