#include "db/DbConvertVer01.h"

#include "core/TextEncoding.h"
#include "core/TextLookup.h"
#include "db/DbSchema.h"
#include "db/ObjectInfoMsg.h"
#include "db/ObjectInfoSet.h"
#include "db/Utf8Text.h"
#include "messages/AlarmInfoMsg.h"

#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>

#include <fstream>
#include <iterator>
#include <limits>

namespace {

QVariant DateValue(const COleDateTime& value)
{
    return value.IsValid() ? QVariant(QString::fromStdString(value.ToIso())) : QVariant(QMetaType::fromType<QString>());
}

QVariant TextValue(const std::string& value, const char* column)
{
    const int size = DbSchema::ColumnSize("AlarmInfo", column);
    return QString::fromStdString(size > 0 ? Utf8Text::Left(value, static_cast<size_t>(size)) : value);
}

}  // namespace

CDbConvertVer01::~CDbConvertVer01() = default;

std::vector<std::string> CDbConvertVer01::SplitLines(std::string_view bytes)
{
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < bytes.size()) {
        size_t end = bytes.find('\n', start);
        const bool last = end == std::string_view::npos;
        if (last)
            end = bytes.size();
        std::string_view line = bytes.substr(start, end - start);
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        lines.push_back(TextEncoding::Windows1252ToUtf8(line));
        start = last ? bytes.size() : end + 1;
    }
    return lines;
}

int64_t CDbConvertVer01::LeadingNumber(std::string_view field, int64_t max)
{
    int64_t value = 0;
    for (char c : field) {
        if (c < '0' || c > '9')
            break;
        value = value * 10 + (c - '0');
        if (value >= max)
            return max;
    }
    return value;
}

COleDateTime CDbConvertVer01::FromUnixSeconds(int64_t seconds)
{
    if (seconds < 0 || seconds > kMaxUnixSeconds) {
        COleDateTime none;
        none.SetStatus(COleDateTime::invalid);
        return none;
    }
    return COleDateTime::FromTimeT(static_cast<std::time_t>(seconds));
}

uint8_t CDbConvertVer01::TranslateAlarmType(int64_t oldType, uint8_t alarmSource)
{
    switch (oldType) {
    case 1:
        return alarmSource == ALARMSOURCE_TEL ? ALARMTYPE_P100 : ALARMTYPE_SMS;
    case 2:
        return ALARMTYPE_VOICE;
    case 3:
        return ALARMTYPE_OPFAIL;
    case 4:
        return ALARMTYPE_LIFT_MONITORING;
    case 5:
        return ALARMTYPE_TEST;
    case 6:
        return ALARMTYPE_TEST_FAIL;
    default:
        return static_cast<uint8_t>(oldType);
    }
}

bool CDbConvertVer01::ParseObjectLine(const std::string& line, CObjectInfoMsg& object)
{
    // The line is already UTF-8; the length rule counts characters.
    if (TextEncoding::CountChars(line) < 9)
        return false;
    const size_t colon = line.find(':');
    if (colon == std::string::npos)
        return false;
    object.IdCode = line.substr(0, colon);

    std::vector<std::string> fields;
    std::string_view rest = std::string_view(line).substr(colon + 1);
    while (fields.size() < 8) {
        const size_t separator = rest.find(kFieldSeparator);
        if (separator == std::string_view::npos) {
            fields.emplace_back(rest);
            break;
        }
        fields.emplace_back(rest.substr(0, separator));
        rest = rest.substr(separator + 1);
    }
    fields.resize(8);

    object.IdInfo = fields[0];
    object.Days = static_cast<int16_t>(LeadingNumber(fields[1], std::numeric_limits<int16_t>::max()));
    object.MailAddrTech = fields[2];
    object.LastTestAlarm = FromUnixSeconds(LeadingNumber(fields[3], std::numeric_limits<int64_t>::max() / 10));
    if (!object.LastTestAlarm.IsValid())
        return false;
    object.SmsNumTech = fields[4];
    object.TestAlarmOnly = static_cast<int32_t>(LeadingNumber(fields[5]));
    object.MailAddrEmg = fields[6];
    object.SmsNumEmg = fields[7];
    return true;
}

CDbConvertVer01::RecordRead CDbConvertVer01::ParseAlarmRecord(const std::vector<std::string>& lines, size_t& pos,
                                                              CAlarmInfoMsg& alarm)
{
    constexpr size_t kHeaderLines = 8;
    if (pos > lines.size() || lines.size() - pos < kHeaderLines)
        return RecordRead::Incomplete;
    const int64_t textLines = LeadingNumber(lines[pos + 7], kMaxTextLines);
    if (static_cast<uint64_t>(lines.size() - pos - kHeaderLines) < static_cast<uint64_t>(textLines))
        return RecordRead::Incomplete;

    alarm.AlarmSource = static_cast<uint8_t>(LeadingNumber(lines[pos], 255));
    alarm.AlarmType = TranslateAlarmType(LeadingNumber(lines[pos + 1]), alarm.AlarmSource);
    alarm.IdCode = lines[pos + 2];
    alarm.IdInfo = lines[pos + 3];
    alarm.OpFailType = static_cast<uint8_t>(LeadingNumber(lines[pos + 4], 255));
    // lines[pos + 5] is not used.
    alarm.AlarmTime = FromUnixSeconds(LeadingNumber(lines[pos + 6], std::numeric_limits<int64_t>::max() / 10));
    const size_t start = pos;
    pos += kHeaderLines + static_cast<size_t>(textLines);
    if (!alarm.AlarmTime.IsValid())
        return RecordRead::Skipped;
    for (int64_t i = 0; i < textLines; ++i)
        alarm.Text.AddLine(lines[start + kHeaderLines + static_cast<size_t>(i)]);
    return RecordRead::Taken;
}

bool CDbConvertVer01::ReadFile(const char* name, std::string& bytes) const
{
    std::ifstream in(DbSchema::FileInDatabaseFolder(path, name), std::ios::binary);
    if (!in)
        return false;
    bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return true;
}

void CDbConvertVer01::Commit(bool beginNext)
{
    try {
        database.CommitTrans();
    } catch (const CDbException& e) {
        database.Rollback();
        ShowError(e.description);
        commitFailed = true;
    }
    if (!beginNext)
        return;
    try {
        database.BeginTrans();
    } catch (const CDbException& e) {
        ShowError(e.description);
        commitFailed = true;
    }
}

int CDbConvertVer01::CopyData()
{
    commitFailed = false;
    try {
        database.Open(DbSchema::DatabaseFile(path));
    } catch (const CDbException& e) {
        ShowError(e.description);
        return 0;
    }
    CopyObjects();
    CopyAlarms();
    database.Close();
    return commitFailed ? 0 : 1;
}

void CDbConvertVer01::CopyObjects()
{
    AddProgressText("IDS_DBCONVERTVER01_MSG_1");
    std::string bytes;
    if (!ReadFile(DbSchema::kLegacyObjectFile, bytes))
        return;
    const std::vector<std::string> lines = SplitLines(bytes);
    bytes.clear();

    CObjectInfoMsg object;
    int rowsInBatch = 0;
    try {
        database.BeginTrans();
    } catch (const CDbException& e) {
        ShowError(e.description);
        return;
    }
    for (const std::string& line : lines) {
        if (!ParseObjectLine(line, object))
            continue;
        object.AlarmPopUpEnabled = 1;
        try {
            CObjectInfoSet set(&database);
            set.AddNew();
            set.SetFromRecord(object);
            set.m_PhoneNumber.clear();
            set.Update();
        } catch (const CDbException& e) {
            ShowError(e.description);
        }
        if (++rowsInBatch >= kRowsPerTransaction) {
            Commit(true);
            rowsInBatch = 0;
        }
    }
    Commit(false);
}

void CDbConvertVer01::CopyAlarms()
{
    const COleDateTime now = COleDateTime::GetCurrentTime();
    AddProgressText("IDS_DBCONVERTVER01_MSG_2");
    std::string bytes;
    if (!ReadFile(DbSchema::kLegacyAlarmFile, bytes))
        return;
    const std::vector<std::string> lines = SplitLines(bytes);
    bytes.clear();

    int rowsInBatch = 0;
    try {
        database.BeginTrans();
    } catch (const CDbException& e) {
        ShowError(e.description);
        return;
    }
    // A table made by the creation has no CallerIdInfo yet; the copy writes
    // the columns from IdCode to ExecOperator, as the old files have no more.
    QSqlQuery insert(database.Connection());
    const bool prepared = insert.prepare(QStringLiteral(
        "INSERT INTO \"AlarmInfo\" (\"IdCode\", \"AlarmSource\", \"AlarmType\", \"IdInfo\", \"OpFailType\", \"Text\", "
        "\"AlarmStatus\", \"AlarmTime\", \"AckTime\", \"ExecTime\", \"AckOperator\", \"ExecOperator\") "
        "VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)"));
    if (!prepared) {
        ShowError(insert.lastError().databaseText().toStdString());
        database.Rollback();
        return;
    }
    size_t pos = 0;
    while (true) {
        CAlarmInfoMsg alarm;
        const RecordRead read = ParseAlarmRecord(lines, pos, alarm);
        if (read == RecordRead::Incomplete)
            break;
        if (read == RecordRead::Skipped)
            continue;
        if (alarm.AlarmType == ALARMTYPE_TEST) {
            alarm.AlarmStatus = ALARMSTATUS_INFO;
        } else {
            alarm.AlarmStatus = ALARMSTATUS_FINISHED;
            alarm.AckTime = now;
            alarm.ExecTime = now;
            alarm.AckOperator = operatorName;
            alarm.ExecOperator = operatorName;
        }
        insert.addBindValue(TextValue(alarm.IdCode, "IdCode"));
        insert.addBindValue(static_cast<int>(alarm.AlarmSource));
        insert.addBindValue(static_cast<int>(alarm.AlarmType));
        insert.addBindValue(TextValue(alarm.IdInfo, "IdInfo"));
        insert.addBindValue(static_cast<int>(alarm.OpFailType));
        insert.addBindValue(TextValue(alarm.Text.GetText(), "Text"));
        insert.addBindValue(static_cast<int>(alarm.AlarmStatus));
        insert.addBindValue(DateValue(alarm.AlarmTime));
        insert.addBindValue(DateValue(alarm.AckTime));
        insert.addBindValue(DateValue(alarm.ExecTime));
        insert.addBindValue(TextValue(alarm.AckOperator, "AckOperator"));
        insert.addBindValue(TextValue(alarm.ExecOperator, "ExecOperator"));
        if (!insert.exec())
            ShowError(insert.lastError().databaseText().toStdString());
        if (++rowsInBatch >= kRowsPerTransaction) {
            Commit(true);
            rowsInBatch = 0;
        }
    }
    insert.finish();
    Commit(false);
}
