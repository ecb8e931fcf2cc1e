/* The ticker window's procedure. It runs on the window thread; the moving
   headlines are drawn by the rendering thread. */
#include "ticker/ticker.h"

static LRESULT TickerOnCreate(HWND window, const CREATESTRUCTA *create)
{
    BandState *band = (BandState *)create->lpCreateParams;
    if (band && band->ticker) {
        SetWindowLongPtrA(window, GWLP_USERDATA, (LONG_PTR)band->ticker);
        band->ticker->band = band;
    }
    return 0;
}

LRESULT CALLBACK TickerWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_CREATE:
        return TickerOnCreate(window, (const CREATESTRUCTA *)lParam);
    }
    return CallWindowProcA(DefWindowProcA, window, message, wParam, lParam);
}
