/* The band toolbar's window procedure, which runs on the browser's window
   thread: it starts the feed combo box's fills (feeds/fill.cpp), carries
   out their changes, and turns a choice into a reload of the ticker. */
#include "feeds/feedlist.h"
#include "feeds/status.h"
#include "feeds/feedstore.h"
#include "core/module.h"
#include "core/state.h"
#include "core/handoff.h"
#include <commctrl.h>

static LRESULT BandOnReselect(HWND toolbar)
{
    HWND combo = GetDlgItem(toolbar, FEED_COMBO_ID);
    if (combo && processBandState)
        SendMessageA(combo, CB_SETCURSEL, (WPARAM)processBandState->selectedFeed, 0);
    return 0;
}

static void BandOnFeedChosen(HWND toolbar, HWND combo)
{
    HWND tickerWindow = GetDlgItem(toolbar, TICKER_ID);
    TickerState *ticker = tickerWindow ? (TickerState *)GetWindowLongPtrA(tickerWindow, GWLP_USERDATA) : NULL;
    BandState *band = processBandState;
    if (!ticker || !band)
        return;
    LRESULT index = SendMessageA(combo, CB_GETCURSEL, 0, 0);
    band->selectedFeed = (LONG)index;
    /* Without a selection the item data would read as CB_ERR, which is
       also the reference of the first system feed. */
    if (index == CB_ERR)
        return;
    LONG reference = (LONG)SendMessageA(combo, CB_GETITEMDATA, (WPARAM)index, 0);
    char url[URL_SIZE];
    if (IsStoreFeedReference(reference) ? GetSystemFeedUrl(StoreFeedPosition(reference), url) != S_OK
                                        : !GetUserFeedUrl(toolbar, reference, url))
        return;
    RequestFeedLoad(ticker, url);
}

static void BandOnDestroy(HWND toolbar)
{
    EndFeedListFills(toolbar);
    /* The tip first: its tool subclasses the combo box. */
    DestroyFeedStatusTip(toolbar);
    HWND combo = GetDlgItem(toolbar, FEED_COMBO_ID);
    HWND ticker = GetDlgItem(toolbar, TICKER_ID);
    if (ticker)
        DestroyWindow(ticker);
    if (combo)
        DestroyWindow(combo);
}

static LRESULT ForwardToToolbar(HWND toolbar, UINT message, WPARAM wParam, LPARAM lParam)
{
    WNDPROC previous = (WNDPROC)GetWindowLongPtrA(toolbar, GWLP_USERDATA);
    return previous ? CallWindowProcA(previous, toolbar, message, wParam, lParam) : 0;
}

LRESULT CALLBACK BandWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_FEEDLIST_FILL:
        StartFeedListFill(window);
        return 0;
    case WM_FEEDLIST_RESELECT:
        return BandOnReselect(window);
    case WM_FEEDLIST_RELAY:
        return CarryOutComboRequest(window, (LONG)wParam, (ComboRequest *)lParam);
    case WM_NOTIFY:
        if (((NMHDR *)lParam)->code == TTN_GETDISPINFOA && processBandState)
            return FeedStatusOnGetDispInfo(processBandState->ticker, (NMTTDISPINFOA *)lParam);
        break;
    case WM_COMMAND:
        if (LOWORD(wParam) == FEED_COMBO_ID && HIWORD(wParam) == CBN_SELCHANGE)
            BandOnFeedChosen(window, (HWND)lParam);
        break;
    case WM_DESTROY:
        BandOnDestroy(window);
        break;
    }
    return ForwardToToolbar(window, message, wParam, lParam);
}
