#pragma once
// Waiting in a GUI test. The event loop runs until the condition holds; the
// result is an assertion, so a wait that runs out fails the test at that line:
//
//     ASSERT_TRUE(eventually([&] { return hint->isVisible(); }, 3000));
//
// GoogleTest then prints the whole call, which names what was waited for.

#include <QTest>
#include <gtest/gtest.h>

namespace zorvtest {

template <class Condition>
::testing::AssertionResult eventually(Condition done, int timeoutMs = 5000) {
    if (QTest::qWaitFor(done, timeoutMs))
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "still false after " << timeoutMs << " ms";
}

} // namespace zorvtest
