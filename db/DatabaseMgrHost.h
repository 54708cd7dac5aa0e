#pragma once
// What the database manager needs from the document that owns it: the
// settings, the operator on duty, and every point where the operator is
// asked something. The windows answer with the database manager dialog and
// the folder picker; a headless station and the tests answer by themselves.

#include "db/DbErrorReporter.h"

#include <string>

class CDbConvert;
class CSettings;

// Reasons (modes) of the database manager dialog.
constexpr int DBMGRDLG_REASON_INVALID_PATH = 1;  // the database folder does not exist
constexpr int DBMGRDLG_REASON_NO_DATABASE = 2;   // no database in the folder
constexpr int DBMGRDLG_REASON_BAD_DATABASE = 3;  // the file is not a database
constexpr int DBMGRDLG_REASON_OLD_VERSION = 4;   // the files of an older installation were found

// How the dialog ended.
constexpr int DBMGRDLG_CANCEL = 0;       // Cancel: the program ends
constexpr int DBMGRDLG_CHANGE_PATH = 1;  // OK with "change the path": pick a folder and try again
constexpr int DBMGRDLG_START = 2;        // OK after a database was created: try again
constexpr int DBMGRDLG_END = 3;          // OK after the creation failed: the program ends

class CDatabaseMgrHost : public CDbErrorReporter {
public:
    virtual CSettings& GetSettings() = 0;
    // The name of the operator on duty (recorded on converted alarms).
    virtual std::string GetOperatorName() = 0;
    // Runs the database manager dialog for the reason, showing the database
    // folder. For reasons 2 and 4 the converter creates (and for 4 copies)
    // the database when the operator asks for it; the dialog attaches its
    // progress list to it. Returns DBMGRDLG_*.
    virtual int RunDatabaseMgrDlg(int reason, const std::string& folder, CDbConvert* converter) = 0;
    // The folder picker ("Select the folder for the Database file"). True
    // with the chosen folder, false when the operator cancels.
    virtual bool BrowseDatabasePath(std::string& folder) = 0;
};
