/* Loading the current feed into the item list, on the rendering thread,
   which owns the list. */
#include "ticker/ticker.h"
#include "core/handoff.h"
#include "feeds/feeds.h"

/* The list being replaced is kept one reload longer (see retiredItems). */
static void RetireItems(TickerState *ticker)
{
    ReleaseTickerItems(ticker->retiredItems, ticker->retiredCount);
    CopyMemory(ticker->retiredItems, ticker->items, ticker->itemCount * sizeof(TickerItem));
    ticker->retiredCount = ticker->itemCount;
}

HRESULT LoadFeed(TickerState *ticker, HWND window)
{
    ticker->hoveredItem = NULL;
    /* Retired while the count still says what the list holds. */
    RetireItems(ticker);
    ticker->itemCount = 0;
    ticker->headIndex = 0;
    ticker->loadFailed = 0;
    ResetEvent(ticker->loadingEvent);
    if (window) {
        InvalidateRect(window, NULL, TRUE);
        UpdateWindow(window);
    }

    char url[URL_SIZE];
    TakeFeedUrl(ticker, url);
    IXMLDOMNode *root;
    int kind;
    HRESULT hr = LoadFeedDocument(url, &root, &kind);
    if (hr != S_OK) {
        ticker->loadFailedAt = GetTickCount();
        ticker->loadFailed = 1;
        if (window)
            InvalidateRect(window, NULL, TRUE);
        return hr;
    }
    ForEachFeedItem(root, AddTickerItem, ticker);
    IXMLDOMNode_Release(root);
    SetEvent(ticker->loadingEvent);
    return S_OK;
}
