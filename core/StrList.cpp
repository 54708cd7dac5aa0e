#include "core/StrList.h"

void CStrList::RemoveAll()
{
    items.clear();
    cursor = 0;
}

const std::string* CStrList::GetNext()
{
    if (cursor >= items.size())
        return nullptr;
    return &items[cursor++];
}
