#include "ui/LockKeys.h"

#include <QGuiApplication>

#if defined(ORVA_HAVE_X11)
#include <QtGui/qguiapplication_platform.h>

// After the Qt headers: Xlib defines macros (None, Bool, Status) that Qt
// itself uses as names.
#include <X11/XKBlib.h>
#endif

namespace {

#if defined(ORVA_HAVE_X11) && QT_CONFIG(xcb)
// One indicator by its name; nothing when the keyboard has no such indicator.
std::optional<bool> NamedIndicator(Display* display, Atom name)
{
    Bool on = False;
    if (name == 0 || !XkbGetNamedIndicator(display, name, nullptr, &on, nullptr, nullptr))
        return std::nullopt;
    return on != False;
}
#endif

}  // namespace

std::optional<LockKeyStates> CLockKeys::Read()
{
#if defined(ORVA_HAVE_X11) && QT_CONFIG(xcb)
    if (QGuiApplication::platformName() != QLatin1String("xcb"))
        return std::nullopt;
    auto* x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    Display* display = x11 ? x11->display() : nullptr;
    if (display == nullptr)
        return std::nullopt;
    // The names are the same for the whole run of the program on its one
    // display; asking the server once is enough.
    static const Atom caps = XInternAtom(display, "Caps Lock", False);
    static const Atom num = XInternAtom(display, "Num Lock", False);
    static const Atom scroll = XInternAtom(display, "Scroll Lock", False);
    const std::optional<bool> capsOn = NamedIndicator(display, caps);
    const std::optional<bool> numOn = NamedIndicator(display, num);
    const std::optional<bool> scrollOn = NamedIndicator(display, scroll);
    if (!capsOn && !numOn && !scrollOn)
        return std::nullopt;
    return LockKeyStates{capsOn.value_or(false), numOn.value_or(false), scrollOn.value_or(false)};
#else
    return std::nullopt;
#endif
}
