/* The rendering thread: loads feeds and owns the item list and the tooltip
   window. It draws into the ticker window of the active band, which belongs
   to the window thread. */
#include "ticker/ticker.h"
#include "band/band.h"
#include <commctrl.h>
#include <ddraw.h>

enum { WAIT_LOAD = 0, WAIT_EXIT = 1, WAIT_TARGET = 2 };

static HWND CreateTooltipWindow(void)
{
    HWND tooltip = CreateWindowExA(WS_EX_TOPMOST, TOOLTIPS_CLASSA, NULL, WS_POPUP,
                                   CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT,
                                   NULL, NULL, moduleHandle, NULL);
    if (!tooltip)
        return NULL;
    SetWindowPos(tooltip, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    RECT margin = { 8, 6, 8, 6 };
    SendMessageA(tooltip, TTM_SETMARGIN, 0, (LPARAM)&margin);
    SendMessageA(tooltip, TTM_SETMAXTIPWIDTH, 0, 512);
    return tooltip;
}

DWORD WINAPI RenderThread(void *parameter)
{
    BandState *band = (BandState *)parameter;
    TickerState *ticker = band->ticker;
    (void)CoInitialize(NULL);
    HWND tooltip = CreateTooltipWindow();
    IDirectDraw *directDraw = NULL;
    if (FAILED(DirectDrawCreate(NULL, &directDraw, NULL)))
        directDraw = NULL;

    /* A failed load leaves the list empty; a later load event tries again. */
    (void)LoadFeed(ticker, NULL);

    HANDLE waitSet[3] = { ticker->loadEvent, ticker->exitEvent, ticker->targetEvent };
    for (;;) {
        DWORD woken = WaitForMultipleObjects(3, waitSet, FALSE, INFINITE);
        if (woken == WAIT_OBJECT_0 + WAIT_LOAD && ticker->loadFailed)
            (void)LoadFeed(ticker, NULL);
        else if (woken != WAIT_OBJECT_0 + WAIT_LOAD && woken != WAIT_OBJECT_0 + WAIT_TARGET)
            break;
    }

    if (directDraw)
        IDirectDraw_Release(directDraw);
    SetEvent(ticker->finishEvent);
    if (tooltip)
        DestroyWindow(tooltip);
    CoUninitialize();
    return 0;
}
