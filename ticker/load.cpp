/* The item list and the lists that replace it: building a list from a
   fetched document, and putting it in place on the rendering thread, which
   owns the list. */
#include "ticker/ticker.h"
#include "ticker/loaded.h"
#include "core/handoff.h"
#include "feeds/feeds.h"
#include <shlwapi.h>
#include <string.h>

/* The longest channel ttl taken, a week in minutes. */
#define MAX_TTL_MINUTES     (7 * 24 * 60)

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

void ClearForChoice(TickerState *ticker, HWND window)
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
    ticker->choiceLoading = 1;
    ResetEvent(ticker->loadingEvent);
    if (window) {
        InvalidateRect(window, NULL, TRUE);
        UpdateWindow(window);
    }
}

static HRESULT AddToLoadedList(IXMLDOMNode *node, void *context)
{
    LoadedList *list = (LoadedList *)context;
    return AddItemToList(node, list->items, &list->count);
}

/* A channel's ttl in minutes, 0 when it has none that reads as one. */
static LONG ReadTtl(IXMLDOMNode *root, int kind)
{
    BSTR text;
    if (kind != FEED_KIND_RSS || GetChildText(root, L"ttl", &text) != S_OK)
        return 0;
    int minutes = 0;
    if (!StrToIntExW(text, STIF_DEFAULT, &minutes) || minutes < 0)
        minutes = 0;
    SysFreeString(text);
    return minutes < MAX_TTL_MINUTES ? minutes : MAX_TTL_MINUTES;
}

LoadedList *BuildLoadedList(const FetchResult *fetched, const char *url)
{
    LoadedList *list = (LoadedList *)GlobalAlloc(GPTR, sizeof(LoadedList));
    if (!list)
        return NULL;
    list->cause = fetched->cause;
    if (fetched->cause != FETCH_OK)
        return list;
    IXMLDOMNode *root;
    int kind;
    if (ParseFeedDocument(fetched->document, url, &root, &kind) != S_OK) {
        list->cause = FETCH_NOT_A_FEED;
        return list;
    }
    ForEachFeedItem(root, AddToLoadedList, list);
    list->ttlMinutes = ReadTtl(root, kind);
    if (GetFeedTitle(root, kind, &list->title) != S_OK)
        list->title = NULL;
    IXMLDOMNode_Release(root);
    return list;
}

void FreeLoadedList(LoadedList *list)
{
    if (!list)
        return;
    ReleaseTickerItems(list->items, list->count);
    SysFreeString(list->title);
    GlobalFree(list);
}

static BOOL SameTitle(const TickerItem *a, const TickerItem *b)
{
    return a->title && b->title && a->titleLength == b->titleLength &&
           memcmp(a->title, b->title, a->titleLength * sizeof(WCHAR)) == 0;
}

/* The index in items of the entry titled like item, or -1. */
static LONG FindTitle(const TickerItem *items, LONG count, const TickerItem *item)
{
    for (LONG i = 0; i < count; i++)
        if (SameTitle(&items[i], item))
            return i;
    return -1;
}

/* A refresh keeps what the user sees: the head goes on from the character
   it stands at when the new list still has its headline, and headlines
   the user hid stay hidden. A head that is gone gives way to the new
   list's first item, as after any reload. */
static void CarryOverRow(TickerState *ticker)
{
    TickerItem *old = ticker->retiredItems;
    LONG oldCount = ticker->retiredCount;
    for (LONG i = 0; i < ticker->itemCount; i++) {
        LONG was = FindTitle(old, oldCount, &ticker->items[i]);
        if (was >= 0)
            ticker->items[i].flags = old[was].flags & (ITEM_HIDDEN | ITEM_HIDDEN_BY_USER);
    }
    LONG head = ticker->headIndex;
    LONG now = head < oldCount ? FindTitle(ticker->items, ticker->itemCount, &old[head]) : -1;
    ticker->headIndex = now >= 0 ? now : 0;
    if (now >= 0)
        ticker->items[now].scrolledChars = old[head].scrolledChars;
    /* The headline the keys stepped to stays chosen where it moved; a key
       that stepped meanwhile wins. */
    LONG focus = ticker->focusIndex;
    if (focus >= 0) {
        LONG moved = focus < oldCount ? FindTitle(ticker->items, ticker->itemCount, &old[focus]) : -1;
        InterlockedCompareExchange(&ticker->focusIndex, moved, focus);
    }
}

void InstallLoadedList(TickerState *ticker, LoadedList *list, BOOL refresh)
{
    ticker->hoveredItem = NULL;
    RetireItems(ticker);
    CopyMemory(ticker->items, list->items, list->count * sizeof(TickerItem));
    ticker->itemCount = list->count;
    ticker->choiceLoading = 0;
    /* The items and the title now belong to the ticker. */
    list->count = 0;
    PublishFeedTitle(ticker, list->title);
    list->title = NULL;
    if (refresh)
        CarryOverRow(ticker);
    else
        ticker->headIndex = 0;
    if (list->cause != FETCH_OK) {
        ticker->loadFailedAt = GetTickCount();
        ticker->loadFailed = 1;
        return;
    }
    ticker->loadFailed = 0;
    SetEvent(ticker->loadingEvent);
}

HRESULT LoadFeed(TickerState *ticker, HWND window)
{
    ClearForChoice(ticker, window);
    char url[URL_SIZE];
    TakeFeedUrl(ticker, url);
    FetchResult fetched;
    (void)FetchFeed(url, NULL, &fetched, NULL);
    LoadedList *list = BuildLoadedList(&fetched, url);
    FreeFetchResult(&fetched);
    if (!list)
        return E_OUTOFMEMORY;
    InstallLoadedList(ticker, list, FALSE);
    HRESULT hr = list->cause == FETCH_OK ? S_OK : S_FALSE;
    FreeLoadedList(list);
    if (hr != S_OK && window)
        InvalidateRect(window, NULL, TRUE);
    return hr;
}
