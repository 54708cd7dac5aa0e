#pragma once
// The GSM modem's serial port in the GSM handler tests: a pseudo-terminal
// that watches its slave, so a test knows which bytes wait for the reader.

#include "support/Pty.h"

class GsmPty : public Pty {
public:
    GsmPty() : Pty(Watch::Slave) {}
};
