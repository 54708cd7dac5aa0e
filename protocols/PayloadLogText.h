#pragma once
// How the protocol codecs write a frame's payload to the telephone log.

#include "messages/ComMsg.h"

#include <string>

enum class LogBase { Decimal, Hex };

// The first count payload bytes of the frame, each as a number in the base
// (hex in capitals, no leading zeros) followed by one space: "0 2 1 ",
// "4 A 1 ". No bytes give an empty text.
std::string PayloadLogText(const CComMsg& frame, int count, LogBase base);
