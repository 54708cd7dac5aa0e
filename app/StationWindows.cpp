#include "app/StationWindows.h"

#include <QApplication>

CStationWindows::~CStationWindows() = default;

void CStationWindows::Install(COrvaApp& app, bool writeSystemInfoLog, std::function<void()> closed)
{
    // Alarm dialogs stand on their own; only the main window's close (after
    // its question) ends the station.
    QApplication::setQuitOnLastWindowClosed(false);
    app.SetWindows(
        [this, &app, writeSystemInfoLog, closed = std::move(closed)]() -> CDocumentScreen* {
            screen = std::make_unique<CWindowScreen>(writeSystemInfoLog);
            screen->SetEcho(&app.Screen());
            screen->SetCloseHandler(closed);
            return screen.get();
        },
        [this](COrvaDoc& doc) { screen->Attach(doc); });
}

void CStationWindows::Close(COrvaApp& app)
{
    if (!screen)
        return;
    if (app.Document() != nullptr)
        app.Document()->CloseDocument();
    screen->Detach();
}
