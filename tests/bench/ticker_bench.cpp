/* Benchmark: the real rendering thread on screen, in the states a user
   sees: scrolling at speed 1 and 4, paused on a hover, an empty list, the
   browser in the background, and 256 items on a 2048-pixel ticker. For each
   it prints the CPU per frame of this program, of the wineserver and of the
   X server, measured over the same span (tests/bench/measure.h; the
   rendering thread's own column is what the system reports, in whole
   scheduler ticks); then what the process holds before and after the long
   scrolling run. Frames are those the rendering thread ran (framesRun),
   copies those it made to the window (framesShown).
   The 1000-pixel row at speed 1 is set against the floor program
   (floor_bench), which runs as many frames, the two taking turns.
   Then a ticker is refreshed from the loopback server over and over: what
   the process holds before and after, and the frame's CPU between fetches
   against a ticker that never refreshes.
   Usage: ticker_bench [frames [refreshes]]; tools/bench.sh passes the
   server pids. */
#include "tests/support/ticker_scene.h"
#include "tests/bench/measure.h"
#include "core/handoff.h"
#include "feeds/fetch.h"
#include <mmsystem.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

/* The width and height of the floor's row. */
enum { ROW_WIDTH = 1000, ROW_HEIGHT = 21 };

struct Sample {
    CpuReading cpu;
    double render;
    LONG frames, copies;
};

/* What a span cost, per frame where frames ran. */
struct Row {
    LONG frames;
    CpuSpent cpu;
};

static Sample Take(TickerState *t)
{
    Sample s;
    s.cpu = ReadCpu();
    s.render = ThreadCpu(t->renderThread);
    s.frames = t->framesRun;
    s.copies = t->framesShown;
    return s;
}

/* The window thread wakes for its messages only, as a browser's would;
   waking it on a short time-out as well would cost the program more than
   the rendering thread's own frame. */
static void PumpFrames(TickerState *t, LONG frames)
{
    LONG start = t->framesRun;
    DWORD began = timeGetTime();
    /* An idle ticker runs no frames; the deadline ends it. */
    while (t->framesRun - start < frames && timeGetTime() - began < (DWORD)frames * 100)
        Pump(frames < 50 ? 200 : 1000);
}

static void PrintHeader()
{
    printf("%-22s %7s %7s %8s %8s %10s %8s %8s %9s\n", "ms per frame", "frames", "copies", "program",
           "(render)", "wineserver", "X server", "whole", "% of core");
}

static void PrintCpu(const char *state, LONG frames, LONG copies, double render, const CpuSpent &c)
{
    if (frames > 0)
        printf("%-22s %7ld %7ld %8.3f %8.3f %10.3f %8.3f %8.3f %8.2f%%\n", state, frames, copies,
               c.program / frames, render / frames, c.server / frames, c.x / frames, c.whole / frames,
               c.whole * 100 / c.wall);
    else
        printf("%-22s %7ld %7ld %8s %8s %10s %8s %8s %8.2f%%\n", state, frames, copies, "-", "-", "-",
               "-", "-", c.whole * 100 / c.wall);
}

static Row PrintRow(const char *state, const Sample &a, const Sample &b)
{
    Row row = { b.frames - a.frames, CpuBetween(a.cpu, b.cpu) };
    PrintCpu(state, row.frames, b.copies - a.copies, b.render - a.render, row.cpu);
    return row;
}

static Row Measure(const char *state, TickerState *t, LONG frames)
{
    PumpFrames(t, 20);   /* past the change of state */
    Sample a = Take(t);
    PumpFrames(t, frames);
    return PrintRow(state, a, Take(t));
}

/* A row that stands still runs few frames: measured over the time that
   frames of a moving row would take. */
static void MeasureStill(const char *state, TickerState *t, LONG frames)
{
    Pump(500);
    Sample a = Take(t);
    Pump(frames * 20);
    (void)PrintRow(state, a, Take(t));
}

/* The ticker's client area becomes the floor's row. */
static void SizeRowAsFloor(TickerScene &scene)
{
    RECT window, client;
    HWND ticker = scene.TickerWindow();
    GetWindowRect(ticker, &window);
    GetClientRect(ticker, &client);
    SetWindowPos(ticker, NULL, 0, 0, window.right - window.left - client.right + ROW_WIDTH,
                 window.bottom - window.top - client.bottom + ROW_HEIGHT,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

/* Waits for process, answering this thread's messages. */
static bool WaitForProcess(HANDLE process, DWORD timeoutMs)
{
    DWORD start = timeGetTime();
    for (DWORD spent = 0; spent < timeoutMs; spent = timeGetTime() - start) {
        DWORD woken = MsgWaitForMultipleObjects(1, &process, FALSE, timeoutMs - spent, QS_ALLINPUT);
        if (woken != WAIT_OBJECT_0 + 1)
            return woken == WAIT_OBJECT_0;
        MSG msg;
        while (PeekMessageA(&msg, NULL, 0, 0, PM_REMOVE))
            DispatchMessageA(&msg);
    }
    return WaitForSingleObject(process, 0) == WAIT_OBJECT_0;
}

/* Runs floor_bench beside this program for frames, its output in a file
   of its own; false when it did not run or said nothing. */
static bool RunFloor(LONG frames, Row *row)
{
    char program[MAX_PATH], folder[MAX_PATH], path[MAX_PATH];
    GetModuleFileNameA(NULL, program, sizeof(program));
    char *slash = strrchr(program, '\\');
    if (slash)
        slash[1] = 0;
    GetTempPathA(sizeof(folder), folder);
    GetTempFileNameA(folder, "flr", 0, path);
    SECURITY_ATTRIBUTES inherit = { sizeof(inherit), NULL, TRUE };
    HANDLE out = CreateFileA(path, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                             &inherit, CREATE_ALWAYS, FILE_FLAG_DELETE_ON_CLOSE, NULL);
    if (out == INVALID_HANDLE_VALUE)
        return false;
    char command[MAX_PATH + 64];
    snprintf(command, sizeof(command), "\"%sfloor_bench.exe\" %ld", program, frames);
    STARTUPINFOA start = {};
    start.cb = sizeof(start);
    start.dwFlags = STARTF_USESTDHANDLES;
    start.hStdOutput = out;
    start.hStdError = GetStdHandle(STD_ERROR_HANDLE);
    PROCESS_INFORMATION process = {};
    bool ran = CreateProcessA(NULL, command, NULL, NULL, TRUE, 0, NULL, NULL, &start, &process);
    if (ran) {
        ran = WaitForProcess(process.hProcess, (DWORD)frames * 100 + 30000);
        if (!ran)
            TerminateProcess(process.hProcess, 1);
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
    }
    char text[256] = {};
    DWORD read = 0;
    SetFilePointer(out, 0, NULL, FILE_BEGIN);
    ran = ran && ReadFile(out, text, sizeof(text) - 1, &read, NULL);
    CloseHandle(out);
    row->cpu = CpuSpent();
    ran = ran && sscanf(text, "%ld %lf %lf %lf %lf", &row->frames, &row->cpu.program, &row->cpu.server,
                        &row->cpu.x, &row->cpu.wall) == 5 && row->frames > 0;
    row->cpu.whole = row->cpu.program + row->cpu.server + row->cpu.x;
    return ran;
}

static void AddRow(Row *to, const Row &row)
{
    to->frames += row.frames;
    to->cpu.program += row.cpu.program;
    to->cpu.server += row.cpu.server;
    to->cpu.x += row.cpu.x;
    to->cpu.whole += row.cpu.whole;
    to->cpu.wall += row.cpu.wall;
}

static double PerFrame(double ms, LONG frames)
{
    return frames > 0 ? ms / frames : 0;
}

/* The ticker at speed 1 and the floor take turns, each for its share of
   frames, so that both meet the same load from the rest of the machine;
   the ticker's row stands still (waking once a second) while the floor
   runs. Prints the ticker's row of the table; false when the floor did
   not run. */
static bool TakeTurnsWithFloor(TickerScene &scene, LONG frames, Row *ticker, Row *floor,
                               double ratios[][2], int *rounds)
{
    TickerState *t = scene.ticker();
    *rounds = frames >= 5000 ? 10 : frames >= 1000 ? (int)(frames / 500) : 1;
    Row turn = {};
    double render = 0;
    LONG copies = 0;
    for (int i = 0; i < *rounds; i++) {
        LONG part = frames / *rounds + (i < frames % *rounds);
        scene.band.speed = 0;
        Pump(300);
        Row floorTurn = {};
        if (!RunFloor(part, &floorTurn))
            return false;
        AddRow(floor, floorTurn);
        scene.band.speed = 1;
        PumpFrames(t, 20);
        Sample a = Take(t);
        PumpFrames(t, part);
        Sample b = Take(t);
        turn.frames = b.frames - a.frames;
        turn.cpu = CpuBetween(a.cpu, b.cpu);
        AddRow(ticker, turn);
        render += b.render - a.render;
        copies += b.copies - a.copies;
        ratios[i][0] = PerFrame(turn.cpu.program, turn.frames) / PerFrame(floorTurn.cpu.program, part);
        ratios[i][1] = PerFrame(turn.cpu.whole, turn.frames) / PerFrame(floorTurn.cpu.whole, part);
    }
    PrintCpu("scrolling, speed 1", ticker->frames, copies, render, ticker->cpu);
    return true;
}

static void PrintAgainstFloor(const Row &floor, const Row &ticker, double ratios[][2], int rounds)
{
    printf("\nagainst the floor (a %dx%d row: wait 20 ms, shift it a column, copy it), "
           "in %d turns each:\n", ROW_WIDTH, ROW_HEIGHT, rounds);
    printf("%-22s %7s %8s %10s %8s %8s\n", "ms per frame", "frames", "program", "wineserver",
           "X server", "whole");
    const Row *rows[] = { &floor, &ticker };
    const char *names[] = { "floor", "ticker, speed 1" };
    for (int i = 0; i < 2; i++) {
        const Row &r = *rows[i];
        printf("%-22s %7ld %8.3f %10.3f %8.3f %8.3f\n", names[i], r.frames, PerFrame(r.cpu.program, r.frames),
               PerFrame(r.cpu.server, r.frames), PerFrame(r.cpu.x, r.frames), PerFrame(r.cpu.whole, r.frames));
    }
    printf("ticker / floor: program %.2f, whole system %.2f\n",
           PerFrame(ticker.cpu.program, ticker.frames) / PerFrame(floor.cpu.program, floor.frames),
           PerFrame(ticker.cpu.whole, ticker.frames) / PerFrame(floor.cpu.whole, floor.frames));
    printf("turn by turn (program/whole):");
    for (int i = 0; i < rounds; i++)
        printf(" %.2f/%.2f", ratios[i][0], ratios[i][1]);
    printf("\n");
}

/* Bytes in use in every heap of the process: the runtime's and the
   platform's own heaps besides the process heap. */
static unsigned long AllHeapBytes()
{
    HANDLE heaps[64];
    DWORD count = GetProcessHeaps(64, heaps);
    unsigned long total = 0;
    for (DWORD i = 0; i < count && i < 64; i++) {
        if (!HeapLock(heaps[i]))
            continue;
        PROCESS_HEAP_ENTRY entry;
        entry.lpData = NULL;
        while (HeapWalk(heaps[i], &entry))
            if (entry.wFlags & PROCESS_HEAP_ENTRY_BUSY)
                total += entry.cbData;
        HeapUnlock(heaps[i]);
    }
    return total;
}

static void PrintUsage(const char *span, const ProcessUsage &before, const ProcessUsage &after)
{
    printf("\n%s:\n", span);
    printf("private bytes       %lu -> %lu\n", (unsigned long)before.privateBytes,
           (unsigned long)after.privateBytes);
    printf("heap bytes          %lu -> %lu\n", (unsigned long)before.heapBytes,
           (unsigned long)after.heapBytes);
    printf("handles             %lu -> %lu\n", before.handles, after.handles);
    printf("threads             %lu -> %lu\n", before.threads, after.threads);
}

static const char ITEM_EXTRA[] = "<link>http://127.0.0.1/</link><description>d</description>";

/* One refresh asked for as "Refresh now" does. Odd rounds find the feed
   as it was (a 304), even ones a new list under a new validator; each
   waits for the fetch's outcome, which thus differs from the last one. */
static bool Refresh(TickerScene &scene, int round)
{
    TickerState *t = scene.ticker();
    bool changed = round % 2 == 0;
    if (changed) {
        std::string tag = "\"r" + std::to_string(round) + "\"";
        scene.server.Serve("/feed", MakeRss(100, "Refresh " + std::to_string(round) + " headline ",
                                            ITEM_EXTRA));
        scene.server.Validate("/feed", tag);
    }
    LONG expected = changed ? FETCH_OK : FETCH_NOT_MODIFIED;
    RequestRefresh(t);
    return PumpUntil([t, expected] { return t->fetchCause == expected; }, 10000);
}

/* refreshes refreshes, after a few that let the platform's HTTP stack and
   the parser settle in; then the frame between fetches with refreshing on,
   against the same ticker before, with refreshing off. */
static void MeasureRefreshes(LONG frames, int refreshes)
{
    TickerScene scene(100, 100);
    scene.server.Validate("/feed", "\"r0\"");
    if (!scene.Show(MakeRss(100, "Refresh 0 headline ", ITEM_EXTRA))) {
        printf("could not start the ticker\n");
        return;
    }
    TickerState *t = scene.ticker();
    SetCursorPos(5, 1000);
    SizeRowAsFloor(scene);
    PumpFrames(t, 100);
    printf("\n%d refreshes of a 100-headline feed from the loopback server, every other one "
           "a change, the others a 304:\n", refreshes);
    PrintHeader();
    Measure("no refreshing", t, frames);

    int round = 1;
    for (; round <= 20; round++)
        if (!Refresh(scene, round))
            break;
    ProcessUsage before = MeasureProcess();
    unsigned long quarters[5] = {}, heaps[5] = { AllHeapBytes() };
    DWORD began = timeGetTime();
    int done = 0;
    int quarter = refreshes / 4 > 0 ? refreshes / 4 : 1;
    while (done < refreshes && Refresh(scene, round++))
        if (++done % quarter == 0 && done / quarter <= 4) {
            quarters[done / quarter] = (unsigned long)MeasureProcess().privateBytes;
            heaps[done / quarter] = AllHeapBytes();
        }
    DWORD spent = timeGetTime() - began;
    ProcessUsage after = MeasureProcess();

    scene.band.refreshMinutes = 30;
    RescheduleRefresh(t);
    Measure("between refreshes", t, frames);
    char span[128];
    snprintf(span, sizeof(span), "over %d refreshes (%.1f ms each)%s", done,
             done ? (double)spent / done : 0.0, done < refreshes ? ", the last one failed" : "");
    PrintUsage(span, before, after);
    printf("private bytes after each quarter: %lu %lu %lu %lu\n", quarters[1], quarters[2], quarters[3],
           quarters[4]);
    printf("bytes in all heaps, then after each quarter: %lu %lu %lu %lu %lu\n", heaps[0], heaps[1],
           heaps[2], heaps[3], heaps[4]);
}

int main(int argc, char **argv)
{
    LONG frames = argc > 1 ? atol(argv[1]) : 10000;
    int refreshes = argc > 2 ? atoi(argv[2]) : 1000;
    LONG shortRun = frames < 1000 ? frames : 1000;
    printf("benchmark of the %d-bit build\n", (int)sizeof(void *) * 8);
    if (!getenv("VELMORA_BENCH_X_PID"))
        printf("(no server pids given: the wineserver and X server columns read 0)\n");
    CoInitialize(NULL);
    Row speed1 = {}, floor = {};
    double ratios[10][2];
    int rounds = 0;
    bool floorRan = false;
    {
        TickerScene scene(100, 100);
        std::string feed = MakeRss(100, "Benchmark headline number ", ITEM_EXTRA);
        scene.server.Serve("/empty", "<rss><channel><title>empty</title></channel></rss>");
        scene.server.Serve("/big", MakeRss(256, "Benchmark headline number ", ITEM_EXTRA));
        if (!scene.Show(feed)) {
            printf("could not start the ticker\n");
            return 1;
        }
        TickerState *t = scene.ticker();
        SetCursorPos(5, 1000);
        SizeRowAsFloor(scene);
        PumpFrames(t, 100);
        PrintHeader();

        ProcessUsage before = MeasureProcess();
        floorRan = TakeTurnsWithFloor(scene, frames, &speed1, &floor, ratios, &rounds);
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

        char span[64];
        snprintf(span, sizeof(span), "over the %ld frames at speed 1", frames);
        PrintUsage(span, before, after);
    }
    if (floorRan && speed1.frames > 0)
        PrintAgainstFloor(floor, speed1, ratios, rounds);
    else
        printf("\n(the floor program did not run: no ratio)\n");
    if (refreshes > 0)
        MeasureRefreshes(shortRun, refreshes);
    CoUninitialize();
    return 0;
}
