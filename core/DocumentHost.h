#pragma once
// What the managers need of the application document: the settings (read,
// changed and saved when a serial port is corrected), the screen and the
// outbox.

#include "core/Outbox.h"
#include "core/SettingsValues.h"
#include "core/StationScreen.h"

class CDocumentHost {
public:
    virtual ~CDocumentHost() = default;

    virtual SettingsValues& Settings() = 0;
    // Writes the settings; false when the file could not be written.
    virtual bool SaveSettings() = 0;
    virtual CStationScreen& Screen() = 0;
    // The alarm mails and SMS that wait for their peer, beside the database.
    virtual COutbox& Outbox() = 0;
};
