#pragma once
// The caps-, num- and scroll-lock states of the keyboard. Qt has no portable
// way to read them; on X11 they are the keyboard's named indicators, read
// through the keyboard extension of the display the windows run on.

#include <optional>

struct LockKeyStates {
    bool caps = false;
    bool num = false;
    bool scroll = false;
};

class CLockKeys {
public:
    // The states now; nothing where the platform cannot tell (anything but
    // an X11 display, or a display without the keyboard extension).
    static std::optional<LockKeyStates> Read();
};
