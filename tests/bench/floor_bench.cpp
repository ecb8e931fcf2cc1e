/* Benchmark: the floor of a scrolling row, the least any program showing
   one must do each frame: wait 20 ms answering messages, shift a 1000x21
   row one column in a memory DC, copy the row to a window. It prints one
   line: frames, then the milliseconds of CPU they cost this program, the
   wineserver and the X server, then the wall time. ticker_bench runs it
   and sets the ticker's figures against it.
   Usage: floor_bench [frames] */
#include "tests/bench/measure.h"
#include <mmsystem.h>
#include <stdio.h>
#include <stdlib.h>

enum { ROW_WIDTH = 1000, ROW_HEIGHT = 21, FRAME_MS = 20 };

static const char FLOOR_CLASS[] = "velmora floor row";

static HWND CreateRowWindow()
{
    WNDCLASSA windowClass = {};
    windowClass.lpfnWndProc = DefWindowProcA;
    windowClass.hInstance = GetModuleHandleA(NULL);
    windowClass.hCursor = LoadCursor(NULL, IDC_ARROW);
    windowClass.lpszClassName = FLOOR_CLASS;
    RegisterClassA(&windowClass);
    /* Below where the ticker's row stands in its benchmark. */
    return CreateWindowExA(0, FLOOR_CLASS, "floor", WS_POPUP | WS_VISIBLE, 112, 300, ROW_WIDTH,
                           ROW_HEIGHT, NULL, NULL, GetModuleHandleA(NULL), NULL);
}

/* One wait of FRAME_MS, cut short only to answer messages. */
static void Wait()
{
    DWORD start = timeGetTime();
    for (DWORD spent = 0; spent < FRAME_MS; spent = timeGetTime() - start) {
        if (MsgWaitForMultipleObjects(0, NULL, FALSE, FRAME_MS - spent, QS_ALLINPUT) != WAIT_OBJECT_0)
            return;
        MSG msg;
        while (PeekMessageA(&msg, NULL, 0, 0, PM_REMOVE))
            DispatchMessageA(&msg);
    }
}

static void Frame(HWND window, HDC row)
{
    Wait();
    BitBlt(row, 0, 0, ROW_WIDTH - 1, ROW_HEIGHT, row, 1, 0, SRCCOPY);
    HDC dc = GetDC(window);
    BitBlt(dc, 0, 0, ROW_WIDTH, ROW_HEIGHT, row, 0, 0, SRCCOPY);
    ReleaseDC(window, dc);
}

int main(int argc, char **argv)
{
    long frames = argc > 1 ? atol(argv[1]) : 1000;
    HWND window = CreateRowWindow();
    if (!window)
        return 1;
    HDC dc = GetDC(window);
    HDC row = CreateCompatibleDC(dc);
    HBITMAP bitmap = CreateCompatibleBitmap(dc, ROW_WIDTH, ROW_HEIGHT);
    ReleaseDC(window, dc);
    HGDIOBJ oldBitmap = SelectObject(row, bitmap);
    PatBlt(row, 0, 0, ROW_WIDTH, ROW_HEIGHT, WHITENESS);
    for (int x = 0; x < ROW_WIDTH; x += 120)
        TextOutA(row, x, 2, "Floor headline +++", 18);

    for (int i = 0; i < 50; i++)   /* past the window's first paint */
        Frame(window, row);
    CpuReading a = ReadCpu();
    if (a.program.count < 0)
        fprintf(stderr, "(the floor could not read its own threads: whole scheduler ticks)\n");
    for (long i = 0; i < frames; i++)
        Frame(window, row);
    CpuSpent spent = CpuBetween(a, ReadCpu());
    printf("%ld %.4f %.4f %.4f %.1f\n", frames, spent.program, spent.server, spent.x, spent.wall);

    SelectObject(row, oldBitmap);
    DeleteObject(bitmap);
    DeleteDC(row);
    DestroyWindow(window);
    return 0;
}
