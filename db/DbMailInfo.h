#pragma once
// The operations on the MailInfo table (Address is the key).

#include "db/DbPairInfo.h"

#include <cstdint>
#include <memory>

class CMailInfoMsg;
class CMailInfoReqMsg;

class CDbMailInfo : public CDbPairInfo {
public:
    std::unique_ptr<CDatabaseMsg> AddMailInfo(const CMailInfoMsg& record, uint16_t replyType);
    std::unique_ptr<CDatabaseMsg> FindMailInfo(const CMailInfoReqMsg& request, uint16_t replyType);
    std::unique_ptr<CDatabaseMsg> EditMailInfo(const CMailInfoMsg& record, uint16_t replyType);
    std::unique_ptr<CDatabaseMsg> DeleteMailInfo(const CMailInfoReqMsg& request, uint16_t replyType);

protected:
    std::unique_ptr<CPairInfoSet> NewSet() const override;
    std::unique_ptr<CDatabaseMsg> NewRecord(uint16_t type, const std::string& key,
                                            const std::string& other) const override;
    Prefixes GetPrefixes() const override;
};
