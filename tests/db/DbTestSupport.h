#pragma once
// Shared pieces of the database tests: a scratch folder with a fresh database
// in the form the station runs it (created, then upgraded at start), a record
// of the error boxes, an owner that keeps what the handler posts, a fixed
// local time zone and a settable "now".

#include "core/MsgReceiver.h"
#include "core/OleDateTime.h"
#include "db/Database.h"
#include "db/DatabaseHandler.h"
#include "db/DatabaseMgr.h"
#include "db/DbConvert.h"
#include "db/DbErrorReporter.h"
#include "db/DbSchema.h"
#include "messages/AlarmInfoMsg.h"
#include "support/TempDir.h"
#include "support/TestDictionary.h"

#include <gtest/gtest.h>

#include <QSqlQuery>
#include <QVariant>

#include <ctime>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

// Error boxes, as the windows would show them.
class RecordingErrors : public CDbErrorReporter {
public:
    void ShowDbError(const std::string& text) override { shown.push_back(text); }
    std::vector<std::string> shown;
};

// The document's inbox as the handler sees it.
class RecordingOwner : public CMsgReceiver {
public:
    void ReceiveMsg(std::unique_ptr<CMsg> msg) override
    {
        std::lock_guard<std::mutex> guard(lock);
        received.push_back(std::move(msg));
    }
    std::unique_ptr<CMsg> Take()
    {
        std::lock_guard<std::mutex> guard(lock);
        if (received.empty())
            return nullptr;
        std::unique_ptr<CMsg> msg = std::move(received.front());
        received.pop_front();
        return msg;
    }
    template <typename T>
    std::unique_ptr<T> TakeAs()
    {
        std::unique_ptr<CMsg> msg = Take();
        if (!msg)
            return nullptr;
        T* typed = dynamic_cast<T*>(msg.get());
        if (typed == nullptr)
            return nullptr;
        msg.release();
        return std::unique_ptr<T>(typed);
    }
    size_t Count()
    {
        std::lock_guard<std::mutex> guard(lock);
        return received.size();
    }
    void Clear()
    {
        std::lock_guard<std::mutex> guard(lock);
        received.clear();
    }

private:
    std::mutex lock;
    std::deque<std::unique_ptr<CMsg>> received;
};

// Local time is Central European for every database test, so that the
// conversion of old time stamps is checked against known values.
class ScopedTimeZone {
public:
    explicit ScopedTimeZone(const char* zone = "Europe/Stockholm") : env("TZ", zone) { tzset(); }
    ~ScopedTimeZone() { tzset(); }

private:
    ScopedEnv env;
};

// "Now" for the handler, set by the test.
class SettableNow {
public:
    explicit SettableNow(COleDateTime start) : now(start), scoped([this] { return Get(); }) {}
    COleDateTime Get()
    {
        std::lock_guard<std::mutex> guard(lock);
        return now;
    }
    void Set(COleDateTime value)
    {
        std::lock_guard<std::mutex> guard(lock);
        now = value;
    }

private:
    std::mutex lock;
    COleDateTime now;
    CScopedNowSource scoped;
};

// A new database in the folder, created and upgraded as at the first start.
inline void CreateStationDatabase(const std::string& folder)
{
    CDbConvert convert;
    convert.SetPath(folder);
    ASSERT_EQ(convert.CreateDatabase(), 1);
    CDatabase database;
    database.Open(folder + DbSchema::kDatabaseFileName);
    for (const auto& upgrade : DbSchema::UpgradeColumns())
        if (!database.HasColumn(upgrade.table, upgrade.column.name))
            database.Execute(QStringLiteral("ALTER TABLE \"%1\" ADD COLUMN %2")
                                 .arg(QString::fromLatin1(upgrade.table),
                                      QString::fromStdString(DbSchema::ColumnDefinition(upgrade.column))));
}

// Runs one statement and returns the first column of the first row.
inline QVariant QueryValue(CDatabase& database, const QString& sql)
{
    QSqlQuery query(database.Connection());
    if (!query.exec(sql) || !query.next())
        return {};
    return query.value(0);
}

// A folder with an open, upgraded database and a configured handler whose
// posts land in `owner` and whose error boxes land in `errors`.
class HandlerFixture : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(InstallEnglishDictionary());
        folder = dir.Path().string() + "/";
        CreateStationDatabase(folder);
        database.Open(folder + DbSchema::kDatabaseFileName);
        handler.SetErrorReporter(&errors);
        handler.SetOwner(&owner);
        handler.Configure(&database, 360, 0, 0);
    }

    ScopedTimeZone zone;
    TempDir dir;
    std::string folder;
    CDatabase database;
    RecordingErrors errors;
    RecordingOwner owner;
    CDatabaseHandler handler;
};
