#include "db/ObjectInfoSet.h"

#include "db/ObjectInfoMsg.h"
#include "db/Utf8Text.h"

void CObjectInfoSet::DoFieldExchange(CFieldExchange& fx)
{
    fx.Text("IdCode", m_IdCode);
    fx.Text("IdInfo", m_IdInfo);
    fx.Short("Days", m_Days);
    fx.Bool("TestAlarmOnly", m_TestAlarmOnly);
    fx.Text("SmsNumEmg", m_SmsNumEmg);
    fx.Text("SmsNumTech", m_SmsNumTech);
    fx.Text("Address", m_Address);
    fx.Bool("AlarmPopUpEnabled", m_AlarmPopUpEnabled);
    fx.Text("Customer", m_Customer);
    fx.Text("ElevatorType", m_ElevatorType);
    fx.Text("MailAddrEmg1", m_MailAddrEmg1);
    fx.Text("MailAddrEmg2", m_MailAddrEmg2);
    fx.Text("MailAddrTech1", m_MailAddrTech1);
    fx.Text("MailAddrTech2", m_MailAddrTech2);
    fx.Text("Notes1", m_Notes1);
    fx.Text("Notes2", m_Notes2);
    fx.Date("LastTestAlarm", m_LastTestAlarm);
    fx.Text("PhoneNumber", m_PhoneNumber);
}

void CObjectInfoSet::ResetFields()
{
    m_IdCode.clear();
    m_IdInfo.clear();
    m_Days = 0;
    m_TestAlarmOnly = 0;
    m_SmsNumEmg.clear();
    m_SmsNumTech.clear();
    m_Address.clear();
    m_AlarmPopUpEnabled = 0;
    m_Customer.clear();
    m_ElevatorType.clear();
    m_MailAddrEmg1.clear();
    m_MailAddrEmg2.clear();
    m_MailAddrTech1.clear();
    m_MailAddrTech2.clear();
    m_Notes1.clear();
    m_Notes2.clear();
    m_LastTestAlarm = COleDateTime();
    m_PhoneNumber.clear();
}

void CObjectInfoSet::SetFromRecord(const CObjectInfoMsg& record)
{
    m_IdCode = record.IdCode;
    m_PhoneNumber = record.PhoneNumber;
    m_IdInfo = record.IdInfo;
    m_Address = record.Address;
    m_Days = record.Days;
    m_LastTestAlarm = record.LastTestAlarm;
    m_TestAlarmOnly = record.TestAlarmOnly;
    m_AlarmPopUpEnabled = record.AlarmPopUpEnabled;
    Utf8Text::Split(record.MailAddrTech, m_MailAddrTech1, m_MailAddrTech2);
    m_SmsNumTech = record.SmsNumTech;
    Utf8Text::Split(record.MailAddrEmg, m_MailAddrEmg1, m_MailAddrEmg2);
    m_SmsNumEmg = record.SmsNumEmg;
    m_ElevatorType = record.ElevatorType;
    m_Customer = record.Customer;
    Utf8Text::Split(record.Notes, m_Notes1, m_Notes2);
}

void CObjectInfoSet::CopyToRecord(CObjectInfoMsg& record) const
{
    record.IdCode = m_IdCode;
    record.PhoneNumber = m_PhoneNumber;
    record.IdInfo = m_IdInfo;
    record.Address = m_Address;
    record.Days = m_Days;
    record.LastTestAlarm = m_LastTestAlarm;
    record.TestAlarmOnly = m_TestAlarmOnly;
    record.AlarmPopUpEnabled = m_AlarmPopUpEnabled;
    record.MailAddrTech = Utf8Text::Join(m_MailAddrTech1, m_MailAddrTech2);
    record.MailAddrEmg = Utf8Text::Join(m_MailAddrEmg1, m_MailAddrEmg2);
    record.Notes = Utf8Text::Join(m_Notes1, m_Notes2);
    record.SmsNumTech = m_SmsNumTech;
    record.SmsNumEmg = m_SmsNumEmg;
    record.ElevatorType = m_ElevatorType;
    record.Customer = m_Customer;
}

namespace {

bool SplitsInto(const std::string& text, const std::string& first, const std::string& second)
{
    std::string splitFirst;
    std::string splitSecond;
    Utf8Text::Split(text, splitFirst, splitSecond);
    return splitFirst == first && splitSecond == second;
}

}  // namespace

bool CObjectInfoSet::HoldsRecord(const CObjectInfoMsg& record) const
{
    return m_IdCode == record.IdCode && m_PhoneNumber == record.PhoneNumber && m_IdInfo == record.IdInfo &&
           m_Address == record.Address && m_Days == record.Days && m_TestAlarmOnly == record.TestAlarmOnly &&
           m_AlarmPopUpEnabled == record.AlarmPopUpEnabled && m_SmsNumTech == record.SmsNumTech &&
           m_SmsNumEmg == record.SmsNumEmg && m_ElevatorType == record.ElevatorType && m_Customer == record.Customer &&
           SplitsInto(record.MailAddrTech, m_MailAddrTech1, m_MailAddrTech2) &&
           SplitsInto(record.MailAddrEmg, m_MailAddrEmg1, m_MailAddrEmg2) &&
           SplitsInto(record.Notes, m_Notes1, m_Notes2);
}
