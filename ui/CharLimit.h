#pragma once
// Length limits of the windows' text fields count characters (code points),
// as the database and the alarm texts do; a QString counts UTF-16 units, two
// for a character beyond the basic plane. A cut never splits such a pair.

#include <QString>

class QPlainTextEdit;

namespace charlimit {

// The number of characters of the text.
int Count(const QString& text);
// The UTF-16 units that hold the first `chars` characters of the text.
qsizetype UnitsOf(const QString& text, int chars);
// The first `chars` characters of the text.
QString Left(const QString& text, int chars);
// Where an edit changed a text: the units `before` and `after` have in
// common at the front and at the back, never ending inside a surrogate pair.
// What the edit put in is the middle of `after`.
struct Difference {
    qsizetype front;
    qsizetype back;
};
Difference Differ(const QString& before, const QString& after);
// A change from `before` to `after`, seen as one piece replaced between a
// common start and a common end, with only that piece cut so that the text
// keeps within `limit` characters (as the length limit of an edit field
// does with typing and pasting). `cursor`, when given, gets the position
// after what was kept. The result is still longer than the limit when the
// common start and end alone are (a text that was too long already).
QString KeepWithin(const QString& before, const QString& after, int limit, int* cursor);

// Takes out of a multi-line field what an edit put in beyond the first
// `kept` of the `added` units it inserted at `front`, as part of the same
// undo step, and leaves the cursor after what was kept.
void TrimInsertion(QPlainTextEdit& edit, qsizetype front, qsizetype added, qsizetype kept);

}  // namespace charlimit
