#include "tests/bench/measure.h"
#include <mmsystem.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

static double FileTimeMs(const FILETIME &t)
{
    ULARGE_INTEGER x;
    x.LowPart = t.dwLowDateTime;
    x.HighPart = t.dwHighDateTime;
    return x.QuadPart / 10000.0;
}

static HostTimes ReadHost(const char *pid)
{
    HostTimes times = {};
    times.count = -1;
    if (!pid || !*pid)
        return times;
    char pattern[64];
    snprintf(pattern, sizeof(pattern), "Z:\\proc\\%s\\task\\*", pid);
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA(pattern, &found);
    if (search == INVALID_HANDLE_VALUE)
        return times;
    times.count = 0;
    do {
        char path[128];
        snprintf(path, sizeof(path), "Z:\\proc\\%s\\task\\%s\\schedstat", pid, found.cFileName);
        FILE *file = found.cFileName[0] != '.' ? fopen(path, "rb") : NULL;
        unsigned long long ns = 0;
        if (file && fscanf(file, "%llu", &ns) == 1 && times.count < 64) {
            times.tids[times.count] = strtoul(found.cFileName, NULL, 10);
            times.ms[times.count++] = ns / 1e6;
        }
        if (file)
            fclose(file);
    } while (FindNextFileA(search, &found));
    FindClose(search);
    return times;
}

/* CPU spent between two readings: a thread that ended meanwhile takes its
   part with it; one that began counts whole. -1 without readings. */
static double HostSpent(const HostTimes &a, const HostTimes &b)
{
    if (a.count < 0 || b.count < 0)
        return -1;
    double spent = 0;
    for (int i = 0; i < b.count; i++) {
        double before = 0;
        for (int j = 0; j < a.count; j++)
            if (a.tids[j] == b.tids[i])
                before = a.ms[j];
        spent += b.ms[i] - before;
    }
    return spent;
}

/* This program's pid on the host: the process whose first command-line
   word names this program's file (one program of each name runs at a
   time). The "self" of a path opened here is the wineserver's. */
static void FindHostPid(char *pid, size_t size)
{
    char module[MAX_PATH];
    GetModuleFileNameA(NULL, module, sizeof(module));
    const char *name = strrchr(module, '\\') ? strrchr(module, '\\') + 1 : module;
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA("Z:\\proc\\*", &found);
    if (search == INVALID_HANDLE_VALUE)
        return;
    do {
        if (found.cFileName[0] < '1' || found.cFileName[0] > '9')
            continue;
        char path[64], command[512] = {};
        snprintf(path, sizeof(path), "Z:\\proc\\%s\\cmdline", found.cFileName);
        FILE *file = fopen(path, "rb");
        if (!file)
            continue;
        fread(command, 1, sizeof(command) - 1, file);
        fclose(file);
        size_t length = strlen(command), nameLength = strlen(name);
        if (length >= nameLength && _stricmp(command + length - nameLength, name) == 0) {
            snprintf(pid, size, "%s", found.cFileName);
            break;
        }
    } while (FindNextFileA(search, &found));
    FindClose(search);
}

static const char *HostPid()
{
    static char pid[32];
    static bool looked;
    if (!looked) {
        looked = true;
        FindHostPid(pid, sizeof(pid));
    }
    return pid;
}

static double ProcessTimes()
{
    FILETIME created, exited, kernel, user;
    GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user);
    return FileTimeMs(kernel) + FileTimeMs(user);
}

double ThreadCpu(HANDLE thread)
{
    FILETIME created, exited, kernel, user;
    GetThreadTimes(thread, &created, &exited, &kernel, &user);
    return FileTimeMs(kernel) + FileTimeMs(user);
}

CpuReading ReadCpu()
{
    CpuReading r;
    r.program = ReadHost(HostPid());
    r.programTimes = ProcessTimes();
    r.server = ReadHost(getenv("VELMORA_BENCH_SERVER_PID"));
    r.x = ReadHost(getenv("VELMORA_BENCH_X_PID"));
    r.time = timeGetTime();
    return r;
}

CpuSpent CpuBetween(const CpuReading &a, const CpuReading &b)
{
    CpuSpent s;
    s.program = HostSpent(a.program, b.program);
    if (s.program < 0)
        s.program = b.programTimes - a.programTimes;
    s.server = HostSpent(a.server, b.server);
    s.server = s.server < 0 ? 0 : s.server;
    s.x = HostSpent(a.x, b.x);
    s.x = s.x < 0 ? 0 : s.x;
    s.whole = s.program + s.server + s.x;
    s.wall = b.time - a.time;
    return s;
}

void Pump(DWORD ms)
{
    DWORD start = timeGetTime();
    while (timeGetTime() - start < ms) {
        MSG msg;
        while (PeekMessageA(&msg, NULL, 0, 0, PM_REMOVE))
            DispatchMessageA(&msg);
        /* Woken by any message; the time-out only bounds the run. */
        DWORD spent = timeGetTime() - start;
        if (spent < ms)
            MsgWaitForMultipleObjects(0, NULL, FALSE, ms - spent, QS_ALLINPUT);
    }
}
