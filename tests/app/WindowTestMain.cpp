// Test main for the start-up with windows: a QApplication on the offscreen
// platform and, unlike the window tests, no dictionary loaded beforehand; the
// start-up under test loads it.

#include <gtest/gtest.h>

#include <QApplication>

#include <cstdlib>

int main(int argc, char** argv)
{
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QApplication application(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
