#pragma once
// Record set of the SmsNumberInfo table (key: Number).

#include "db/PairInfoSet.h"

#include <string>

class CSmsNumInfoSet : public CPairInfoSet {
public:
    explicit CSmsNumInfoSet(CDatabase* db) : CPairInfoSet(db) {}
    ~CSmsNumInfoSet() override = default;

    const char* GetDefaultSource() const override { return "SmsNumberInfo"; }
    const char* GetKeyColumn() const override { return "Number"; }
    std::string& Key() override { return m_Number; }
    std::string& Other() override { return m_Name; }

    std::string m_Name;
    std::string m_Number;

protected:
    void DoFieldExchange(CFieldExchange& fx) override
    {
        fx.Text("Name", m_Name);
        fx.Text("Number", m_Number);
    }
    void ResetFields() override
    {
        m_Name.clear();
        m_Number.clear();
    }
};
