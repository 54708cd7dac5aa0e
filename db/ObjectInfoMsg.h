#pragma once
// One monitored object (ObjectInfo row). The two-column texts of the table
// (technical and emergency mail recipients, notes) are one field each here.

#include "core/OleDateTime.h"
#include "db/CustomerInfoMsg.h"
#include "messages/DatabaseMsg.h"

#include <cstdint>
#include <memory>
#include <string>

class CObjectInfoMsg : public CDatabaseMsg {
public:
    CObjectInfoMsg() = default;
    explicit CObjectInfoMsg(uint16_t msgType) : CDatabaseMsg(msgType) {}

    CObjectInfoMsg* NextObject() const { return static_cast<CObjectInfoMsg*>(Next.get()); }

    std::string IdCode;
    std::string PhoneNumber;
    std::string IdInfo;
    std::string Address;
    int16_t Days = 0;  // days between test alarms; 0: no supervision
    COleDateTime LastTestAlarm;
    int32_t TestAlarmOnly = 0;
    int32_t AlarmPopUpEnabled = 0;
    std::string MailAddrTech;
    std::string SmsNumTech;
    std::string MailAddrEmg;
    std::string SmsNumEmg;
    std::string ElevatorType;
    std::string Customer;
    std::string Notes;
    // The customer named in Customer, attached by a single-object search.
    std::unique_ptr<CCustomerInfoMsg> CustomerRecord;
};
