#pragma once
// Record set of the AlarmInfo table.

#include "db/RecordSet.h"

#include <cstdint>
#include <string>

class CAlarmInfoSet : public CRecordSet {
public:
    explicit CAlarmInfoSet(CDatabase* db) : CRecordSet(db) {}
    ~CAlarmInfoSet() override = default;

    const char* GetDefaultSource() const override { return "AlarmInfo"; }

    int32_t m_PrimaryKey = 0;
    std::string m_IdCode;
    std::string m_IdInfo;
    std::string m_Text;
    std::string m_AckOperator;
    uint8_t m_AlarmStatus = 0;
    std::string m_ExecOperator;
    uint8_t m_AlarmSource = 0;
    uint8_t m_AlarmType = 0;
    uint8_t m_OpFailType = 0;
    COleDateTime m_AckTime;
    COleDateTime m_AlarmTime;
    COleDateTime m_ExecTime;
    std::string m_CallerIdInfo;

protected:
    void DoFieldExchange(CFieldExchange& fx) override;
    void ResetFields() override;
};
