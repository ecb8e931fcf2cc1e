/* Loading the current feed into the item list, on the rendering thread,
   which owns the list. */
#include "ticker/ticker.h"
#include "core/handoff.h"
#include "feeds/feeds.h"

/* The title it replaces stays readable for a window-thread reader that
   took it just before, until the reload after. */
static void PublishFeedTitle(TickerState *ticker, BSTR title)
{
    SysFreeString(ticker->retiredFeedTitle);
    ticker->retiredFeedTitle =
        (BSTR)InterlockedExchangePointer((void *volatile *)&ticker->feedTitle, title);
}

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
    PublishFeedTitle(ticker, NULL);
    ticker->itemCount = 0;
    /* The headline stepped to belonged to the old list. */
    InterlockedExchange(&ticker->focusIndex, -1);
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
    BSTR title = NULL;
    if (GetFeedTitle(root, kind, &title) != S_OK)
        title = NULL;
    PublishFeedTitle(ticker, title);
    ForEachFeedItem(root, AddTickerItem, ticker);
    IXMLDOMNode_Release(root);
    SetEvent(ticker->loadingEvent);
    /* Screen readers read the list anew. */
    if (window)
        NotifyWinEvent(EVENT_OBJECT_REORDER, window, OBJID_CLIENT, CHILDID_SELF);
    return S_OK;
}
