/* Benchmark: the real rendering thread on screen, in the states a user
   sees: scrolling at speed 1 and 4, paused on a hover, an empty list, the
   browser in the background, and 256 items on a 2048-pixel ticker. For each
   it prints the CPU per frame of this program, of the wineserver and of the
   X server, measured over the same span; then what the process holds before
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

static double ProcessCpu()
{
    FILETIME created, exited, kernel, user;
    GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user);
    return FileTimeMs(kernel) + FileTimeMs(user);
}

/* User and system time of a host process, read through Wine's Z: drive;
   -1 without a pid. */
static double HostCpu(const char *pidVariable)
{
    const char *pid = getenv(pidVariable);
    const char *hz = getenv("VELMORA_BENCH_HZ");
    if (!pid || !*pid || !hz)
        return -1;
    char path[64];
    snprintf(path, sizeof(path), "Z:\\proc\\%s\\stat", pid);
    FILE *file = fopen(path, "rb");
    if (!file)
        return -1;
    char line[1024] = {};
    size_t got = fread(line, 1, sizeof(line) - 1, file);
    fclose(file);
    line[got] = 0;
    /* The fields after the command name; user and system time are the 12th and 13th. */
    const char *p = strrchr(line, ')');
    if (!p)
        return -1;
    unsigned long long fields[13] = {};
    int n = 0;
    for (p++; *p && n < 13;) {
        while (*p == ' ')
            p++;
        fields[n++] = strtoull(p, NULL, 10);
        while (*p && *p != ' ')
            p++;
    }
    return n == 13 ? (fields[11] + fields[12]) * 1000.0 / atof(hz) : -1;
}

static double ThreadCpu(HANDLE thread)
{
    FILETIME created, exited, kernel, user;
    GetThreadTimes(thread, &created, &exited, &kernel, &user);
    return FileTimeMs(kernel) + FileTimeMs(user);
}

struct Sample {
    double program, render, server, x;
    LONG frames, copies;
    DWORD time;
};

static Sample Take(TickerState *t)
{
    Sample s;
    s.program = ProcessCpu();
    s.render = ThreadCpu(t->renderThread);
    s.server = HostCpu("VELMORA_BENCH_SERVER_PID");
    s.x = HostCpu("VELMORA_BENCH_X_PID");
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
    double program = b.program - a.program;
    double render = b.render - a.render;
    double server = a.server < 0 ? 0 : b.server - a.server;
    double x = a.x < 0 ? 0 : b.x - a.x;
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
