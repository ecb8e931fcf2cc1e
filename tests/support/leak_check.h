/* Test support: what a repeated create/destroy cycle may leave behind. */
#ifndef VELMORA_TEST_LEAK_CHECK_H
#define VELMORA_TEST_LEAK_CHECK_H

#include "tests/support/scratch.h"

/* Runs cycle a few times to warm up, then count times in two halves, and
   expects handles, threads, heap and private memory to stay flat (heap
   within heapSlack over count cycles). A leak grows both halves alike;
   the platform's one-time growth (a lock's lazily made semaphore, a table
   sized for the most work that ever overlapped) falls in one of them at
   any moment a busy machine lets it, so each measure takes the smaller. */
template <class Cycle> void ExpectCyclesFlat(Cycle cycle, int count, SIZE_T heapSlack);

void ExpectProcessFlat(const ProcessUsage &start, const ProcessUsage &middle, const ProcessUsage &end,
                       SIZE_T heapSlack);

template <class Cycle> void ExpectCyclesFlat(Cycle cycle, int count, SIZE_T heapSlack)
{
    for (int i = 0; i < 5; i++)
        cycle();
    ProcessUsage start = MeasureProcess();
    for (int i = 0; i < count / 2; i++)
        cycle();
    ProcessUsage middle = MeasureProcess();
    for (int i = 0; i < count / 2; i++)
        cycle();
    ExpectProcessFlat(start, middle, MeasureProcess(), heapSlack);
}

#endif
