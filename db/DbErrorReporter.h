#pragma once
// Where a database error goes: a modal message box with an exclamation icon
// and an OK button, whose text is the operation's prefix followed by the
// engine's description. The windows implement it; headless runs print it;
// tests record it.

#include <string>

class CDbErrorReporter {
public:
    virtual ~CDbErrorReporter() = default;
    virtual void ShowDbError(const std::string& text) = 0;
};
