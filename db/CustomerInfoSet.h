#pragma once
// Record set of the CustomerInfo table (key: Name).

#include "db/PairInfoSet.h"

#include <string>

class CCustomerInfoSet : public CPairInfoSet {
public:
    explicit CCustomerInfoSet(CDatabase* db) : CPairInfoSet(db) {}
    ~CCustomerInfoSet() override = default;

    const char* GetDefaultSource() const override { return "CustomerInfo"; }
    const char* GetKeyColumn() const override { return "Name"; }
    std::string& Key() override { return m_Name; }
    std::string& Other() override { return m_Info; }

    std::string m_Name;
    std::string m_Info;

protected:
    void DoFieldExchange(CFieldExchange& fx) override
    {
        fx.Text("Name", m_Name);
        fx.Text("Info", m_Info);
    }
    void ResetFields() override
    {
        m_Name.clear();
        m_Info.clear();
    }
};
