#pragma once
// Record set of the ObjectInfo table.

#include "db/RecordSet.h"

#include <cstdint>
#include <string>

class CObjectInfoMsg;

class CObjectInfoSet : public CRecordSet {
public:
    explicit CObjectInfoSet(CDatabase* db) : CRecordSet(db) {}
    ~CObjectInfoSet() override = default;

    const char* GetDefaultSource() const override { return "ObjectInfo"; }

    // All 18 columns from the record, the long texts split over two columns each.
    void SetFromRecord(const CObjectInfoMsg& record);
    // All fields of the record from the current row, the split texts joined.
    void CopyToRecord(CObjectInfoMsg& record) const;
    // True when SetFromRecord(record) would leave every member but the last
    // test alarm as it is now. (False does not mean that Update would write
    // something: a change may vanish in the cut to the column.)
    bool HoldsRecord(const CObjectInfoMsg& record) const;

    std::string m_IdCode;
    std::string m_IdInfo;
    int16_t m_Days = 0;
    int32_t m_TestAlarmOnly = 0;
    std::string m_SmsNumEmg;
    std::string m_SmsNumTech;
    std::string m_Address;
    int32_t m_AlarmPopUpEnabled = 0;
    std::string m_Customer;
    std::string m_ElevatorType;
    std::string m_MailAddrEmg1;
    std::string m_MailAddrEmg2;
    std::string m_MailAddrTech1;
    std::string m_MailAddrTech2;
    std::string m_Notes1;
    std::string m_Notes2;
    COleDateTime m_LastTestAlarm;
    std::string m_PhoneNumber;

protected:
    void DoFieldExchange(CFieldExchange& fx) override;
    void ResetFields() override;
};
