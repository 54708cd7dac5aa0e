#include "db/DbSmsNumInfo.h"

#include "db/SmsNumInfoMsg.h"
#include "db/SmsNumInfoReqMsg.h"
#include "db/SmsNumInfoSet.h"

std::unique_ptr<CDatabaseMsg> CDbSmsNumInfo::AddSmsNumInfo(const CSmsNumInfoMsg& record, uint16_t replyType)
{
    return Add(record.Number, record.Name, replyType);
}

std::unique_ptr<CDatabaseMsg> CDbSmsNumInfo::FindSmsNumInfo(const CSmsNumInfoReqMsg& request, uint16_t replyType)
{
    return Find(request, replyType);
}

std::unique_ptr<CDatabaseMsg> CDbSmsNumInfo::EditSmsNumInfo(const CSmsNumInfoMsg& record, uint16_t replyType)
{
    return Edit(record.Number, record.Name, replyType);
}

std::unique_ptr<CDatabaseMsg> CDbSmsNumInfo::DeleteSmsNumInfo(const CSmsNumInfoReqMsg& request, uint16_t replyType)
{
    return Delete(request.Key, replyType);
}

std::unique_ptr<CPairInfoSet> CDbSmsNumInfo::NewSet() const
{
    return std::make_unique<CSmsNumInfoSet>(database);
}

std::unique_ptr<CDatabaseMsg> CDbSmsNumInfo::NewRecord(uint16_t type, const std::string& key,
                                                       const std::string& other) const
{
    auto record = std::make_unique<CSmsNumInfoMsg>(type);
    record->Number = key;
    record->Name = other;
    return record;
}

CDbPairInfo::Prefixes CDbSmsNumInfo::GetPrefixes() const
{
    return {"CDatabaseHandler::AddSmsNumInfo: ", "CDatabaseHandler::FindSmsNumInfo: ",
            "CDatabaseHandler::EditSmsNumInfo: ", "CDatabaseHandler::DeleteSmsNumInfo: "};
}
