#include "ui/PrintObject.h"

void CPrintObject::AddLine(std::string text)
{
    if (pages.empty() || pages.back()->GetLineCount() >= kLinesPerPage)
        pages.push_back(std::make_unique<CPrintPage>());
    pages.back()->AddLine(std::move(text));
}

const CPrintPage* CPrintObject::GetPage(int number) const
{
    if (number < 1 || number > GetPageCount())
        return nullptr;
    return pages[static_cast<std::size_t>(number - 1)].get();
}
