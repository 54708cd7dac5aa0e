#pragma once
// The dictionary built into the program as the tests see it: the process's
// one dictionary, checked and loaded once, in English, and installed as the
// text lookup of the code below the windows. Tests that switch the language
// put English back with ScopedLanguage.
//
// Link orva_dictionary to use it.

#include "core/TextLookup.h"
#include "dictionary/Dictionary.h"

#include <gtest/gtest.h>

#include <string>

// Loads the built-in dictionary (once), selects English and makes it the
// text lookup. False when the dictionary fails its check.
inline bool InstallEnglishDictionary()
{
    CDictionary& dictionary = CDictionary::Instance();
    if (!dictionary.Load() || !dictionary.SetLanguage("en"))
        return false;
    dictionary.InstallAsTextLookup();
    return true;
}

// The English dictionary for every test of the suite; afterwards the text
// lookup is removed again, so no later suite finds texts it did not ask for.
class EnglishDictionaryTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { ASSERT_TRUE(InstallEnglishDictionary()); }
    static void TearDownTestSuite() { SetTextLookup(nullptr); }
};

// Another language for the lifetime of the object, then English again.
class ScopedLanguage {
public:
    explicit ScopedLanguage(const std::string& language) : switched_(CDictionary::Instance().SetLanguage(language)) {}
    ~ScopedLanguage() { CDictionary::Instance().SetLanguage("en"); }
    ScopedLanguage(const ScopedLanguage&) = delete;
    ScopedLanguage& operator=(const ScopedLanguage&) = delete;

    // False when the dictionary has no such language (nothing changed).
    bool Switched() const { return switched_; }

private:
    bool switched_;
};
