#pragma once
// The alarm texts are checked against the real dictionary in English, so a
// changed dictionary text shows up here as well.

#include "core/TextLookup.h"
#include "dictionary/Dictionary.h"

#include <gtest/gtest.h>

class TextsDictionaryTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        static CDictionary dictionary;
        ASSERT_TRUE(dictionary.Load());
        ASSERT_TRUE(dictionary.SetLanguage("en"));
        dictionary.InstallAsTextLookup();
    }
    static void TearDownTestSuite() { SetTextLookup(nullptr); }
};
