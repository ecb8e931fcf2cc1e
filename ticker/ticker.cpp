/* Creation and teardown of the ticker record, its events, fonts, menu and
   rendering thread, and the loading of a feed into the item list.
   CreateTicker, DestroyTicker and StoreFeedUrl run on the window thread;
   LoadFeed and AddTickerItem run on the rendering thread, which owns the
   item list. */
#include "ticker/ticker.h"
#include "feeds/feeds.h"
#include "settings/settings.h"
#include "resources/resource.h"
#include <shlwapi.h>

static const WCHAR HIDDEN_TEXT[] = L"[...]";
static const DWORD RENDER_THREAD_GRACE_MS = 3000;
static const DWORD RENDER_THREAD_JOIN_MS = 100;

static int TickerItem_GetText(TickerItem *item, const WCHAR **text, LONG *length, LONG drawnBefore)
{
    const WCHAR *chars = item->title;
    LONG count = item->titleLength;
    if (item->flags & ITEM_HIDDEN) {
        chars = HIDDEN_TEXT;
        count = 5;
    }
    if (drawnBefore == 0 && chars) {
        LONG skip = item->scrolledChars;
        if (skip > count)
            skip = count;
        chars += skip;
        count -= skip;
    }
    *text = chars;
    *length = count;
    return 0;
}

static int TickerItem_HitTest(TickerItem *item, HWND tickerWindow)
{
    InterlockedAnd(&item->flags, ~ITEM_HOVERED);
    if (item->flags & ITEM_HIDDEN)
        return 0;
    POINT cursor;
    if (!CursorInsideWindow(tickerWindow, &cursor))
        return 0;
    ScreenToClient(tickerWindow, &cursor);
    if (cursor.x >= item->rect.left && cursor.x <= item->rect.right &&
        cursor.y >= item->rect.top && cursor.y <= item->rect.bottom)
        InterlockedOr(&item->flags, ITEM_HOVERED);
    return 0;
}

const TickerItemOps tickerItemOps = {
    TickerItem_GetText,
    TickerItem_HitTest
};

static void RegisterTickerClass(HINSTANCE instance)
{
    WNDCLASSA windowClass;
    ZeroMemory(&windowClass, sizeof(windowClass));
    windowClass.style = CS_HREDRAW | CS_VREDRAW;
    windowClass.lpfnWndProc = TickerWindowProc;
    windowClass.hInstance = instance;
    windowClass.lpszClassName = TICKER_WINDOW_CLASS;
    (void)RegisterClassA(&windowClass);   /* already registered by an earlier state */
}

/* Each browser process (one per window or tab) has a ticker of its own: the
   process id after the name keeps one process's exit, load and loading
   events from reaching another's, while a process that knows the id can
   still open them by name. */
static HANDLE CreateTickerEvent(const char *name, BOOL manualReset)
{
    char fullName[64];
    wnsprintfA(fullName, sizeof(fullName), "%s %lu", name, GetCurrentProcessId());
    return CreateEventA(NULL, manualReset, FALSE, fullName);
}

int CreateTicker(HINSTANCE instance, BandState *band)
{
    RegisterTickerClass(instance);
    TickerState *ticker = (TickerState *)GlobalAlloc(GPTR, sizeof(TickerState));
    if (!ticker)
        return 0;
    band->ticker = ticker;

    LoadShownFeedUrl(ticker->feedUrl, TICKER_URL_SIZE);
    ticker->cursor = LoadCursor(NULL, IDC_ARROW);
    ticker->tipText = (char *)GlobalAlloc(GPTR, TICKER_TIP_SIZE);
    ticker->tipSerial = -1;
    ticker->itemMenu = LoadMenuA(instance, MAKEINTRESOURCEA(IDM_ITEM));
    CreateTickerFonts(&ticker->textFont, &ticker->linkFont);

    ticker->loadEvent = CreateTickerEvent("velmra load event", FALSE);
    ticker->exitEvent = CreateTickerEvent("velmra exit event", FALSE);
    ticker->finishEvent = CreateTickerEvent("velmra finish event", FALSE);
    ticker->targetEvent = CreateTickerEvent("velmora target event", FALSE);
    ticker->loadingEvent = CreateTickerEvent("velmra loading event", TRUE);

    DWORD threadId;
    ticker->renderThread = CreateThread(NULL, 0, RenderThread, band, 0, &threadId);
    return 0;
}

/* Waits for handle while answering what the rendering thread sends to the
   ticker window (repaints, tooltip text), which it may be waiting on; posted
   messages stay queued. */
static BOOL WaitAnsweringSends(HANDLE handle, DWORD timeoutMs)
{
    DWORD start = GetTickCount();
    for (;;) {
        DWORD spent = GetTickCount() - start;
        DWORD left = spent < timeoutMs ? timeoutMs - spent : 0;
        DWORD woken = MsgWaitForMultipleObjects(1, &handle, FALSE, left, QS_SENDMESSAGE);
        if (woken == WAIT_OBJECT_0)
            return TRUE;
        if (woken != WAIT_OBJECT_0 + 1)
            return FALSE;
        MSG msg;
        PeekMessageA(&msg, NULL, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
    }
}

/* Waits for the rendering thread to say it is done and then to be gone, so
   that none of its code is still running when the module may be unloaded.
   One that has said so is never killed: past its finish event it touches
   nothing of the ticker. The browser is held at most the grace and a join. */
static void StopRenderThread(TickerState *ticker)
{
    if (!ticker->renderThread)
        return;
    DWORD start = GetTickCount();
    SetEvent(ticker->exitEvent);
    if (!WaitAnsweringSends(ticker->finishEvent, RENDER_THREAD_GRACE_MS))
        TerminateThread(ticker->renderThread, 0);
    /* Joined within what is left either way; a kill is asynchronous, and
       the item list must not be freed under it. */
    DWORD spent = GetTickCount() - start;
    DWORD limit = RENDER_THREAD_GRACE_MS + RENDER_THREAD_JOIN_MS;
    (void)WaitAnsweringSends(ticker->renderThread, spent < limit ? limit - spent : 0);
}

static void CloseIfOpen(HANDLE handle)
{
    if (handle)
        CloseHandle(handle);
}

int DestroyTicker(BandState *band)
{
    TickerState *ticker = band->ticker;
    if (!ticker)
        return 0;
    StopRenderThread(ticker);
    CloseIfOpen(ticker->renderThread);
    CloseIfOpen(ticker->loadingEvent);
    CloseIfOpen(ticker->finishEvent);
    CloseIfOpen(ticker->exitEvent);
    CloseIfOpen(ticker->targetEvent);
    CloseIfOpen(ticker->loadEvent);
    DeleteRetiredFonts(ticker);
    if (ticker->linkFont)
        DeleteObject(ticker->linkFont);
    if (ticker->textFont)
        DeleteObject(ticker->textFont);
    if (ticker->itemMenu)
        DestroyMenu(ticker->itemMenu);
    ticker->hoveredItem = NULL;
    /* Left by a rendering thread that had to be terminated. */
    if (ticker->hoveredNode)
        IXMLDOMNode_Release(ticker->hoveredNode);
    ReleaseTickerItems(ticker->items, ticker->itemCount);
    ReleaseTickerItems(ticker->retiredItems, ticker->retiredCount);
    if (ticker->tipText)
        GlobalFree(ticker->tipText);
    band->ticker = NULL;
    GlobalFree(ticker);
    return 0;
}

/* The new pair is in place before the old one is queued, so a rendering
   thread that takes the queue reads only fonts that stay alive. */
BOOL ReplaceTickerFonts(TickerState *ticker, HFONT textFont, HFONT linkFont)
{
    RetiredFonts *pair = (RetiredFonts *)GlobalAlloc(GPTR, sizeof(RetiredFonts));
    if (!pair)
        return FALSE;
    pair->textFont = ticker->textFont;
    pair->linkFont = ticker->linkFont;
    ticker->textFont = textFont;
    ticker->linkFont = linkFont;
    RetiredFonts *head;
    do {
        head = ticker->retiredFonts;
        pair->next = head;
    } while (InterlockedCompareExchangePointer((void *volatile *)&ticker->retiredFonts, pair, head) != head);
    return TRUE;
}

/* Called by the rendering thread before it reads the fonts for a frame: a
   pair retired before this point is no longer the current one. */
void DeleteRetiredFonts(TickerState *ticker)
{
    RetiredFonts *pair = (RetiredFonts *)InterlockedExchangePointer((void *volatile *)&ticker->retiredFonts, NULL);
    while (pair) {
        RetiredFonts *next = pair->next;
        if (pair->textFont)
            DeleteObject(pair->textFont);
        if (pair->linkFont)
            DeleteObject(pair->linkFont);
        GlobalFree(pair);
        pair = next;
    }
}

void ReleaseTickerItems(TickerItem *items, LONG count)
{
    for (LONG i = 0; i < count; i++) {
        SysFreeString(items[i].title);
        items[i].title = NULL;
        items[i].titleLength = 0;
        if (items[i].node) {
            IXMLDOMNode_Release(items[i].node);
            items[i].node = NULL;
        }
    }
}

/* A choice in the combo box may come while LoadFeed reads the URL on the
   rendering thread: the sequence is odd during the copy, and a reader that
   saw it odd or changed reads again, so it only ever sees one whole URL. */
void StoreFeedUrl(TickerState *ticker, const char *url)
{
    InterlockedIncrement(&ticker->feedUrlSequence);
    lstrcpynA(ticker->feedUrl, url, TICKER_URL_SIZE);
    InterlockedIncrement(&ticker->feedUrlSequence);
    SetEvent(ticker->loadEvent);
}

static void ReadFeedUrl(TickerState *ticker, char *url)
{
    for (;;) {
        LONG before = ticker->feedUrlSequence;
        MemoryBarrier();
        if (!(before & 1)) {
            CopyMemory(url, ticker->feedUrl, TICKER_URL_SIZE);
            MemoryBarrier();
            if (ticker->feedUrlSequence == before)
                break;
        }
        SwitchToThread();
    }
    url[TICKER_URL_SIZE - 1] = 0;
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
    ticker->itemCount = 0;
    ticker->headIndex = 0;
    ticker->loadFailed = 0;
    ResetEvent(ticker->loadingEvent);
    if (window) {
        InvalidateRect(window, NULL, TRUE);
        UpdateWindow(window);
    }

    char url[TICKER_URL_SIZE];
    ReadFeedUrl(ticker, url);
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

HRESULT AddTickerItem(IXMLDOMNode *node, void *context)
{
    TickerState *ticker = (TickerState *)context;
    /* The list has room for 256; later items are let go at once. */
    if (ticker->itemCount >= TICKER_MAX_ITEMS) {
        IXMLDOMNode_Release(node);
        return S_OK;
    }
    TickerItem *item = &ticker->items[ticker->itemCount];
    item->node = node;
    item->ops = &tickerItemOps;
    item->flags = 0;
    item->scrolledChars = 0;
    item->title = NULL;
    item->titleLength = 0;
    SetRectEmpty(&item->rect);
    BSTR title;
    if (GetFeedItemText(node, FEED_ITEM_TITLE, &title) == S_OK) {
        item->title = title;
        item->titleLength = (LONG)SysStringLen(title);
    }
    ticker->itemCount++;
    return S_OK;
}
