#include "core/SignalLevel.h"

int16_t SignalPercent(int level)
{
    // One step of 0.75 is 5 percent. The GSM modem's "not known" (99) reads
    // as full.
    if (level < 5)
        return 0;
    if (level > 20)
        return 100;
    return static_cast<int16_t>(5 * ((level - 5) * 4 / 3));
}
