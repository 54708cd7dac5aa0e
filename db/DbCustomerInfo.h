#pragma once
// The operations on the CustomerInfo table (Name is the key).

#include "db/DbPairInfo.h"

#include <cstdint>
#include <memory>

class CCustomerInfoMsg;
class CCustomerInfoReqMsg;

class CDbCustomerInfo : public CDbPairInfo {
public:
    std::unique_ptr<CDatabaseMsg> AddCustomerInfo(const CCustomerInfoMsg& record, uint16_t replyType);
    std::unique_ptr<CDatabaseMsg> FindCustomerInfo(const CCustomerInfoReqMsg& request, uint16_t replyType);
    std::unique_ptr<CDatabaseMsg> EditCustomerInfo(const CCustomerInfoMsg& record, uint16_t replyType);
    std::unique_ptr<CDatabaseMsg> DeleteCustomerInfo(const CCustomerInfoReqMsg& request, uint16_t replyType);

protected:
    std::unique_ptr<CPairInfoSet> NewSet() const override;
    std::unique_ptr<CDatabaseMsg> NewRecord(uint16_t type, const std::string& key,
                                            const std::string& other) const override;
    Prefixes GetPrefixes() const override;
};
