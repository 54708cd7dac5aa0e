// Test main for the window tests: a QApplication on the offscreen platform
// and the built-in dictionary in English.

#include "support/TestDictionary.h"

#include <gtest/gtest.h>

#include <QApplication>

#include <cstdlib>

int main(int argc, char** argv)
{
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QApplication application(argc, argv);
    if (!InstallEnglishDictionary())
        return 3;
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
