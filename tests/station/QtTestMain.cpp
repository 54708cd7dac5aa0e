// Test main for the tests that need the user-interface thread's event
// machinery (posted events, timers): a QCoreApplication around the tests.

#include <gtest/gtest.h>

#include <QCoreApplication>

int main(int argc, char** argv)
{
    QCoreApplication application(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
