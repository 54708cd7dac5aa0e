#pragma once
// Owner of the database on the user-interface side: opens it at start-up,
// asks the operator through the database manager dialog when it cannot be
// opened, creates a new database or converts an older installation, upgrades
// the schema, and starts and stops the database handler.

#include "db/Database.h"
#include "db/DatabaseHandler.h"

#include <string>

class CDatabaseMgrHost;
class CMsgReceiver;

// Outcomes of CheckDatabase.
constexpr int DBMGR_CHECK_OPENED = 0;
constexpr int DBMGR_CHECK_INVALID_PATH = 1;
constexpr int DBMGR_CHECK_NO_DATABASE = 2;
constexpr int DBMGR_CHECK_OLD_INSTALLATION = 3;
constexpr int DBMGR_CHECK_NOT_A_DATABASE = 4;
constexpr int DBMGR_CHECK_OTHER_ERROR = 5;

class CDatabaseMgr {
public:
    CDatabaseMgr();
    ~CDatabaseMgr();
    CDatabaseMgr(const CDatabaseMgr&) = delete;
    CDatabaseMgr& operator=(const CDatabaseMgr&) = delete;

    void SetDocument(CDatabaseMgrHost* document);
    CDatabaseHandler* GetHandler() { return &handler; }

    // Opens (creating or converting when the operator asks for it) and
    // upgrades the database, then configures the handler and starts it with
    // the owner as the receiver of its posts. 1 when the handler runs, else 0.
    int Start(CMsgReceiver* owner);
    // Stops the handler and closes the database. 0 when closing failed.
    int Stop();

    // Tries to open path + "ORVA_10.mdb" and classifies the outcome
    // (DBMGR_CHECK_*); shows nothing. Start sets the path from the settings.
    int CheckDatabase();
    void SetPath(const std::string& folder) { path = folder; }
    // Adds the columns that older databases lack, and the search indexes.
    void UpgradeSchema();
    // Why the last CheckDatabase did not open the database (the engine's text).
    const std::string& GetLastError() const { return lastError; }
    CDatabase& GetDatabase() { return database; }

private:
    // The folder picker; stores and saves a chosen folder. False on cancel.
    bool ChangePath();
    int RunConverter(int reason);
    void CloseDatabase();

    CDatabase database;
    CDatabaseHandler handler;
    CDatabaseMgrHost* document = nullptr;
    std::string path;
    std::string lastError;
};
