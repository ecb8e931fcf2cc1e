/* Benchmark support: the CPU a span costs this program, the wineserver and
   the X server, from the kernel's run times of their threads (to the
   nanosecond), read through Wine's Z: drive. tools/bench.sh passes the two
   servers' pids in VELMORA_BENCH_SERVER_PID and VELMORA_BENCH_X_PID; where
   a host process cannot be read its column reads 0, and this program's
   falls back to what the system reports in whole scheduler ticks. */
#ifndef VELMORA_BENCH_MEASURE_H
#define VELMORA_BENCH_MEASURE_H

#include <windows.h>

/* The run time of each thread of a host process; count -1 for none. */
struct HostTimes {
    int count;
    unsigned long tids[64];
    double ms[64];
};

struct CpuReading {
    HostTimes program, server, x;
    double programTimes;   /* the system's own figure, in ticks */
    DWORD time;
};

/* Milliseconds of CPU between two readings; whole = the three together. */
struct CpuSpent {
    double program, server, x, whole, wall;
};

CpuReading ReadCpu();
CpuSpent CpuBetween(const CpuReading &a, const CpuReading &b);
/* The kernel and user time of one thread of this process. */
double ThreadCpu(HANDLE thread);
/* Answers this thread's messages for ms, waking on each one. */
void Pump(DWORD ms);

#endif
