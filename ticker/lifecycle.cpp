/* Creation and teardown of the ticker record: its window class, named
   events, fonts, menu and rendering thread. Both run on the window thread. */
#include "ticker/ticker.h"
#include "core/handoff.h"
#include "settings/settings.h"
#include "resources/resource.h"
#include <shlwapi.h>

static const DWORD RENDER_THREAD_GRACE_MS = 3000;
static const DWORD RENDER_THREAD_JOIN_MS = 100;

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

void CreateTicker(HINSTANCE instance, BandState *band)
{
    RegisterTickerClass(instance);
    TickerState *ticker = (TickerState *)GlobalAlloc(GPTR, sizeof(TickerState));
    if (!ticker)
        return;
    band->ticker = ticker;
    ticker->band = band;

    LoadShownFeedUrl(ticker->feedUrl, URL_SIZE);
    ticker->cursor = LoadCursor(NULL, IDC_ARROW);
    ticker->tipText = (char *)GlobalAlloc(GPTR, TICKER_TIP_SIZE);
    ticker->tipSerial = -1;
    ticker->focusIndex = -1;
    ticker->itemMenu = LoadMenuA(instance, MAKEINTRESOURCEA(IDM_ITEM));
    CreateTickerFonts(&ticker->textFont, &ticker->linkFont);

    ticker->loadEvent = CreateTickerEvent("velmra load event", FALSE);
    ticker->exitEvent = CreateTickerEvent("velmra exit event", FALSE);
    ticker->finishEvent = CreateTickerEvent("velmra finish event", FALSE);
    ticker->targetEvent = CreateTickerEvent("velmora target event", FALSE);
    ticker->loadingEvent = CreateTickerEvent("velmra loading event", TRUE);

    band->refreshMinutes = LoadRefreshMinutes();
    (void)StartFeedLoader(ticker);
    ticker->renderThread = CreateThread(NULL, 0, RenderThread, band, 0, &ticker->renderThreadId);
}

static BOOL WaitAnsweringSends(HANDLE handle, DWORD timeoutMs)
{
    /* What the rendering thread sends to the ticker window (repaints,
       tooltip text) is answered: it may be waiting on it. */
    return WaitAnsweringMessages(1, &handle, timeoutMs, QS_SENDMESSAGE, FALSE) == WAIT_OBJECT_0;
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

void DestroyTicker(BandState *band)
{
    TickerState *ticker = band->ticker;
    if (!ticker)
        return;
    /* Both threads are asked to end at once and share one bound. */
    DWORD start = GetTickCount();
    StopFeedLoader(ticker);
    StopRenderThread(ticker);
    EndFeedLoader(ticker, start, RENDER_THREAD_GRACE_MS + RENDER_THREAD_JOIN_MS);
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
    SysFreeString(ticker->feedTitle);
    SysFreeString(ticker->retiredFeedTitle);
    if (ticker->tipText)
        GlobalFree(ticker->tipText);
    band->ticker = NULL;
    GlobalFree(ticker);
}
