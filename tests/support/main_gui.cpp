#include "support/test_backend.h"

#include <QApplication>
#include <gtest/gtest.h>

int main(int argc, char** argv)
{
    // Window tests never need a display.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    // A first start takes the system's language: the tests (and the programs
    // they start) run in the program's own, whatever the machine's locale.
    qputenv("LC_ALL", "C.UTF-8");
    qunsetenv("LANGUAGE");
    tvq52::test::takeBackendArgument(&argc, argv);
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
