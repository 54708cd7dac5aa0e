#pragma once
// One key of the dictionary with its text per language.

#include <map>
#include <string>

class CDictionaryTag {
public:
    explicit CDictionaryTag(std::string key) : name(std::move(key)) {}

    const std::string& GetName() const { return name; }
    // A second text for the same language replaces the first.
    void SetText(const std::string& language, std::string text) { texts[language] = std::move(text); }
    bool HasTexts() const { return !texts.empty(); }
    // The text in the language, or nullptr when the tag has none.
    const std::string* FindText(const std::string& language) const
    {
        const auto it = texts.find(language);
        return it == texts.end() ? nullptr : &it->second;
    }
    const std::map<std::string, std::string>& Texts() const { return texts; }

private:
    std::string name;
    std::map<std::string, std::string> texts;
};
