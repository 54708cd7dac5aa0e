// Test main for the window tests: a QApplication on the offscreen platform
// and the built-in dictionary in English.

#include "dictionary/Dictionary.h"

#include <gtest/gtest.h>

#include <QApplication>

#include <cstdlib>

int main(int argc, char** argv)
{
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QApplication application(argc, argv);
    CDictionary& dictionary = CDictionary::Instance();
    if (!dictionary.Load())
        return 3;
    dictionary.SetLanguage("en");
    dictionary.InstallAsTextLookup();
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
