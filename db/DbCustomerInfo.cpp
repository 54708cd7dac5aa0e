#include "db/DbCustomerInfo.h"

#include "db/CustomerInfoMsg.h"
#include "db/CustomerInfoReqMsg.h"
#include "db/CustomerInfoSet.h"

std::unique_ptr<CDatabaseMsg> CDbCustomerInfo::AddCustomerInfo(const CCustomerInfoMsg& record, uint16_t replyType)
{
    return Add(record.Name, record.Info, replyType);
}

std::unique_ptr<CDatabaseMsg> CDbCustomerInfo::FindCustomerInfo(const CCustomerInfoReqMsg& request, uint16_t replyType)
{
    return Find(request, replyType);
}

std::unique_ptr<CDatabaseMsg> CDbCustomerInfo::EditCustomerInfo(const CCustomerInfoMsg& record, uint16_t replyType)
{
    return Edit(record.Name, record.Info, replyType);
}

std::unique_ptr<CDatabaseMsg> CDbCustomerInfo::DeleteCustomerInfo(const CCustomerInfoReqMsg& request,
                                                                  uint16_t replyType)
{
    return Delete(request.Key, replyType);
}

std::unique_ptr<CPairInfoSet> CDbCustomerInfo::NewSet() const
{
    return std::make_unique<CCustomerInfoSet>(database);
}

std::unique_ptr<CDatabaseMsg> CDbCustomerInfo::NewRecord(uint16_t type, const std::string& key,
                                                         const std::string& other) const
{
    auto record = std::make_unique<CCustomerInfoMsg>(type);
    record->Name = key;
    record->Info = other;
    return record;
}

CDbPairInfo::Prefixes CDbCustomerInfo::GetPrefixes() const
{
    return {"CDatabaseHandler::AddCustomerInfo: ", "CDatabaseHandler::FindCustomerInfo: ",
            "CDatabaseHandler::EditCustomerInfo: ", "CDatabaseHandler::DeleteCustomerInfo: "};
}
