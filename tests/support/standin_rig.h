/* Test support: the base of every rig whose tests talk to the stand-ins. A
   call that no real host would make of a stand-in fails the test in the
   rig's teardown, whichever stand-in took it. */
#ifndef VELMORA_TEST_STANDIN_RIG_H
#define VELMORA_TEST_STANDIN_RIG_H

#include "tests/standins/browser.h"
#include <gtest/gtest.h>

class StandInRig : public testing::Test {
protected:
    void SetUp() override { unexpectedBefore_ = UnexpectedStandInCalls(); }
    void TearDown() override
    {
        EXPECT_EQ(unexpectedBefore_, UnexpectedStandInCalls()) << "calls no real host makes of a stand-in";
    }

private:
    LONG unexpectedBefore_ = 0;
};

#endif
