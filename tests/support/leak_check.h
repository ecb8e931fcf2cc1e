/* Test support: what a repeated create/destroy cycle may leave behind. */
#ifndef VELMORA_TEST_LEAK_CHECK_H
#define VELMORA_TEST_LEAK_CHECK_H

#include "tests/support/scratch.h"

/* Runs cycle a few times to warm up, then count times, and expects handles,
   threads, heap and private memory to stay flat (heap within heapSlack). */
template <class Cycle> void ExpectCyclesFlat(Cycle cycle, int count, SIZE_T heapSlack);

void ExpectProcessFlat(const ProcessUsage &before, const ProcessUsage &after, SIZE_T heapSlack);

template <class Cycle> void ExpectCyclesFlat(Cycle cycle, int count, SIZE_T heapSlack)
{
    for (int i = 0; i < 5; i++)
        cycle();
    ProcessUsage before = MeasureProcess();
    for (int i = 0; i < count; i++)
        cycle();
    ExpectProcessFlat(before, MeasureProcess(), heapSlack);
}

#endif
