#pragma once
// The radio signal of a modem as the percent the operator sees. Both modems
// report a level where 5 is no usable signal and 20 and above is full.

#include <cstdint>

// 0 below 5, 100 above 20, in steps of 5 percent for every 0.75 in between.
int16_t SignalPercent(int level);
