#include "db/AlarmInfoSet.h"

void CAlarmInfoSet::DoFieldExchange(CFieldExchange& fx)
{
    fx.AutoLong("PrimaryKey", m_PrimaryKey);
    fx.Text("IdCode", m_IdCode);
    fx.Text("IdInfo", m_IdInfo);
    fx.Text("Text", m_Text);
    fx.Text("AckOperator", m_AckOperator);
    fx.Byte("AlarmStatus", m_AlarmStatus);
    fx.Text("ExecOperator", m_ExecOperator);
    fx.Byte("AlarmSource", m_AlarmSource);
    fx.Byte("AlarmType", m_AlarmType);
    fx.Byte("OpFailType", m_OpFailType);
    fx.Date("AckTime", m_AckTime);
    fx.Date("AlarmTime", m_AlarmTime);
    fx.Date("ExecTime", m_ExecTime);
    fx.Text("CallerIdInfo", m_CallerIdInfo);
}

void CAlarmInfoSet::ResetFields()
{
    m_PrimaryKey = 0;
    m_IdCode.clear();
    m_IdInfo.clear();
    m_Text.clear();
    m_AckOperator.clear();
    m_AlarmStatus = 0;
    m_ExecOperator.clear();
    m_AlarmSource = 0;
    m_AlarmType = 0;
    m_OpFailType = 0;
    m_AckTime = COleDateTime();
    m_AlarmTime = COleDateTime();
    m_ExecTime = COleDateTime();
    m_CallerIdInfo.clear();
}
