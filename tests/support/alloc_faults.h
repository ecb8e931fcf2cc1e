/* Allocation failures on demand for the product code linked into a test
   program: its GlobalAlloc calls go through here. */
#ifndef VELMORA_TEST_ALLOC_FAULTS_H
#define VELMORA_TEST_ALLOC_FAULTS_H

#include <windows.h>

/* The next GlobalAlloc of exactly this many bytes fails, once. */
void FailNextAllocationOf(SIZE_T bytes);

#endif
