// Writes a PNG of one top-level window of the X display, found by the start
// of its title (as `xwininfo -root -tree` lists it), or of the whole screen.
//
//   orva_grab_window --window PREFIX --out FILE.png
//   orva_grab_window --id 0x400006 --out FILE.png     (a window by its X id)
//   orva_grab_window --screen --out FILE.png
//
// (Not --title: Qt takes -title and --title for itself.)
//
// Exit status 0 when the picture was written, 1 when the window was not
// found or the file could not be written, 2 for a wrong command line.

#include <QGuiApplication>
#include <QPixmap>
#include <QProcess>
#include <QRegularExpression>
#include <QScreen>

#include <cstdio>

namespace {

// The id of the window whose title begins with prefix, or 0; of several, the
// last listed, which is the one on top (the newest).
WId FindWindow(const QString& prefix)
{
    QProcess xwininfo;
    xwininfo.start(QStringLiteral("xwininfo"), {QStringLiteral("-root"), QStringLiteral("-tree")});
    if (!xwininfo.waitForFinished(10000))
        return 0;
    const QString listing = QString::fromUtf8(xwininfo.readAllStandardOutput());
    WId id = 0;
    // e.g.:      0x200007 "Alarm": ("orva" "orva")  620x540+10+10  +10+10
    static const QRegularExpression line(QStringLiteral("^\\s*(0x[0-9a-fA-F]+) \"(.*)\": .*\\s(\\d+)x(\\d+)[+-]"));
    for (const QString& text : listing.split(QLatin1Char('\n'))) {
        const QRegularExpressionMatch match = line.match(text);
        if (!match.hasMatch() || !match.captured(2).startsWith(prefix))
            continue;
        if (match.captured(3).toInt() < 50 || match.captured(4).toInt() < 50)
            continue;  // not the frame itself
        bool ok = false;
        const WId candidate = match.captured(1).toULongLong(&ok, 16);
        if (ok)
            id = candidate;
    }
    return id;
}

}  // namespace

int main(int argc, char** argv)
{
    QGuiApplication application(argc, argv);
    QString title;
    QString out;
    bool wholeScreen = false;
    WId windowId = 0;
    const QStringList args = QGuiApplication::arguments();
    for (int i = 1; i < args.size(); ++i) {
        if (args[i] == QLatin1String("--window") && i + 1 < args.size())
            title = args[++i];
        else if (args[i] == QLatin1String("--out") && i + 1 < args.size())
            out = args[++i];
        else if (args[i] == QLatin1String("--id") && i + 1 < args.size()) {
            bool ok = false;
            windowId = args[++i].toULongLong(&ok, 0);
            if (!ok || windowId == 0) {
                std::fprintf(stderr, "orva_grab_window: %s is no window id\n", qPrintable(args[i]));
                return 2;
            }
        } else if (args[i] == QLatin1String("--screen"))
            wholeScreen = true;
        else {
            std::fprintf(stderr, "usage: orva_grab_window (--window PREFIX | --id ID | --screen) --out FILE.png\n");
            return 2;
        }
    }
    if (out.isEmpty() || (title.isEmpty() && windowId == 0 && !wholeScreen)) {
        std::fprintf(stderr, "usage: orva_grab_window (--window PREFIX | --id ID | --screen) --out FILE.png\n");
        return 2;
    }
    WId id = windowId;
    if (!wholeScreen && id == 0) {
        id = FindWindow(title);
        if (id == 0) {
            std::fprintf(stderr, "orva_grab_window: no window titled \"%s...\"\n", qPrintable(title));
            return 1;
        }
    }
    const QPixmap picture = QGuiApplication::primaryScreen()->grabWindow(id);
    if (picture.isNull() || !picture.save(out, "PNG")) {
        std::fprintf(stderr, "orva_grab_window: %s could not be written\n", qPrintable(out));
        return 1;
    }
    return 0;
}
