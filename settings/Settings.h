#pragma once
// The station's configuration in memory, loaded once by the application
// document before any manager starts and written back by the settings sheet
// and by the few places that change single values.

#include "core/SettingsValues.h"

#include <string>

class COrvaDoc;

// The settings sheet as seen by the store: it edits a copy of the values and
// answers true when the operator confirms with OK.
class CSettingsSheet {
public:
    virtual ~CSettingsSheet() = default;
    virtual bool Run(SettingsValues& values) = 0;
};

class CSettings {
public:
    // Reads every value with its default (a missing, mistyped or out-of-range
    // value reads as its default). An empty DatabasePath becomes the current
    // folder. Reading never fails.
    bool Load();
    // Writes every value except NORD and LastOperator. False when the file
    // could not be written.
    bool Save();
    // Remembers the operator chosen and writes LastOperator alone.
    bool SaveLastOperator(const std::string& name);
    // Runs the sheet on a copy; on OK copies the values back, saves them and
    // returns what must be restarted (SETTINGS_CHANGED_*). Cancel returns 0
    // and changes nothing.
    int EditSettings(CSettingsSheet& sheet);

    // The current folder with a trailing separator, or empty when it cannot
    // be read.
    static std::string DefaultDatabasePath();
    // A chosen folder with the trailing separator that the database file name
    // is appended to.
    static std::string WithTrailingSeparator(std::string folder);

    SettingsValues& Values() { return values; }
    const SettingsValues& Values() const { return values; }

    void SetDocument(COrvaDoc* doc) { document = doc; }
    COrvaDoc* GetDocument() const { return document; }

private:
    SettingsValues values;
    COrvaDoc* document = nullptr;
};
