#include "db/DbObjectInfo.h"

#include "db/DatabaseHandler.h"
#include "db/ObjectInfoMsg.h"
#include "db/ObjectInfoReqMsg.h"
#include "db/ObjectInfoSet.h"

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
