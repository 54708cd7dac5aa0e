// The lock keys as the X11 display tells them: the test locks and unlocks the
// keyboard's modifiers on the display itself and reads the indicators back.
// It runs on an X11 display (ctest starts it under Xvfb); elsewhere it skips.

#include "ui/LockKeys.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QtGui/qguiapplication_platform.h>

// After the Qt headers: Xlib's macros clash with names Qt uses.
#include <X11/XKBlib.h>
#include <X11/keysym.h>

#include <cstdlib>
#include <optional>

namespace {

Display* X11Display()
{
    if (QGuiApplication::platformName() != QLatin1String("xcb"))
        return nullptr;
    auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    return x11 ? x11->display() : nullptr;
}

void Lock(Display* display, unsigned int mask, bool on)
{
    XkbLockModifiers(display, XkbUseCoreKbd, mask, on ? mask : 0);
    XSync(display, False);
}

struct LockCase {
    const char* name;
    unsigned int (*mask)(Display*);
    bool LockKeyStates::*state;
};

TEST(LockKeysTest, IndicatorsFollowTheLockedModifiers)
{
    Display* display = X11Display();
    if (display == nullptr)
        GTEST_SKIP() << "no X11 display";

    const LockCase cases[] = {
        {"caps", [](Display*) -> unsigned int { return LockMask; }, &LockKeyStates::caps},
        {"num", [](Display* d) { return XkbKeysymToModifiers(d, XK_Num_Lock); }, &LockKeyStates::num},
    };
    for (const LockCase& c : cases) {
        const unsigned int mask = c.mask(display);
        ASSERT_NE(mask, 0u) << c.name;
        for (bool on : {true, false}) {
            Lock(display, mask, on);
            const std::optional<LockKeyStates> states = CLockKeys::Read();
            ASSERT_TRUE(states.has_value()) << c.name;
            EXPECT_EQ((*states).*(c.state), on) << c.name;
        }
    }
}

}  // namespace

int main(int argc, char** argv)
{
    QApplication application(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
