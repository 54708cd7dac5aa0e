#include "db/DbPairInfo.h"

#include "db/KeyReqMsg.h"
#include "db/PairInfoSet.h"
#include "db/ReplyChain.h"
#include "messages/DatabaseMsg.h"

namespace {

std::unique_ptr<CDatabaseMsg> ResultReply(uint16_t type, uint16_t result)
{
    auto reply = std::make_unique<CDatabaseMsg>(type);
    reply->Result = result;
    return reply;
}

QString ByKey(const CPairInfoSet& set)
{
    return QStringLiteral("\"%1\" = ?").arg(QString::fromLatin1(set.GetKeyColumn()));
}

}  // namespace

std::unique_ptr<CDatabaseMsg> CDbPairInfo::Add(const std::string& key, const std::string& other, uint16_t replyType)
{
    try {
        auto set = NewSet();
        CheckKeyLength(set->GetDefaultSource(), set->GetKeyColumn(), key);
        set->Open(ByKey(*set), {QString::fromStdString(key)});
        if (!set->IsEOF())
            return ResultReply(replyType, DBRES_INFO_EXISTS);
        set->AddNew();
        set->Key() = key;
        set->Other() = other;
        try {
            set->Update();
        } catch (const CDbException& e) {
            set->CancelUpdate();
            ReportError(GetPrefixes().add, e);
            return ResultReply(replyType, DBRES_INFO_ADD_ERROR);
        }
        set->Close();
        return ResultReply(replyType, DBRES_INFO_ADDED);
    } catch (const CDbException& e) {
        ReportError(GetPrefixes().add, e);
        return ResultReply(replyType, DBRES_INFO_ADD_ERROR);
    }
}

std::unique_ptr<CDatabaseMsg> CDbPairInfo::Find(const CKeyReqMsg& request, uint16_t replyType)
{
    uint16_t result = 0;
    bool byKey = false;
    switch (request.Kind) {
    case INFO_KIND_BY_KEY:
        result = DBRES_INFO_FOUND_KEY;
        byKey = true;
        break;
    case INFO_KIND_ALL:
        result = DBRES_INFO_FOUND_ALL;
        break;
    default: {
        auto none = NewRecord(replyType, {}, {});
        none->Result = DBRES_INFO_NONE;
        return none;
    }
    }
    try {
        auto set = NewSet();
        if (byKey)
            set->Open(ByKey(*set), {QString::fromStdString(request.Key)});
        else
            set->Open();
        CReplyChain<CDatabaseMsg> chain(result);
        for (; !set->IsEOF(); set->MoveNext())
            chain.Append(NewRecord(replyType, set->Key(), set->Other()));
        set->Close();
        if (!chain.IsEmpty())
            return chain.Take();
        auto none = NewRecord(replyType, {}, {});
        none->Result = DBRES_INFO_NONE;
        return none;
    } catch (const CDbException& e) {
        ReportError(GetPrefixes().find, e);
        auto failed = NewRecord(replyType, {}, {});
        failed->Result = DBRES_INFO_FIND_ERROR;
        return failed;
    }
}

std::unique_ptr<CDatabaseMsg> CDbPairInfo::Edit(const std::string& key, const std::string& other, uint16_t replyType)
{
    try {
        auto set = NewSet();
        CheckKeyLength(set->GetDefaultSource(), set->GetKeyColumn(), key);
        set->Open(ByKey(*set), {QString::fromStdString(key)});
        if (set->IsEOF())
            return ResultReply(replyType, DBRES_INFO_EDIT_NOT_FOUND);
        set->Edit();
        set->Other() = other;
        set->Update();
        set->Close();
        return ResultReply(replyType, DBRES_INFO_EDITED);
    } catch (const CDbException& e) {
        ReportError(GetPrefixes().edit, e);
        return ResultReply(replyType, DBRES_INFO_EDIT_ERROR);
    }
}

std::unique_ptr<CDatabaseMsg> CDbPairInfo::Delete(const std::string& key, uint16_t replyType)
{
    try {
        auto set = NewSet();
        set->Open(ByKey(*set), {QString::fromStdString(key)});
        if (set->IsEOF())
            return ResultReply(replyType, DBRES_INFO_DELETE_NOT_FOUND);
        set->Delete();
        set->MoveNext();
        set->Close();
        return ResultReply(replyType, DBRES_INFO_DELETED);
    } catch (const CDbException& e) {
        ReportError(GetPrefixes().remove, e);
        return ResultReply(replyType, DBRES_INFO_DELETE_ERROR);
    }
}
