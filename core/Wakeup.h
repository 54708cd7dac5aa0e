#pragma once
// A descriptor a thread can wait on together with a serial port or a socket
// (poll), and that another thread makes readable to wake it: the worker's
// input queue signals it for every message and the run flag when it drops.

class CWakeup {
public:
    CWakeup();
    ~CWakeup();
    CWakeup(const CWakeup&) = delete;
    CWakeup& operator=(const CWakeup&) = delete;

    // Makes the descriptor readable until the next Clear. Thread-safe.
    void Signal();
    // Reads the signals given so far; called by the waiting thread after it woke.
    void Clear();
    // -1 when the system refused the descriptor: then waiting falls back to
    // the time-out alone and nothing is lost, only later.
    int Fd() const { return fd; }

private:
    int fd = -1;
};
