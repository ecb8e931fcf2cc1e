#include "tests/support/leak_check.h"
#include <gtest/gtest.h>
#include <stdio.h>

/* The smaller growth of the two halves; a count that fell reads as none. */
static SIZE_T LeastGrowth(SIZE_T start, SIZE_T middle, SIZE_T end)
{
    SIZE_T first = middle > start ? middle - start : 0;
    SIZE_T second = end > middle ? end - middle : 0;
    return first < second ? first : second;
}

void ExpectProcessFlat(const ProcessUsage &start, const ProcessUsage &middle, const ProcessUsage &end,
                       SIZE_T heapSlack)
{
    printf("handles %lu -> %lu -> %lu, threads %lu -> %lu -> %lu, heap %lu -> %lu -> %lu, "
           "private %lu -> %lu -> %lu\n",
           start.handles, middle.handles, end.handles, start.threads, middle.threads, end.threads,
           (unsigned long)start.heapBytes, (unsigned long)middle.heapBytes, (unsigned long)end.heapBytes,
           (unsigned long)start.privateBytes, (unsigned long)middle.privateBytes,
           (unsigned long)end.privateBytes);
    EXPECT_LE(LeastGrowth(start.handles, middle.handles, end.handles), 1u);
    EXPECT_LE(end.threads, start.threads);
    /* Half the cycles, so half the slack. */
    EXPECT_LT(LeastGrowth(start.heapBytes, middle.heapBytes, end.heapBytes), heapSlack / 2);
    EXPECT_LT(LeastGrowth(start.privateBytes, middle.privateBytes, end.privateBytes), 512u * 1024);
}
