#include "core/application_info.h"

#include <gtest/gtest.h>

using namespace tvq52;

TEST(AsksForVersion, AnywhereAmongTheOptionsButNotAfterTheirEnd)
{
    const char* alone[] = {"tvq52", "--version"};
    EXPECT_TRUE(asksForVersion(2, alone));
    const char* among[] = {"tvq52-cli", "--home", "/tmp/x", "--version", "identify"};
    EXPECT_TRUE(asksForVersion(5, among));
    // After "--" it is an argument, such as a file of that name.
    const char* argument[] = {"tvq52", "--", "--version"};
    EXPECT_FALSE(asksForVersion(3, argument));
    // The program's own name is never an option.
    const char* named[] = {"--version", "4711"};
    EXPECT_FALSE(asksForVersion(2, named));
    const char* none[] = {"tvq52", "--versions", "-version"};
    EXPECT_FALSE(asksForVersion(3, none));
}
