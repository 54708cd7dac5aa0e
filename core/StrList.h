#pragma once
// An owned list of strings with an iteration cursor (recipient lists, text lines).

#include <cstddef>
#include <string>
#include <vector>

class CStrList {
public:
    // Appends a copy of the text.
    void Add(const std::string& text) { items.push_back(text); }
    // Deletes every string and puts the cursor back to the start.
    void RemoveAll();
    std::size_t GetCount() const { return items.size(); }

    // The string at the cursor, advancing it; nullptr at the end.
    const std::string* GetNext();
    // Puts the cursor back to the first string.
    void Rewind() { cursor = 0; }

    const std::vector<std::string>& Items() const { return items; }

private:
    std::vector<std::string> items;
    std::size_t cursor = 0;
};
