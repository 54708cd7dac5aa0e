#include "db/DbMailInfo.h"

#include "db/MailInfoMsg.h"
#include "db/MailInfoReqMsg.h"
#include "db/MailInfoSet.h"

std::unique_ptr<CDatabaseMsg> CDbMailInfo::AddMailInfo(const CMailInfoMsg& record, uint16_t replyType)
{
    return Add(record.Address, record.Name, replyType);
}

std::unique_ptr<CDatabaseMsg> CDbMailInfo::FindMailInfo(const CMailInfoReqMsg& request, uint16_t replyType)
{
    return Find(request, replyType);
}

std::unique_ptr<CDatabaseMsg> CDbMailInfo::EditMailInfo(const CMailInfoMsg& record, uint16_t replyType)
{
    return Edit(record.Address, record.Name, replyType);
}

std::unique_ptr<CDatabaseMsg> CDbMailInfo::DeleteMailInfo(const CMailInfoReqMsg& request, uint16_t replyType)
{
    return Delete(request.Key, replyType);
}

std::unique_ptr<CPairInfoSet> CDbMailInfo::NewSet() const
{
    return std::make_unique<CMailInfoSet>(database);
}

std::unique_ptr<CDatabaseMsg> CDbMailInfo::NewRecord(uint16_t type, const std::string& key,
                                                     const std::string& other) const
{
    auto record = std::make_unique<CMailInfoMsg>(type);
    record->Address = key;
    record->Name = other;
    return record;
}

CDbPairInfo::Prefixes CDbMailInfo::GetPrefixes() const
{
    return {"CDatabaseHandler::AddMailInfo: ", "CDatabaseHandler::FindMailInfo: ", "CDatabaseHandler::EditMailInfo: ",
            "CDatabaseHandler::DeleteMailInfo: "};
}
