#pragma once
// The windows of a station started on a display. The application builds them
// during its start-up, once the dictionary is loaded and the language chosen,
// so that every text a window sets as it is built is in the operator's
// language; the main window follows as soon as the document exists. The
// windows outlive the document, which keeps writing to its screen until its
// managers have stopped.

#include "app/OrvaApp.h"
#include "ui/WindowScreen.h"

#include <functional>
#include <memory>

class CStationWindows {
public:
    CStationWindows() = default;
    ~CStationWindows();
    CStationWindows(const CStationWindows&) = delete;
    CStationWindows& operator=(const CStationWindows&) = delete;

    // Has the application build the windows during its start-up. The
    // headless screen of the application still writes the event lines;
    // closed runs when the operator closed the main window.
    void Install(COrvaApp& app, bool writeSystemInfoLog, std::function<void()> closed);

    // The windows' screen; nullptr until the start-up built it.
    CWindowScreen* Screen() const { return screen.get(); }

    // The end of a run with windows: the document's managers stop, then the
    // alarm dialogs and the main window go while the document still exists.
    void Close(COrvaApp& app);

private:
    std::unique_ptr<CWindowScreen> screen;
};
