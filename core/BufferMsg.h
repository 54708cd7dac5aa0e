#pragma once
// Base of the byte-oriented messages (modem link frames, telephone requests).

#include "core/Msg.h"

#include <array>
#include <cstdint>

class CBufferMsg : public CMsg {
public:
    static constexpr int kDataSize = 256;

    CBufferMsg() = default;
    explicit CBufferMsg(uint16_t msgType) : CMsg(msgType) {}

    std::array<uint8_t, kDataSize> data{};  // payload, all zero at construction
    int16_t length = 0;                     // used payload bytes; meaning set by the derived message
    std::array<int32_t, 4> params{};        // auxiliary parameters
};
