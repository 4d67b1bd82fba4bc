#pragma once

#include "core/error.h"
#include "core/own_words.h"

#include <gtest/gtest.h>
#include <utility>

namespace tvq52::test {

// Passes when the step succeeded; a failure shows its text.
inline ::testing::AssertionResult succeeded(const Status& status)
{
    if (status)
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << untranslatedText(status.error()).toStdString();
}

// The value a test goes on with; a failure fails the test with its text and
// gives an empty value, which the test's own checks then stop at.
template <typename T> T take(Result<T> result)
{
    EXPECT_TRUE(succeeded(result.status()));
    return result.ok() ? std::move(result).value() : T{};
}

} // namespace tvq52::test
