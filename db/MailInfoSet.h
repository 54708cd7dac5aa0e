#pragma once
// Record set of the MailInfo table (key: Address).

#include "db/PairInfoSet.h"

#include <string>

class CMailInfoSet : public CPairInfoSet {
public:
    explicit CMailInfoSet(CDatabase* db) : CPairInfoSet(db) {}
    ~CMailInfoSet() override = default;

    const char* GetDefaultSource() const override { return "MailInfo"; }
    const char* GetKeyColumn() const override { return "Address"; }
    std::string& Key() override { return m_Address; }
    std::string& Other() override { return m_Name; }

    std::string m_Name;
    std::string m_Address;

protected:
    void DoFieldExchange(CFieldExchange& fx) override
    {
        fx.Text("Name", m_Name);
        fx.Text("Address", m_Address);
    }
    void ResetFields() override
    {
        m_Name.clear();
        m_Address.clear();
    }
};
