#include "db/DbAlarmInfo.h"

#include "db/AlarmInfoSet.h"
#include "db/ReplyChain.h"
#include "messages/AlarmInfoMsg.h"
#include "messages/AlarmInfoReqMsg.h"

#include <QStringList>

namespace {

const char* const kAddPrefix = "CDatabaseHandler::AddAlarmInfo: ";
const char* const kFindPrefix = "CDatabaseHandler::FindAlarmInfo: ";
const char* const kEditPrefix = "CDatabaseHandler::EditAlarmInfo: ";
const char* const kDeletePrefix = "CDatabaseHandler::DeleteAlarmInfo: ";

// Newest first; alarms of the same second by the order in which they were stored.
const QString kNewestFirst = QStringLiteral("\"AlarmTime\" DESC, \"PrimaryKey\" DESC");

std::unique_ptr<CAlarmInfoMsg> EmptyReply(uint16_t result)
{
    auto reply = std::make_unique<CAlarmInfoMsg>(DBMSG_ALARM_INFO);
    reply->Result = result;
    return reply;
}

std::unique_ptr<CDatabaseMsg> ResultReply(uint16_t result)
{
    auto reply = std::make_unique<CDatabaseMsg>(DBMSG_ALARM_INFO);
    reply->Result = result;
    return reply;
}

QVariant Key(uint32_t primaryKey)
{
    return QVariant(static_cast<qlonglong>(primaryKey));
}

}  // namespace

std::vector<uint8_t> CDbAlarmInfo::StatusesOfMask(uint8_t mask)
{
    std::vector<uint8_t> statuses;
    if (mask == 15)
        return statuses;
    for (uint8_t bit = 0; bit < 4; ++bit)
        if (mask & (1u << bit))
            statuses.push_back(static_cast<uint8_t>(bit + 1));
    return statuses;
}

std::unique_ptr<CDatabaseMsg> CDbAlarmInfo::AddAlarmInfo(CAlarmInfoMsg& alarm)
{
    try {
        CAlarmInfoSet set(database);
        set.AddNew();
        set.m_IdCode = alarm.IdCode;
        set.m_CallerIdInfo = alarm.CallerIdInfo;
        set.m_AlarmSource = alarm.AlarmSource;
        set.m_AlarmType = alarm.AlarmType;
        set.m_IdInfo = alarm.IdInfo;
        set.m_OpFailType = alarm.OpFailType;
        set.m_Text = alarm.Text.GetText();
        set.m_AlarmStatus = alarm.AlarmStatus;
        set.m_AlarmTime = alarm.AlarmTime;
        set.m_AckTime = alarm.AckTime;
        set.m_ExecTime = alarm.ExecTime;
        set.m_AckOperator = alarm.AckOperator;
        set.m_ExecOperator = alarm.ExecOperator;
        set.Update();
        alarm.PrimaryKey = static_cast<uint32_t>(set.GetLastAddedKey());
        set.Close();
        return ResultReply(DBRES_ALARM_ADDED);
    } catch (const CDbException& e) {
        ReportError(kAddPrefix, e);
        return ResultReply(DBRES_ALARM_ADD_ERROR);
    }
}

int64_t CDbAlarmInfo::FindSameAlarm(const CAlarmInfoMsg& alarm, bool matchTime)
{
    if (matchTime && !alarm.AlarmTime.IsValid())
        return 0;
    QString where = QStringLiteral("\"IdCode\" = ? AND \"AlarmSource\" = ? AND \"AlarmType\" = ? AND \"Text\" = ?");
    QVariantList params;
    params << QString::fromStdString(alarm.IdCode) << static_cast<int>(alarm.AlarmSource)
           << static_cast<int>(alarm.AlarmType) << QString::fromStdString(alarm.Text.GetText());
    if (matchTime) {
        where += QStringLiteral(" AND \"AlarmTime\" = ?");
        params << QString::fromStdString(alarm.AlarmTime.ToIso());
    }
    try {
        CAlarmInfoSet set(database);
        set.Open(where, params, {}, 1);
        const int64_t key = set.IsEOF() ? 0 : static_cast<int64_t>(set.m_PrimaryKey);
        set.Close();
        return key;
    } catch (const CDbException& e) {
        ReportError(kFindPrefix, e);
        return -1;
    }
}

std::unique_ptr<CAlarmInfoMsg> CDbAlarmInfo::RecordFromSet(const CAlarmInfoSet& set)
{
    auto record = std::make_unique<CAlarmInfoMsg>(DBMSG_ALARM_INFO);
    record->PrimaryKey = static_cast<uint32_t>(set.m_PrimaryKey);
    record->IdCode = set.m_IdCode;
    record->CallerIdInfo = set.m_CallerIdInfo;
    record->AlarmSource = set.m_AlarmSource;
    record->AlarmType = set.m_AlarmType;
    record->IdInfo = set.m_IdInfo;
    record->OpFailType = set.m_OpFailType;
    record->Text.SetText(set.m_Text);
    record->AlarmStatus = set.m_AlarmStatus;
    record->AlarmTime = set.m_AlarmTime;
    record->AckTime = set.m_AckTime;
    record->ExecTime = set.m_ExecTime;
    record->AckOperator = set.m_AckOperator;
    record->ExecOperator = set.m_ExecOperator;
    return record;
}

std::unique_ptr<CAlarmInfoMsg> CDbAlarmInfo::FindSingleKind(const CAlarmInfoReqMsg& request)
{
    QString where;
    QVariantList params;
    QString order;
    int64_t limit = 1;
    uint16_t result = 0;
    switch (request.Kind) {
    case ALARM_KIND_BY_KEY:
        where = QStringLiteral("\"PrimaryKey\" = ?");
        params << Key(request.PrimaryKey);
        result = DBRES_ALARM_FOUND_KEY;
        break;
    case ALARM_KIND_LIST: {
        if (request.StatusMask == 0)
            return EmptyReply(DBRES_ALARM_NONE);
        // New alarms are rare among the many finished ones: a list of new
        // alarms alone reads them by the status index. Any other mix is
        // better read newest first along the time index, skipping what does
        // not match; the unary plus keeps the engine from the status index.
        const std::vector<uint8_t> statuses = StatusesOfMask(request.StatusMask);
        const bool byStatus = statuses.size() == 1 && statuses.front() == ALARMSTATUS_NEW;
        const QString term = byStatus ? QStringLiteral("\"AlarmStatus\" = ?") : QStringLiteral("+\"AlarmStatus\" = ?");
        QStringList terms;
        for (uint8_t status : statuses) {
            terms << term;
            params << static_cast<int>(status);
        }
        where = terms.join(QStringLiteral(" OR "));
        order = kNewestFirst;
        limit = request.MaxCount;
        result = DBRES_ALARM_FOUND_LIST;
        break;
    }
    case ALARM_KIND_LAST_EMERGENCY:
        where = QStringLiteral("\"IdCode\" = ? AND \"AlarmType\" = ?");
        params << QString::fromStdString(request.IdCode) << static_cast<int>(ALARMTYPE_EMERGENCY_CALL);
        order = kNewestFirst;
        result = DBRES_ALARM_FOUND_EMERGENCY;
        break;
    default:
        // A kind this table does not know finds nothing (rather than the
        // whole table).
        return EmptyReply(DBRES_ALARM_NONE);
    }

    try {
        CAlarmInfoSet set(database);
        set.Open(where, params, order, limit);
        CReplyChain<CAlarmInfoMsg> chain(result);
        uint32_t taken = 0;
        while (!set.IsEOF() && taken < static_cast<uint64_t>(limit)) {
            chain.Append(RecordFromSet(set));
            ++taken;
            set.MoveNext();
        }
        set.Close();
        return chain.IsEmpty() ? EmptyReply(DBRES_ALARM_NONE) : chain.Take();
    } catch (const CDbException& e) {
        ReportError(kFindPrefix, e);
        return EmptyReply(DBRES_ALARM_FIND_ERROR);
    }
}

std::unique_ptr<CAlarmInfoMsg> CDbAlarmInfo::FindAlarmInfo(CAlarmInfoReqMsg& request)
{
    if (request.Kind == ALARM_KIND_PRINT_KEYS) {
        // One single-key search per request of the chain, the answers
        // chained in the same order; each keeps its own result except the
        // first, which tells the receiver that this is the print answer.
        std::unique_ptr<CAlarmInfoMsg> first;
        CAlarmInfoMsg* last = nullptr;
        for (CAlarmInfoReqMsg* each = &request; each != nullptr; each = each->NextRequest()) {
            each->Kind = ALARM_KIND_BY_KEY;
            auto reply = FindSingleKind(*each);
            CAlarmInfoMsg* tail = reply.get();
            while (tail->NextAlarm() != nullptr)
                tail = tail->NextAlarm();
            if (!first)
                first = std::move(reply);
            else
                last->Next = std::move(reply);
            last = tail;
        }
        first->Result = DBRES_ALARM_PRINT_KEYS;
        return first;
    }
    if (request.Kind == ALARM_KIND_PRINT_LIST) {
        request.Kind = ALARM_KIND_LIST;
        auto reply = FindSingleKind(request);
        reply->Result = DBRES_ALARM_PRINT_LIST;
        return reply;
    }
    return FindSingleKind(request);
}

std::unique_ptr<CDatabaseMsg> CDbAlarmInfo::EditAlarmInfo(const CAlarmInfoMsg& alarm)
{
    try {
        CAlarmInfoSet set(database);
        set.Open(QStringLiteral("\"PrimaryKey\" = ?"), {Key(alarm.PrimaryKey)});
        if (set.IsEOF())
            return ResultReply(DBRES_ALARM_EDIT_NOT_FOUND);
        // Judged by the stored row, not by what the sender saw: a dialog
        // opened before the alarm was finished elsewhere must not undo that.
        const uint8_t stored = set.m_AlarmStatus;
        if (stored == ALARMSTATUS_INFO || alarm.AlarmStatus <= stored) {
            set.Close();
            return ResultReply(DBRES_ALARM_EDIT_STALE);
        }
        set.Edit();
        set.m_AlarmStatus = alarm.AlarmStatus;
        if (!alarm.AckOperator.empty()) {
            set.m_AckTime = alarm.AckTime;
            set.m_AckOperator = alarm.AckOperator;
        }
        if (!alarm.ExecOperator.empty()) {
            set.m_ExecTime = alarm.ExecTime;
            set.m_ExecOperator = alarm.ExecOperator;
        }
        set.Update();
        set.Close();
        return ResultReply(DBRES_ALARM_EDITED);
    } catch (const CDbException& e) {
        ReportError(kEditPrefix, e);
        return ResultReply(DBRES_ALARM_EDIT_ERROR);
    }
}

std::unique_ptr<CDatabaseMsg> CDbAlarmInfo::DeleteAlarmInfo(const CAlarmInfoReqMsg& request)
{
    QString where;
    QVariantList params;
    switch (request.Kind) {
    case ALARM_KIND_BY_KEY:
        where = QStringLiteral("\"PrimaryKey\" = ?");
        params << Key(request.PrimaryKey);
        break;
    case ALARM_KIND_OLDER_THAN: {
        // Everything before the start of the day AgeDays days back.
        const COleDateTime limit = COleDateTime::GetCurrentTime() - static_cast<double>(request.AgeDays);
        const COleDateTime dayStart(limit.GetYear(), limit.GetMonth(), limit.GetDay(), 0, 0, 0);
        if (!dayStart.IsValid())
            return ResultReply(DBRES_ALARM_DELETE_NONE);
        where = QStringLiteral("\"AlarmTime\" < ?");
        params << QString::fromStdString(dayStart.ToIso());
        break;
    }
    default:
        // Never read an unknown kind as "every alarm".
        return ResultReply(DBRES_ALARM_DELETE_NONE);
    }
    try {
        CAlarmInfoSet set(database);
        const int64_t deleted = set.DeleteWhere(where, params);
        return ResultReply(deleted > 0 ? DBRES_ALARM_DELETED : DBRES_ALARM_DELETE_NONE);
    } catch (const CDbException& e) {
        ReportError(kDeletePrefix, e);
        return ResultReply(DBRES_ALARM_DELETE_ERROR);
    }
}
