#pragma once
// One page of the alarm list print-out: its lines, top to bottom.

#include "ui/PrintLine.h"

#include <cstddef>
#include <string>
#include <utility>
#include <vector>

class CPrintPage {
public:
    void AddLine(std::string text) { lines.emplace_back(std::move(text)); }
    std::size_t GetLineCount() const { return lines.size(); }
    const std::vector<CPrintLine>& GetLines() const { return lines; }

private:
    std::vector<CPrintLine> lines;
};
