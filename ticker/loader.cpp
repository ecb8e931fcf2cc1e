/* The feed loader: a thread of its own that fetches and parses feeds, so
   that no download ever holds the rendering thread or the window thread.
   It serves the rendering thread's choices, "refresh now" from the window
   thread, and the refresh schedule. Finished lists go back through one slot
   that the rendering thread empties between frames; the item list itself
   stays the rendering thread's. A refresh that fails publishes nothing:
   the last good list keeps scrolling, and only the fetch status changes. */
#include "ticker/ticker.h"
#include "ticker/loaded.h"
#include "core/handoff.h"
#include "core/ids.h"

DWORD refreshMinuteMs = 60000;

/* Back-off after failures: 1, 2, 4 ... minutes, up to the interval. */
#define MAX_BACKOFF_SHIFT   16

struct FeedLoader {
    TickerState *ticker;
    HANDLE thread;
    HANDLE stopEvent;             /* manual-reset: the ticker is ending */
    HANDLE firstEvent;            /* manual-reset: the first load has ended */
    FetchAbort abort;
    volatile LONG choiceSerial;   /* rendering thread: one more for every choice */
    LoadedList *volatile finished;   /* loader to rendering thread */
    /* The loader thread's own. */
    LONG servedSerial;
    char goodUrl[URL_SIZE];       /* the URL the validators belong to */
    FetchValidators validators;
    BOOL haveGood;
    DWORD lastAt;                 /* when the last fetch ended */
    LONG failures;                /* fetches in a row that failed */
    DWORD retryAfterMs;
    LONG ttlMinutes;
};

/* Shown: the active band's ticker window is visible. A process whose
   bands are all hidden fetches nothing on its own. */
static BOOL BandShown(TickerState *ticker)
{
    HWND bar = ticker->band->bandWindow;
    HWND window = bar ? GetDlgItem(bar, TICKER_ID) : NULL;
    return window && IsWindowVisible(window);
}

/* From the last fetch to the next refresh; INFINITE for none. The interval
   is read each time, so a changed setting counts from the last fetch. */
static ULONGLONG RefreshDelay(const FeedLoader *l)
{
    LONG minutes = l->ticker->band->refreshMinutes;
    if (minutes <= 0)
        return INFINITE;
    if (l->failures == 0)
        return (ULONGLONG)(l->ttlMinutes > minutes ? l->ttlMinutes : minutes) * refreshMinuteMs;
    LONG shift = l->failures - 1 < MAX_BACKOFF_SHIFT ? l->failures - 1 : MAX_BACKOFF_SHIFT;
    LONG backoff = (1L << shift) < minutes ? (1L << shift) : minutes;
    ULONGLONG delay = (ULONGLONG)backoff * refreshMinuteMs;
    return delay > l->retryAfterMs ? delay : l->retryAfterMs;
}

/* How long the thread may sleep; 0 when a refresh is due. A refresh due
   while no band shows waits for one, looking once a minute. */
static DWORD TimeToWait(FeedLoader *l, BOOL *due)
{
    *due = FALSE;
    ULONGLONG delay = RefreshDelay(l);
    if (delay == INFINITE)
        return INFINITE;
    DWORD spent = GetTickCount() - l->lastAt;
    if (spent < delay)
        return (DWORD)(delay - spent < 0x7FFFFFFF ? delay - spent : 0x7FFFFFFF);
    if (!BandShown(l->ticker))
        return refreshMinuteMs;
    *due = TRUE;
    return 0;
}

static void NoteOutcome(FeedLoader *l, const FetchResult *fetched, const LoadedList *list,
                        const char *url)
{
    TickerState *ticker = l->ticker;
    int cause = list ? list->cause : fetched->cause;
    l->lastAt = GetTickCount();
    if (cause == FETCH_OK || cause == FETCH_NOT_MODIFIED) {
        l->failures = 0;
        l->retryAfterMs = 0;
    } else {
        l->failures++;
        /* The server's own clock: seconds as they are. */
        l->retryAfterMs = fetched->retryAfterSeconds * 1000;
    }
    if (cause == FETCH_OK && list) {
        l->validators = fetched->validators;
        lstrcpynA(l->goodUrl, url, URL_SIZE);
        l->haveGood = TRUE;
        l->ttlMinutes = list->ttlMinutes;
    }
    ticker->fetchStatus = (LONG)fetched->status;
    ticker->fetchFailures = l->failures;
    InterlockedExchange(&ticker->fetchCause, cause);
}

/* A newer list replaces one the rendering thread has not taken yet. */
static void Publish(FeedLoader *l, LoadedList *list)
{
    LoadedList *old = (LoadedList *)InterlockedExchangePointer((void *volatile *)&l->finished, list);
    FreeLoadedList(old);
    WakeRenderer(l->ticker);
}

/* One fetch of the current feed. A choice always fetches the whole
   document and is always answered; a refresh of the feed last loaded asks
   only for a change, and is answered only with a new list. */
static void FetchCurrentFeed(FeedLoader *l, BOOL choice)
{
    /* A choice is counted after its abort is set: an abort seen after the
       count was read is meant for a later choice and cuts this fetch short;
       one from before is forgotten. The stop is looked at after. */
    LONG serial = l->choiceSerial;
    ResetEvent(l->abort.event);
    if (WaitForSingleObject(l->stopEvent, 0) == WAIT_OBJECT_0)
        return;
    char url[URL_SIZE];
    TakeFeedUrl(l->ticker, url);
    BOOL same = l->haveGood && lstrcmpA(url, l->goodUrl) == 0;
    FetchResult fetched;
    (void)FetchFeed(url, !choice && same ? &l->validators : NULL, &fetched, &l->abort);
    if (WaitForSingleObject(l->abort.event, 0) == WAIT_OBJECT_0) {
        /* Cut short for a newer choice or the end: neither a list nor a failure. */
        FreeFetchResult(&fetched);
        return;
    }
    LoadedList *list = fetched.cause == FETCH_OK || choice ? BuildLoadedList(&fetched, url) : NULL;
    FreeFetchResult(&fetched);
    NoteOutcome(l, &fetched, list, url);
    if (choice)
        l->servedSerial = serial;
    if (list && (choice || list->cause == FETCH_OK)) {
        list->serial = serial;
        list->refresh = !choice;
        Publish(l, list);
    } else {
        FreeLoadedList(list);
        /* The combo box's status, among others, is read on the window thread. */
        WakeRenderer(l->ticker);
    }
}

static DWORD WINAPI FeedLoaderThread(void *parameter)
{
    FeedLoader *l = (FeedLoader *)parameter;
    (void)CoInitialize(NULL);
    FetchCurrentFeed(l, TRUE);
    SetEvent(l->firstEvent);
    HANDLE waits[2] = { l->stopEvent, l->ticker->fetchEvent };
    for (;;) {
        BOOL due;
        DWORD timeout = TimeToWait(l, &due);
        if (!due && WaitForMultipleObjects(2, waits, FALSE, timeout) == WAIT_OBJECT_0)
            break;
        if (WaitForSingleObject(l->stopEvent, 0) == WAIT_OBJECT_0)
            break;
        if (l->choiceSerial != l->servedSerial) {
            InterlockedExchange(&l->ticker->refreshRequested, 0);
            FetchCurrentFeed(l, TRUE);
        }
        else if (InterlockedExchange(&l->ticker->refreshRequested, 0) || due)
            FetchCurrentFeed(l, FALSE);
    }
    CoUninitialize();
    return 0;
}

BOOL StartFeedLoader(TickerState *ticker)
{
    FeedLoader *l = (FeedLoader *)GlobalAlloc(GPTR, sizeof(FeedLoader));
    if (!l)
        return FALSE;
    l->ticker = ticker;
    l->stopEvent = CreateEventA(NULL, TRUE, FALSE, NULL);
    l->firstEvent = CreateEventA(NULL, TRUE, FALSE, NULL);
    l->abort.event = CreateEventA(NULL, TRUE, FALSE, NULL);
    ticker->fetchEvent = CreateEventA(NULL, FALSE, FALSE, NULL);
    ticker->loader = l;
    if (l->stopEvent && l->firstEvent && l->abort.event && ticker->fetchEvent)
        l->thread = CreateThread(NULL, 0, FeedLoaderThread, l, 0, NULL);
    /* Without a loader the first wait ends at once, with an empty list. */
    if (!l->thread && l->firstEvent)
        SetEvent(l->firstEvent);
    return l->thread != NULL;
}

void StopFeedLoader(TickerState *ticker)
{
    FeedLoader *l = ticker->loader;
    if (!l)
        return;
    if (l->stopEvent)
        SetEvent(l->stopEvent);
    AbortFetch(&l->abort);
}

static void CloseIfOpen(HANDLE handle)
{
    if (handle)
        CloseHandle(handle);
}

void EndFeedLoader(TickerState *ticker, DWORD start, DWORD boundMs)
{
    FeedLoader *l = ticker->loader;
    if (!l)
        return;
    if (l->thread) {
        DWORD spent = GetTickCount() - start;
        HANDLE thread = l->thread;
        if (WaitAnsweringMessages(1, &thread, spent < boundMs ? boundMs - spent : 0, QS_SENDMESSAGE,
                                  FALSE) != WAIT_OBJECT_0) {
            /* A download the platform would not cut short. */
            TerminateThread(thread, 0);
            (void)WaitForSingleObject(thread, 100);
        }
        CloseHandle(thread);
    }
    FreeLoadedList(l->finished);
    CloseIfOpen(l->abort.event);
    CloseIfOpen(l->firstEvent);
    CloseIfOpen(l->stopEvent);
    CloseIfOpen(ticker->fetchEvent);
    ticker->fetchEvent = NULL;
    ticker->loader = NULL;
    GlobalFree(l);
}

void BeginFeedChoice(TickerState *ticker, HWND window)
{
    FeedLoader *l = ticker->loader;
    ClearForChoice(ticker, window);
    if (!l)
        return;
    /* A download under way serves a list that is no longer wanted. */
    AbortFetch(&l->abort);
    InterlockedIncrement(&l->choiceSerial);
    SetEvent(ticker->fetchEvent);
}

BOOL WaitForFirstList(TickerState *ticker)
{
    FeedLoader *l = ticker->loader;
    if (!l)
        return TRUE;
    HANDLE waits[2] = { l->firstEvent, l->stopEvent };
    if (WaitAnsweringMessages(2, waits, INFINITE, QS_ALLINPUT, FALSE) != WAIT_OBJECT_0)
        return FALSE;
    (void)TakeFinishedList(ticker);
    return TRUE;
}

BOOL TakeFinishedList(TickerState *ticker)
{
    FeedLoader *l = ticker->loader;
    if (!l || !l->finished)
        return FALSE;
    LoadedList *list = (LoadedList *)InterlockedExchangePointer((void *volatile *)&l->finished, NULL);
    if (!list)
        return FALSE;
    /* Fetched for a choice the user has since replaced. */
    BOOL current = list->serial == l->choiceSerial;
    if (current)
        InstallLoadedList(ticker, list, list->refresh);
    FreeLoadedList(list);
    return current;
}
