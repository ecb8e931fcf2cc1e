/* Benchmark: the real rendering thread on screen, in the states a user
   sees: scrolling at speed 1 and 4, paused on a hover, an empty list, the
   browser in the background, and 256 items on a 2048-pixel ticker. For each
   it prints the CPU per frame of this program, of the wineserver and of the
   X server, measured over the same span from the kernel's run times of
   their threads (the rendering thread's own column is what the system
   reports, in whole scheduler ticks); then what the process holds before
   and after the long scrolling run. Frames are those the rendering thread
   ran (framesRun), copies those it made to the window (framesShown).
   Usage: ticker_bench [frames]; tools/bench.sh passes the server pids. */
#include "tests/support/ticker_scene.h"
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

/* The run time of each thread of a host process, which the kernel keeps to
   the nanosecond, read through Wine's Z: drive; none where there is no
   such process or drive. */
struct HostTimes {
    int count;
    unsigned long tids[64];
    double ms[64];
};

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
   word names this program's file (one benchmark runs at a time). The
   "self" of a path opened here is the wineserver's. */
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

/* This process as the system reports it, in whole scheduler ticks: the
   figure where the host's own cannot be read. */
static double ProcessTimes()
{
    FILETIME created, exited, kernel, user;
    GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user);
    return FileTimeMs(kernel) + FileTimeMs(user);
}

static double ThreadCpu(HANDLE thread)
{
    FILETIME created, exited, kernel, user;
    GetThreadTimes(thread, &created, &exited, &kernel, &user);
    return FileTimeMs(kernel) + FileTimeMs(user);
}

struct Sample {
    HostTimes program, server, x;
    double programTimes, render;
    LONG frames, copies;
    DWORD time;
};

static Sample Take(TickerState *t)
{
    Sample s;
    s.program = ReadHost(HostPid());
    s.programTimes = ProcessTimes();
    s.render = ThreadCpu(t->renderThread);
    s.server = ReadHost(getenv("VELMORA_BENCH_SERVER_PID"));
    s.x = ReadHost(getenv("VELMORA_BENCH_X_PID"));
    s.frames = t->framesRun;
    s.copies = t->framesShown;
    s.time = timeGetTime();
    return s;
}

/* The window thread answers its messages all the while, so that every
   copy reaches the X server. */
static void Pump(DWORD ms)
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

static void PumpFrames(TickerState *t, LONG frames)
{
    LONG start = t->framesRun;
    DWORD began = timeGetTime();
    /* An idle ticker runs no frames; the deadline ends it. */
    while (t->framesRun - start < frames && timeGetTime() - began < (DWORD)frames * 100)
        Pump(100);
}

static void PrintHeader()
{
    printf("%-22s %7s %7s %8s %8s %10s %8s %8s %9s\n", "ms per frame", "frames", "copies", "program",
           "(render)", "wineserver", "X server", "whole", "% of core");
}

static void PrintRow(const char *state, const Sample &a, const Sample &b)
{
    LONG frames = b.frames - a.frames;
    double wall = b.time - a.time;
    double program = HostSpent(a.program, b.program);
    if (program < 0)
        program = b.programTimes - a.programTimes;
    double render = b.render - a.render;
    double server = HostSpent(a.server, b.server);
    server = server < 0 ? 0 : server;
    double x = HostSpent(a.x, b.x);
    x = x < 0 ? 0 : x;
    double whole = program + server + x;
    if (frames > 0)
        printf("%-22s %7ld %7ld %8.3f %8.3f %10.3f %8.3f %8.3f %8.2f%%\n", state, frames,
               b.copies - a.copies, program / frames, render / frames, server / frames, x / frames,
               whole / frames, whole * 100 / wall);
    else
        printf("%-22s %7ld %7ld %8s %8s %10s %8s %8s %8.2f%%\n", state, frames, b.copies - a.copies, "-",
               "-", "-", "-", "-", whole * 100 / wall);
}

static void Measure(const char *state, TickerState *t, LONG frames)
{
    PumpFrames(t, 20);   /* past the change of state */
    Sample a = Take(t);
    PumpFrames(t, frames);
    PrintRow(state, a, Take(t));
}

/* A row that stands still runs few frames: measured over the time that
   frames of a moving row would take. */
static void MeasureStill(const char *state, TickerState *t, LONG frames)
{
    Pump(500);
    Sample a = Take(t);
    Pump(frames * 20);
    PrintRow(state, a, Take(t));
}

int main(int argc, char **argv)
{
    LONG frames = argc > 1 ? atol(argv[1]) : 10000;
    LONG shortRun = frames < 1000 ? frames : 1000;
    printf("benchmark of the %d-bit build\n", (int)sizeof(void *) * 8);
    if (!getenv("VELMORA_BENCH_X_PID"))
        printf("(no server pids given: the wineserver and X server columns read 0)\n");
    CoInitialize(NULL);
    {
        TickerScene scene(100, 100);
        std::string feed = MakeRss(100, "Benchmark headline number ",
                                   "<link>http://127.0.0.1/</link><description>d</description>");
        scene.server.Serve("/empty", "<rss><channel><title>empty</title></channel></rss>");
        scene.server.Serve("/big", MakeRss(256, "Benchmark headline number ",
                                           "<link>http://127.0.0.1/</link><description>d</description>"));
        if (!scene.Show(feed)) {
            printf("could not start the ticker\n");
            return 1;
        }
        TickerState *t = scene.ticker();
        SetCursorPos(5, 1000);
        PumpFrames(t, 100);
        PrintHeader();

        ProcessUsage before = MeasureProcess();
        Measure("scrolling, speed 1", t, frames);
        ProcessUsage after = MeasureProcess();

        scene.band.speed = 4;
        Measure("scrolling, speed 4", t, shortRun);
        scene.band.speed = 1;

        scene.PointAtItem(3);
        if (!scene.WaitForHover())
            printf("(the hover did not start)\n");
        MeasureStill("paused on a hover", t, shortRun);
        SetCursorPos(5, 1000);

        scene.ChooseFeed(scene.server.Url("/empty"));
        PumpUntil([t] { return t->itemCount == 0; }, 10000);
        MeasureStill("empty list", t, shortRun);

        HWND other = CreateWindowExA(0, "STATIC", "other application", WS_POPUP | WS_VISIBLE, 0, 600,
                                     200, 100, NULL, NULL, NULL, NULL);
        SetForegroundWindow(other);
        Pump(1000);
        MeasureStill("background", t, shortRun);
        DestroyWindow(other);
        SetForegroundWindow(scene.frame);

        SetWindowPos(scene.frame, NULL, 0, 100, 2100, 120, SWP_NOZORDER | SWP_NOACTIVATE);
        SetWindowPos(scene.toolbar, NULL, 0, 0, 2090, 30, SWP_NOZORDER | SWP_NOACTIVATE);
        SetWindowPos(scene.TickerWindow(), NULL, 10, 2, 2048 + 4, 25, SWP_NOZORDER | SWP_NOACTIVATE);
        scene.ChooseFeed(scene.server.Url("/big"));
        PumpUntil([t] { return t->itemCount == 256; }, 10000);
        RECT client;
        GetClientRect(scene.TickerWindow(), &client);
        char state[64];
        snprintf(state, sizeof(state), "%ld items, %ld px", t->itemCount, client.right);
        Measure(state, t, shortRun);

        printf("\nover the %ld frames at speed 1:\n", frames);
        printf("private bytes       %lu -> %lu\n", (unsigned long)before.privateBytes,
               (unsigned long)after.privateBytes);
        printf("heap bytes          %lu -> %lu\n", (unsigned long)before.heapBytes,
               (unsigned long)after.heapBytes);
        printf("handles             %lu -> %lu\n", before.handles, after.handles);
        printf("threads             %lu -> %lu\n", before.threads, after.threads);
    }
    CoUninitialize();
    return 0;
}
