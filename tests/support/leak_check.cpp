#include "tests/support/leak_check.h"
#include <gtest/gtest.h>
#include <stdio.h>

void ExpectProcessFlat(const ProcessUsage &before, const ProcessUsage &after, SIZE_T heapSlack)
{
    printf("handles %lu -> %lu, threads %lu -> %lu, heap %lu -> %lu, private %lu -> %lu\n",
           before.handles, after.handles, before.threads, after.threads,
           (unsigned long)before.heapBytes, (unsigned long)after.heapBytes,
           (unsigned long)before.privateBytes, (unsigned long)after.privateBytes);
    EXPECT_LE(after.handles, before.handles + 2);
    EXPECT_LE(after.threads, before.threads);
    EXPECT_LT(after.heapBytes, before.heapBytes + heapSlack);
    EXPECT_LT(after.privateBytes, before.privateBytes + 1024 * 1024);
}
