#pragma once
// Byte-level access to one serial line, used by both modem protocols. The
// port is opened for exclusive use, in raw 8N1 mode, and never blocks on
// reads: the protocol threads poll ReadByte and run their own time-outs, and
// wait for the line with WaitReadable (or their own poll on Fd) in between.
// Reads take whatever has arrived into a small buffer, so a frame costs one
// system call, not one per byte.
//
// Port numbers are the COM numbers the operators know (1 to 255). Port N is
// the device $ORVA_COM_DIR/COM<N> when that variable is set (udev links, or a
// scratch folder in the tests); otherwise COM1-32 are /dev/ttyS0-31, COM33-64
// /dev/ttyUSB0-31, COM65-96 /dev/ttyACM0-31, and COM97-255 have no device.
//
// One SerialPort object is used by one thread at a time.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

// Results of SerialPort::Open.
inline constexpr int COMRET_OK = 0;               // open and configured
inline constexpr int COMRET_BAD_PORT = 1;         // number outside 1 to 255; no device touched
inline constexpr int COMRET_OPEN_FAILED = 2;      // absent, or in use by another program or object
inline constexpr int COMRET_STATE_FAILED = 3;     // line settings refused (not a tty, bad baud rate)
inline constexpr int COMRET_TIMEOUTS_FAILED = 4;  // read time-outs (VMIN/VTIME) refused

class SerialPort {
public:
    SerialPort() = default;
    ~SerialPort();  // closes the port
    SerialPort(const SerialPort&) = delete;
    SerialPort& operator=(const SerialPort&) = delete;

    // Both take effect at the next Open.
    void SetPortNumber(int16_t number) { portNumber = number; }
    void SetBaudRate(int32_t baud) { baudRate = baud; }
    int16_t GetPortNumber() const { return portNumber; }
    int32_t GetBaudRate() const { return baudRate; }
    bool IsOpen() const { return fd >= 0; }

    // Opens and configures the port; returns one of the COMRET_ codes. An
    // object that is already open is closed first, so Open always means
    // "(re)open with the current number and baud rate" and IsOpen() is true
    // exactly when Open returned COMRET_OK. When configuration fails the
    // device is closed again, so the port is not left locked.
    int Open();
    // Safe to call when not open.
    void Close();

    // 0 when the byte was handed to the driver, 1 otherwise (not open, line
    // error, or the driver accepted nothing for about two seconds, e.g.
    // hardware flow control held off).
    int WriteByte(uint8_t b);
    // Never waits. 1: one byte read into b; 0: nothing waiting; 2: the port is
    // not open, the line was hung up (adapter unplugged) or reading failed.
    int ReadByte(uint8_t& b);
    // Writes the bytes in as few calls as the driver allows; 0 when all were
    // handed to it, 1 otherwise (as WriteByte, the two seconds counted from
    // the last progress).
    int Write(const uint8_t* bytes, std::size_t count);

    // Bytes already read from the line and not yet taken by ReadByte: the
    // descriptor does not show them, so a reader looks here before it waits.
    bool HasBufferedInput() const { return readPos < readEnd; }
    std::size_t BufferedInput() const { return readEnd - readPos; }
    // Waits up to ms for something to read (or for the line to break);
    // returns at once when input is buffered. On the tests' clock it looks
    // without waiting and sleeps one millisecond on that clock.
    void WaitReadable(uint32_t ms);
    // The descriptor, for a thread that waits on it with others (-1: closed).
    int Fd() const { return fd; }

private:
    static constexpr std::size_t kReadBufferSize = 256;

    int fd = -1;
    uint8_t readBuffer[kReadBufferSize] = {};
    std::size_t readPos = 0;
    std::size_t readEnd = 0;
    int16_t portNumber = 0;
    int32_t baudRate = 9600;
};

// The device behind a port number; empty for numbers that have none.
std::string ComDevicePath(int portNumber);

// 0: the port does not exist; 1: it exists but is in use (also by this very
// program) or access is denied; 2: it exists and is free.
int ProbePort(int portNumber);

// One port offered in the settings windows.
struct ComPortEntry {
    int number;
    std::string label;  // "COM<number>"
    bool operator==(const ComPortEntry&) const = default;
};

// Every port 1 to 255 that exists, in ascending order, whether free or in use
// (ports this program has open stay in the list).
std::vector<ComPortEntry> ListComPorts();
// The same with another probe (results as ProbePort); an empty probe means
// ProbePort.
std::vector<ComPortEntry> ListComPorts(const std::function<int(int)>& probe);
