#pragma once
// What the managers need of the application document: the settings (read,
// changed and saved when a serial port is corrected) and the screen.

#include "core/SettingsValues.h"
#include "core/StationScreen.h"

class CDocumentHost {
public:
    virtual ~CDocumentHost() = default;

    virtual SettingsValues& Settings() = 0;
    // Writes the settings; false when the file could not be written.
    virtual bool SaveSettings() = 0;
    virtual CStationScreen& Screen() = 0;
};
