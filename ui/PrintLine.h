#pragma once
// One printed line of the alarm list print-out.

#include <string>
#include <utility>

class CPrintLine {
public:
    explicit CPrintLine(std::string lineText) : text(std::move(lineText)) {}
    const std::string& GetText() const { return text; }

private:
    std::string text;
};
