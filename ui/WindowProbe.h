#pragma once
// A test hook: when the environment names a file in ORVA_WINDOW_PROBE, the
// station writes a JSON description of its windows there twice a second, for
// the screenshot check that runs it on a virtual display. Each window with
// its title, native id, geometry (with and without the frame), whether it is
// visible and active; every text its visible widgets show (labels, buttons,
// menus, list titles and cells, ...); and for every list, whether each column
// is wide enough for its title and for each of its texts. The stacking of the
// windows is the window manager's business and is read from the display by
// the check itself, through the native ids.
//
// Pictures: when a file named like the description with ".grab" added
// appears, holding a folder name, the probe renders every visible window into
// that folder as <native id in hex>.png (drawn by the window itself, so a
// window covered by another is still pictured whole) and removes the file.
//
// Nothing happens when the variable is not set.

#include <QJsonObject>
#include <QObject>
#include <QString>
#include <QTimer>

class QWidget;

class CWindowProbe : public QObject {
public:
    // Starts the probe when ORVA_WINDOW_PROBE is set and the application has
    // windows; the probe belongs to the application object.
    static void InstallFromEnvironment();

    CWindowProbe(QString path, QObject* parent);

    // The description of every top-level window as it is now.
    static QJsonObject Describe();
    // Writes it to the file (atomically: a reader never sees half of it).
    bool Write() const;
    // Renders every visible window into folder; false when one failed.
    static bool Picture(const QString& folder);

private:
    void Tick();

    QString path;
    QTimer timer;
};
