#pragma once
// Every text the station shows or sends, by key and language, from the
// dictionary built into the program. One instance per process; worker threads
// translate while the operator may switch the language.

#include "dictionary/DictionaryTag.h"

#include <cstddef>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

class CDictionaryParser;

class CDictionary {
public:
    static constexpr const char* kMissingText = "*NA*";

    // The process's dictionary, created on first use.
    static CDictionary& Instance();

    // A separate dictionary (tests, benchmarks); the station uses Instance().
    CDictionary();
    ~CDictionary();
    CDictionary(const CDictionary&) = delete;
    CDictionary& operator=(const CDictionary&) = delete;

    // Checks and reads the dictionary built into the program. Runs once; a
    // second call answers as the first did.
    bool Load();
    // The same for dictionary bytes given by the caller (header included).
    bool Load(const unsigned char* data, std::size_t size);

    // The text of the key in the current language, or "*NA*" when there is
    // none (no fallback to another language). Safe from any thread.
    std::string Translate(const std::string& key) const;

    // Switches every later lookup to the language; false (and no change) when
    // the dictionary has no such language. Exact, case-sensitive.
    bool SetLanguage(const std::string& language);
    bool IsLanguage(const std::string& language) const;
    // The languages in the order of their first appearance.
    const std::vector<std::string>& GetLanguages() const { return languages; }
    std::string GetLanguage() const;

    // Resolves the two escapes of dictionary texts: backslash-n is a line
    // break and backslash-t a tab; a doubled backslash keeps both characters
    // and the letter; backslash-r stays as it is.
    static std::string ResolveEscapes(std::string text);

    // Makes the core runtime's text lookup (used by code below the windows)
    // answer from this dictionary.
    void InstallAsTextLookup();

    std::size_t GetTagCount() const { return tags.size(); }
    // Every key in order.
    std::vector<std::string> GetKeys() const;

private:
    bool Parse(const unsigned char* data, std::size_t size);

    std::map<std::string, std::unique_ptr<CDictionaryTag>> tags;
    std::vector<std::string> languages;

    mutable std::mutex languageLock;
    std::string currentLanguage;

    std::unique_ptr<CDictionaryParser> parser;
    bool loadAttempted = false;
    bool loaded = false;
};
