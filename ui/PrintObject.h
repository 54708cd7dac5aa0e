#pragma once
// The page store of the alarm list print-out: lines are added in order and
// fill pages of at most 50 lines; a line that does not fit on the current
// page starts the next one.

#include "ui/PrintPage.h"

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

class CPrintObject {
public:
    static constexpr std::size_t kLinesPerPage = 50;

    void AddLine(std::string text);
    // Pages are counted from 1; nullptr for a number without a page.
    const CPrintPage* GetPage(int number) const;
    int GetPageCount() const { return static_cast<int>(pages.size()); }
    void RemoveAll() { pages.clear(); }

private:
    std::vector<std::unique_ptr<CPrintPage>> pages;
};
