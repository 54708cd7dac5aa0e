// Prepares the database of the demo station: creates FOLDER/ORVA_10.mdb with
// its tables and registers the lifts of a JSON file, through the station's
// own database library. A database that already exists is left as it is, so
// that a second run of the demo keeps its alarms.
//
//   orva_demo_setup FOLDER LIFTS.json
//
// LIFTS.json: {"lifts": [{"id": "30020002", "info": "...", "address": "...",
//   "phone": "+46...", "mail_tech": "...", "sms_tech": "...",
//   "mail_emergency": "...", "sms_emergency": "...", "type": "...",
//   "customer": "...", "notes": "...", "days": 1}, ...]}
// Only "id" is required. Exit status 0 when the database is ready.

#include "core/OleDateTime.h"
#include "db/Database.h"
#include "db/DatabaseHandler.h"
#include "db/DbConvert.h"
#include "db/DbException.h"
#include "db/DbObjectInfo.h"
#include "db/DbSchema.h"
#include "db/ObjectInfoMsg.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <cstdio>
#include <filesystem>
#include <string>

namespace {

std::string Text(const QJsonObject& lift, const char* key)
{
    return lift.value(QLatin1String(key)).toString().toStdString();
}

int Fail(const std::string& text)
{
    std::fprintf(stderr, "orva_demo_setup: %s\n", text.c_str());
    return 1;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 3)
        return Fail("usage: orva_demo_setup FOLDER LIFTS.json");
    std::string folder = argv[1];
    if (folder.empty() || folder.back() != '/')
        folder += '/';
    const std::string file = folder + DbSchema::kDatabaseFileName;
    if (std::filesystem::exists(file)) {
        std::printf("database %s kept as it is\n", file.c_str());
        return 0;
    }

    QFile liftsFile(QString::fromLocal8Bit(argv[2]));
    if (!liftsFile.open(QIODevice::ReadOnly))
        return Fail(std::string("cannot read ") + argv[2]);
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(liftsFile.readAll(), &error);
    if (error.error != QJsonParseError::NoError || !document.isObject())
        return Fail(std::string(argv[2]) + ": " + error.errorString().toStdString());
    const QJsonArray lifts = document.object().value(QLatin1String("lifts")).toArray();

    std::error_code ec;
    std::filesystem::create_directories(folder, ec);
    CDbConvert convert;
    convert.SetPath(folder);
    if (convert.CreateDatabase() != 1) {
        std::filesystem::remove(file, ec);
        return Fail("cannot create " + file);
    }

    // A half-registered database would be kept by the next run: remove it.
    const auto failAndRemove = [&](const std::string& text) {
        for (const char* suffix : {"", "-wal", "-shm"})
            std::filesystem::remove(file + suffix, ec);
        return Fail(text);
    };
    try {
        CDatabase database;
        database.Open(file);
        CDatabaseHandler handler;  // its error boxes go to standard error
        CDbObjectInfo objects;
        objects.Attach(&handler, &database);
        for (const QJsonValue& value : lifts) {
            const QJsonObject lift = value.toObject();
            CObjectInfoMsg object(DBMSG_ADD_OBJECT_INFO);
            object.IdCode = Text(lift, "id");
            object.IdInfo = Text(lift, "info");
            object.Address = Text(lift, "address");
            object.PhoneNumber = Text(lift, "phone");
            object.MailAddrTech = Text(lift, "mail_tech");
            object.SmsNumTech = Text(lift, "sms_tech");
            object.MailAddrEmg = Text(lift, "mail_emergency");
            object.SmsNumEmg = Text(lift, "sms_emergency");
            object.ElevatorType = Text(lift, "type");
            object.Customer = Text(lift, "customer");
            object.Notes = Text(lift, "notes");
            object.Days = static_cast<int16_t>(lift.value(QLatin1String("days")).toInt(0));
            object.LastTestAlarm = COleDateTime::GetCurrentTime();
            object.AlarmPopUpEnabled = 1;
            if (object.IdCode.empty()) {
                database.Close();
                return failAndRemove("a lift without \"id\" in " + std::string(argv[2]));
            }
            const auto reply = objects.AddObjectInfo(object);
            if (!reply || reply->Result != DBRES_OBJECT_ADDED) {
                database.Close();
                return failAndRemove("lift " + object.IdCode + " was not registered (result " +
                                     std::to_string(reply ? reply->Result : 0) + ")");
            }
            std::printf("lift %s registered: %s\n", object.IdCode.c_str(), object.IdInfo.c_str());
        }
    } catch (const CDbException& e) {
        return failAndRemove(e.description);
    }
    std::printf("database %s created with %d lifts\n", file.c_str(), static_cast<int>(lifts.size()));
    return 0;
}
