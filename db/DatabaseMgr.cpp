#include "db/DatabaseMgr.h"

#include "db/DatabaseMgrHost.h"
#include "db/DbConvert.h"
#include "db/DbConvertVer01.h"
#include "db/DbSchema.h"
#include "settings/Settings.h"

#include <fstream>
#include <memory>

CDatabaseMgr::CDatabaseMgr() = default;

CDatabaseMgr::~CDatabaseMgr()
{
    // The handler's thread must be gone before the database it was given.
    handler.Stop();
    CloseDatabase();
}

void CDatabaseMgr::SetDocument(CDatabaseMgrHost* doc)
{
    document = doc;
    handler.SetErrorReporter(doc);
}

int CDatabaseMgr::CheckDatabase()
{
    lastError.clear();
    int outcome = DBMGR_CHECK_OPENED;
    try {
        database.Open(DbSchema::DatabaseFile(path));
    } catch (const CDbException& e) {
        lastError = e.description;
        switch (e.number) {
        case DBERR_INVALID_PATH:
            outcome = DBMGR_CHECK_INVALID_PATH;
            break;
        case DBERR_FILE_NOT_FOUND:
            outcome = DBMGR_CHECK_NO_DATABASE;
            break;
        case DBERR_UNRECOGNIZED:
            outcome = DBMGR_CHECK_NOT_A_DATABASE;
            break;
        default:
            outcome = DBMGR_CHECK_OTHER_ERROR;
            break;
        }
    }
    if (outcome == DBMGR_CHECK_NO_DATABASE) {
        std::ifstream objects(DbSchema::FileInDatabaseFolder(path, DbSchema::kLegacyObjectFile));
        std::ifstream alarms(DbSchema::FileInDatabaseFolder(path, DbSchema::kLegacyAlarmFile));
        if (objects.is_open() && alarms.is_open())
            outcome = DBMGR_CHECK_OLD_INSTALLATION;
    }
    return outcome;
}

void CDatabaseMgr::UpgradeSchema()
{
    for (const DbSchema::UpgradeColumn& upgrade : DbSchema::UpgradeColumns()) {
        if (!database.HasColumn(upgrade.table, upgrade.column.name))
            database.Execute(QStringLiteral("ALTER TABLE \"%1\" ADD COLUMN %2")
                                 .arg(QString::fromLatin1(upgrade.table),
                                      QString::fromStdString(DbSchema::ColumnDefinition(upgrade.column))));
    }
    for (const DbIndex& index : DbSchema::Indexes())
        database.Execute(QString::fromStdString(DbSchema::CreateIndexStatement(index)));
    // Fresh statistics for the query planner at every start, so that the
    // alarm list keeps its index as the tables grow over the years. The
    // sampling limit keeps this to milliseconds even for millions of rows.
    database.Execute(QStringLiteral("PRAGMA analysis_limit=400"));
    database.Execute(QStringLiteral("ANALYZE"));
}

bool CDatabaseMgr::ChangePath()
{
    std::string folder;
    if (document == nullptr || !document->BrowseDatabasePath(folder))
        return false;
    CSettings& settings = document->GetSettings();
    settings.Values().DatabasePath = CSettings::WithTrailingSeparator(folder);
    settings.Save();
    return true;
}

int CDatabaseMgr::RunConverter(int reason)
{
    std::unique_ptr<CDbConvert> converter;
    if (reason == DBMGRDLG_REASON_OLD_VERSION)
        converter = std::make_unique<CDbConvertVer01>();
    else
        converter = std::make_unique<CDbConvert>();
    converter->SetPath(path);
    converter->SetOperator(document->GetOperatorName());
    converter->SetErrorReporter(document);
    return document->RunDatabaseMgrDlg(reason, path, converter.get());
}

int CDatabaseMgr::Start(CMsgReceiver* owner)
{
    if (document == nullptr)
        return 0;
    for (;;) {
        path = document->GetSettings().Values().DatabasePath;
        const int outcome = CheckDatabase();
        int choice = DBMGRDLG_CANCEL;
        switch (outcome) {
        case DBMGR_CHECK_OPENED:
            break;
        case DBMGR_CHECK_INVALID_PATH:
            choice = document->RunDatabaseMgrDlg(DBMGRDLG_REASON_INVALID_PATH, path, nullptr);
            break;
        case DBMGR_CHECK_NO_DATABASE:
            choice = RunConverter(DBMGRDLG_REASON_NO_DATABASE);
            break;
        case DBMGR_CHECK_OLD_INSTALLATION:
            choice = RunConverter(DBMGRDLG_REASON_OLD_VERSION);
            break;
        case DBMGR_CHECK_NOT_A_DATABASE:
            choice = document->RunDatabaseMgrDlg(DBMGRDLG_REASON_BAD_DATABASE, path, nullptr);
            break;
        default:
            return 0;
        }
        if (outcome == DBMGR_CHECK_OPENED)
            break;
        if (choice == DBMGRDLG_CHANGE_PATH)
            ChangePath();
        else if (choice != DBMGRDLG_START)
            return 0;
    }

    try {
        UpgradeSchema();
    } catch (const CDbException& e) {
        // A database that cannot take the columns the station writes would
        // fail at the first alarm; stop here instead, with the reason.
        lastError = e.description;
        document->ShowDbError(e.description);
        CloseDatabase();
        return 0;
    }

    const auto& values = document->GetSettings().Values();
    handler.Configure(&database, static_cast<int16_t>(values.KeepAirMonths * 30), values.UseCidPhoneNumber,
                      values.TestAlarmFilter);
    handler.SetOwner(owner);
    if (handler.Start() != HNDRET_STARTED) {
        CloseDatabase();
        return 0;
    }
    return 1;
}

int CDatabaseMgr::Stop()
{
    handler.Stop();
    if (!database.IsOpen())
        return 1;
    try {
        database.Close();
    } catch (const CDbException& e) {
        if (document != nullptr)
            document->ShowDbError(e.description);
        return 0;
    }
    return 1;
}

void CDatabaseMgr::CloseDatabase()
{
    try {
        database.Close();
    } catch (const CDbException&) {
    }
}
