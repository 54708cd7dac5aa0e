#pragma once
// The operations on the SmsNumberInfo table (Number is the key).

#include "db/DbPairInfo.h"

#include <cstdint>
#include <memory>

class CSmsNumInfoMsg;
class CSmsNumInfoReqMsg;

class CDbSmsNumInfo : public CDbPairInfo {
public:
    std::unique_ptr<CDatabaseMsg> AddSmsNumInfo(const CSmsNumInfoMsg& record, uint16_t replyType);
    std::unique_ptr<CDatabaseMsg> FindSmsNumInfo(const CSmsNumInfoReqMsg& request, uint16_t replyType);
    std::unique_ptr<CDatabaseMsg> EditSmsNumInfo(const CSmsNumInfoMsg& record, uint16_t replyType);
    std::unique_ptr<CDatabaseMsg> DeleteSmsNumInfo(const CSmsNumInfoReqMsg& request, uint16_t replyType);

protected:
    std::unique_ptr<CPairInfoSet> NewSet() const override;
    std::unique_ptr<CDatabaseMsg> NewRecord(uint16_t type, const std::string& key,
                                            const std::string& other) const override;
    Prefixes GetPrefixes() const override;
};
