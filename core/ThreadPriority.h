#pragma once
// Raising the calling thread one step above its current priority, for the
// threads that must keep a device's timing (the modem link).

// Lowers the calling thread's nice value by one. False when the system
// refuses (an unprivileged process may not raise priorities; errno tells why).
bool RaiseThreadPriority();
