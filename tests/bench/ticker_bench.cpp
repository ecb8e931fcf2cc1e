/* Benchmark: the real rendering thread scrolling a 100-item feed across a
   1024-pixel ticker. Prints frames per second, CPU time per frame and what
   the process holds before and after. Usage: ticker_bench [frames] */
#include "tests/support/ticker_scene.h"
#include <mmsystem.h>
#include <stdio.h>
#include <stdlib.h>

/* At speed 1 the row moves one pixel a frame: the distance the drawn
   headlines moved counts the frames, without touching the renderer. */
struct FrameCounter {
    TickerState *ticker;
    LONG last[TICKER_MAX_ITEMS];
    LONG frames;

    explicit FrameCounter(TickerState *t) : ticker(t), frames(0)
    {
        for (int i = 0; i < TICKER_MAX_ITEMS; i++)
            last[i] = t->items[i].rect.left;
    }
    void Sample()
    {
        LONG moved = 0;
        for (int i = 0; i < ticker->itemCount; i++) {
            LONG now = ticker->items[i].rect.left;
            LONG delta = last[i] - now;
            if (delta > moved && delta < 500)
                moved = delta;
            last[i] = now;
        }
        frames += moved;
    }
};

static double Milliseconds(const FILETIME &a, const FILETIME &b)
{
    ULARGE_INTEGER x, y;
    x.LowPart = a.dwLowDateTime;
    x.HighPart = a.dwHighDateTime;
    y.LowPart = b.dwLowDateTime;
    y.HighPart = b.dwHighDateTime;
    return (x.QuadPart + y.QuadPart) / 10000.0;
}

static double ThreadCpu(HANDLE thread)
{
    FILETIME created, exited, kernel, user;
    GetThreadTimes(thread, &created, &exited, &kernel, &user);
    return Milliseconds(kernel, user);
}

static double ProcessCpu()
{
    FILETIME created, exited, kernel, user;
    GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user);
    return Milliseconds(kernel, user);
}

static void RunUntil(FrameCounter *counter, LONG frames)
{
    while (counter->frames < frames) {
        MSG msg;
        while (PeekMessageA(&msg, NULL, 0, 0, PM_REMOVE))
            DispatchMessageA(&msg);
        MsgWaitForMultipleObjects(0, NULL, FALSE, 200, QS_ALLINPUT);
        counter->Sample();
    }
}

int main(int argc, char **argv)
{
    LONG frames = argc > 1 ? atol(argv[1]) : 10000;
    CoInitialize(NULL);
    {
        TickerScene scene(100, 100);
        std::string feed = MakeRss(100, "Benchmark headline number ",
                                   "<link>http://127.0.0.1/</link><description>d</description>");
        if (!scene.Show(feed)) {
            printf("could not start the ticker\n");
            return 1;
        }
        /* With the cursor on the ticker every headline is hit-tested. */
        if (getenv("VELMORA_BENCH_CURSOR_INSIDE")) {
            RECT rect;
            GetWindowRect(scene.TickerWindow(), &rect);
            SetCursorPos(rect.left, rect.top);   /* on the border: on no headline */
        } else {
            SetCursorPos(5, 1000);
        }
        FrameCounter counter(scene.ticker());
        RunUntil(&counter, 100);
        ProcessUsage before = MeasureProcess();
        LONG startFrames = counter.frames;
        double startThread = ThreadCpu(scene.ticker()->renderThread);
        double startProcess = ProcessCpu();
        DWORD startTime = timeGetTime();
        RunUntil(&counter, startFrames + frames);
        DWORD elapsed = timeGetTime() - startTime;
        LONG counted = counter.frames - startFrames;
        double threadCpu = ThreadCpu(scene.ticker()->renderThread) - startThread;
        double processCpu = ProcessCpu() - startProcess;
        ProcessUsage after = MeasureProcess();

        printf("frames              %ld in %lu ms: %.1f frames per second\n", counted, elapsed,
               counted * 1000.0 / elapsed);
        printf("render thread CPU   %.3f ms per frame\n", threadCpu / counted);
        printf("process CPU         %.3f ms per frame\n", processCpu / counted);
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
