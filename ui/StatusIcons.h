#pragma once
// The small status discs of the alarm list: one 13 by 13 image per kind, drawn
// by the program so that no image files have to ship with it.

#include <QIcon>
#include <QPixmap>

#include <cstdint>

class CStatusIcons {
public:
    // The strip's order: undefined, a spare white disc with a black dot that
    // no status uses, then yellow, cyan, green and red.
    enum Index { Undefined = 0, Spare = 1, Yellow = 2, Cyan = 3, Green = 4, Red = 5, Count = 6 };
    static constexpr int kSize = 13;

    // New red, Acknowledged yellow, Finished green, Info cyan, anything
    // else undefined.
    static Index ForStatus(uint8_t status);
    static QPixmap Pixmap(Index index);
    static QIcon Icon(Index index);
};
