#include "support/test_backend.h"

#include <QCoreApplication>
#include <gtest/gtest.h>

int main(int argc, char** argv)
{
    // A first start takes the system's language: the tests (and the programs
    // they start) run in the program's own, whatever the machine's locale.
    qputenv("LC_ALL", "C.UTF-8");
    qunsetenv("LANGUAGE");
    tvq52::test::takeBackendArgument(&argc, argv);
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
