#include "db/DbObjectInfo.h"

#include "db/DatabaseHandler.h"
#include "db/DbSchema.h"
#include "db/DbStatement.h"
#include "db/FieldExchange.h"
#include "db/ObjectInfoMsg.h"
#include "db/ObjectInfoReqMsg.h"
#include "db/ObjectInfoSet.h"

#include <QSqlError>
#include <QSqlQuery>

namespace {

const char* const kAddPrefix = "CDbObjectInfo::AddObjectInfo: ";
const char* const kFindPrefix = "CDbObjectInfo::FindObjectInfo: ";
const char* const kEditPrefix = "CDbObjectInfo::EditObjectInfo: ";
const char* const kDeletePrefix = "CDbObjectInfo::DeleteObjectInfo: ";

const QString kByIdCode = QStringLiteral("\"IdCode\" = ?");
const QString kByPhoneNumber = QStringLiteral("\"PhoneNumber\" = ?");

std::unique_ptr<CDatabaseMsg> ResultReply(uint16_t result)
{
    auto reply = std::make_unique<CDatabaseMsg>(DBMSG_OBJECT_INFO);
    reply->Result = result;
    return reply;
}

QVariant Text(const std::string& value)
{
    return QString::fromStdString(value);
}

}  // namespace

std::unique_ptr<CDatabaseMsg> CDbObjectInfo::AddObjectInfo(const CObjectInfoMsg& object)
{
    try {
        CheckKeys(object);
    } catch (const CDbException& e) {
        // Refused like a row the update cannot take.
        ReportError(kAddPrefix, e);
        return ResultReply(DBRES_OBJECT_ADD_ERROR);
    }
    try {
        CObjectInfoSet set(database);
        set.Open(kByIdCode, {Text(object.IdCode)});
        if (!set.IsEOF())
            return ResultReply(DBRES_OBJECT_ID_EXISTS);
        if (!object.PhoneNumber.empty()) {
            set.Close();
            set.Open(kByPhoneNumber, {Text(object.PhoneNumber)});
            if (!set.IsEOF())
                return ResultReply(DBRES_OBJECT_PHONE_EXISTS);
        }
        set.AddNew();
        set.SetFromRecord(object);
        try {
            set.Update();
        } catch (const CDbException& e) {
            set.CancelUpdate();
            ReportError(kAddPrefix, e);
            return ResultReply(DBRES_OBJECT_ADD_ERROR);
        }
        set.Close();
        return ResultReply(DBRES_OBJECT_ADDED);
    } catch (const CDbException& e) {
        // Errors other than the failed update show the description alone.
        ReportError("", e);
        return ResultReply(DBRES_OBJECT_ADD_ERROR);
    }
}

void CDbObjectInfo::CheckKeys(const CObjectInfoMsg& object)
{
    CheckKeyLength("ObjectInfo", "IdCode", object.IdCode);
    CheckKeyLength("ObjectInfo", "PhoneNumber", object.PhoneNumber);
}

std::unique_ptr<CObjectInfoMsg> CDbObjectInfo::FindObjectInfo(const CObjectInfoReqMsg& request)
{
    auto first = std::make_unique<CObjectInfoMsg>(request.ReplyType);
    QString where;
    QVariantList params;
    switch (request.Kind) {
    case OBJECT_KIND_BY_ID:
        where = kByIdCode;
        params << Text(request.Key);
        first->Result = DBRES_OBJECT_FOUND_ID;
        break;
    case OBJECT_KIND_BY_PHONE:
        where = kByPhoneNumber;
        params << Text(request.Key);
        first->Result = DBRES_OBJECT_FOUND_PHONE;
        break;
    case OBJECT_KIND_ALL:
        first->Result = DBRES_OBJECT_FOUND_ALL;
        break;
    default:
        first->Result = DBRES_OBJECT_NONE;
        return first;
    }

    try {
        CObjectInfoSet set(database);
        set.Open(where, params);
        if (set.IsEOF())
            first->Result = DBRES_OBJECT_NONE;
        CObjectInfoMsg* last = nullptr;
        while (!set.IsEOF()) {
            if (last == nullptr) {
                set.CopyToRecord(*first);
                last = first.get();
            } else {
                auto record = std::make_unique<CObjectInfoMsg>(DBMSG_OBJECT_INFO);
                set.CopyToRecord(*record);
                CObjectInfoMsg* added = record.get();
                last->Next = std::move(record);
                last = added;
            }
            set.MoveNext();
        }
        set.Close();
    } catch (const CDbException& e) {
        ReportError(kFindPrefix, e);
        auto reply = std::make_unique<CObjectInfoMsg>(request.ReplyType);
        reply->Result = DBRES_OBJECT_FIND_ERROR;
        return reply;
    }

    if (first->Result == DBRES_OBJECT_FOUND_ID || first->Result == DBRES_OBJECT_FOUND_PHONE)
        if (handler != nullptr)
            first->CustomerRecord = handler->FindCustomer(first->Customer);
    return first;
}

std::unique_ptr<CDatabaseMsg> CDbObjectInfo::EditObjectInfo(const CObjectInfoMsg& object)
{
    try {
        CheckKeys(object);
        CObjectInfoSet set(database);
        if (!object.PhoneNumber.empty()) {
            set.Open(kByPhoneNumber, {Text(object.PhoneNumber)});
            if (!set.IsEOF() && set.m_IdCode != object.IdCode)
                return ResultReply(DBRES_OBJECT_PHONE_USED);
            set.Close();
        }
        set.Open(kByIdCode, {Text(object.IdCode)});
        if (set.IsEOF())
            return ResultReply(DBRES_OBJECT_EDIT_NOT_FOUND);
        set.Edit();
        set.SetFromRecord(object);
        set.Update();
        set.Close();
        return ResultReply(DBRES_OBJECT_EDITED);
    } catch (const CDbException& e) {
        ReportError(kEditPrefix, e);
        return ResultReply(DBRES_OBJECT_EDIT_ERROR);
    }
}

bool CDbObjectInfo::FindTestCandidates(const COleDateTime& now, double graceDays, std::vector<TestCandidate>& found)
{
    found.clear();
    if (!now.IsValid())
        return true;  // nothing can be overdue at no time
    // A row is left out only when the engine can tell for sure that it is
    // not overdue: Days is 0, or the date has exactly the stored form and
    // its deadline lies more than two seconds after now (the deadline in the
    // station is rounded to whole seconds). Everything else is judged by
    // the caller, as before.
    constexpr double kJulianDayOfDayZero = 2415018.5;  // 1899-12-30 00:00
    constexpr double kMarginDays = 2.0 / 86400.0;
    const double limit = now.Linear() + kJulianDayOfDayZero + kMarginDays - graceDays;
    // The deadline expression is the one the index holds: the engine reads
    // only the index entries up to the limit. On a file without the index
    // (before its upgrade) the same condition is tested row by row.
    const QString where = QStringLiteral("(%1) <= ?").arg(QLatin1String(DbSchema::kTestDeadlineExpression));
    // What EditObjectInfo would find: the first row of the identity code
    // and the identity code of the first row of the telephone number.
    const QString extra = QStringLiteral(
        "(SELECT o.rowid FROM \"ObjectInfo\" AS o WHERE o.\"IdCode\" = \"ObjectInfo\".\"IdCode\"), "
        "(SELECT o.\"IdCode\" FROM \"ObjectInfo\" AS o WHERE o.\"PhoneNumber\" = \"ObjectInfo\".\"PhoneNumber\"), "
        "typeof(\"IdCode\") = 'text' AND typeof(\"PhoneNumber\") = 'text'");
    try {
        CObjectInfoSet set(database);
        set.SetExtraColumns(extra);
        // "+rowid": the order of the register, without letting the engine
        // prefer a walk over the whole table to sorting the few rows found.
        set.Open(where, {QVariant(limit)}, QStringLiteral("+rowid"));
        while (!set.IsEOF()) {
            TestCandidate candidate;
            candidate.object = std::make_unique<CObjectInfoMsg>(DBMSG_OBJECT_INFO);
            set.CopyToRecord(*candidate.object);
            candidate.rowId = set.GetRowId();
            candidate.plainEdit = IsPlainEdit(set, *candidate.object);
            found.push_back(std::move(candidate));
            set.MoveNext();
        }
        set.Close();
        return true;
    } catch (const CDbException& e) {
        ReportError(kFindPrefix, e);
        found.clear();
        return false;
    }
}

bool CDbObjectInfo::IsPlainEdit(CObjectInfoSet& set, const CObjectInfoMsg& object)
{
    const CObjectInfoMsg& record = object;
    if (set.ExtraInteger(2) == 0 || set.ExtraInteger(0) != set.GetRowId())
        return false;
    if (!record.PhoneNumber.empty() && set.ExtraText(1) != record.IdCode)
        return false;
    try {
        CheckKeys(record);
    } catch (const CDbException&) {
        return false;
    }
    // The columns EditObjectInfo would write: only those that the round
    // trip through the record changes, and the last test alarm. Members
    // that come back unchanged store the same values; only a row whose
    // members change (a long text split anew, say) needs the comparison of
    // the stored values.
    if (set.HoldsRecord(record))
        return true;
    const QVector<QVariant> loaded = set.StoreValues();
    CObjectInfoSet probe(nullptr);
    probe.SetFromRecord(record);
    const QVector<QVariant> values = probe.StoreValues();
    const QVector<QString> names = probe.ColumnNames();
    for (int i = 0; i < names.size(); ++i) {
        if (names[i] == QLatin1String("LastTestAlarm"))
            continue;
        if (!(loaded[i] == values[i] && loaded[i].isNull() == values[i].isNull()))
            return false;
    }
    return true;
}

std::unique_ptr<CDatabaseMsg> CDbObjectInfo::SetLastTestAlarm(TestCandidate& candidate, const COleDateTime& time)
{
    CObjectInfoMsg& object = *candidate.object;
    const COleDateTime before = object.LastTestAlarm;
    object.LastTestAlarm = time;
    if (!candidate.plainEdit)
        return EditObjectInfo(object);
    try {
        // The column's stored form before and after, as Update compares them.
        const QVariant loaded = CFieldExchange::StoredDate(before);
        const QVariant value = CFieldExchange::StoredDate(time);
        if (!(loaded == value && loaded.isNull() == value.isNull())) {
            // The statement Update writes for a change of this column alone.
            CDbStatement write = database->Statement("UPDATE \"ObjectInfo\" SET \"LastTestAlarm\" = ? WHERE rowid = ?");
            write.Bind({value, QVariant(static_cast<qlonglong>(candidate.rowId))});
            write.Step();
        }
        return ResultReply(DBRES_OBJECT_EDITED);
    } catch (const CDbException& e) {
        ReportError(kEditPrefix, e);
        return ResultReply(DBRES_OBJECT_EDIT_ERROR);
    }
}

std::unique_ptr<CDatabaseMsg> CDbObjectInfo::DeleteObjectInfo(const CObjectInfoReqMsg& request)
{
    try {
        CObjectInfoSet set(database);
        set.Open(kByIdCode, {Text(request.Key)});
        if (set.IsEOF())
            return ResultReply(DBRES_OBJECT_DELETE_NOT_FOUND);
        set.Delete();
        set.MoveNext();
        set.Close();
        return ResultReply(DBRES_OBJECT_DELETED);
    } catch (const CDbException& e) {
        ReportError(kDeletePrefix, e);
        return ResultReply(DBRES_OBJECT_DELETE_ERROR);
    }
}
