#pragma once
// The progress list of the database manager dialog, as the creation and
// conversion of a database see it.

#include <string>

class CDbProgressList {
public:
    virtual ~CDbProgressList() = default;
    virtual void AddProgressLine(const std::string& text) = 0;
};
