/* The hand-offs between the window thread and the rendering thread (see
   core/handoff.h for the whole list). */
#include "core/handoff.h"

/* A choice in the combo box may come while the rendering thread reads the
   URL: the sequence is odd during the copy, and a reader that saw it odd or
   changed reads again, so it only ever sees one whole URL. */
void RequestFeedLoad(TickerState *ticker, const char *url)
{
    InterlockedIncrement(&ticker->feedUrlSequence);
    lstrcpynA(ticker->feedUrl, url, URL_SIZE);
    InterlockedIncrement(&ticker->feedUrlSequence);
    SetEvent(ticker->loadEvent);
}

void TakeFeedUrl(TickerState *ticker, char *url)
{
    for (;;) {
        LONG before = ticker->feedUrlSequence;
        MemoryBarrier();
        if (!(before & 1)) {
            CopyMemory(url, ticker->feedUrl, URL_SIZE);
            MemoryBarrier();
            if (ticker->feedUrlSequence == before)
                break;
        }
        SwitchToThread();
    }
    url[URL_SIZE - 1] = 0;
}

void RequestRefresh(TickerState *ticker)
{
    InterlockedExchange(&ticker->refreshRequested, 1);
    SetEvent(ticker->fetchEvent);
}

void RescheduleRefresh(TickerState *ticker)
{
    SetEvent(ticker->fetchEvent);
}

/* A row that stands still waits for a message; anything that can change
   it without moving it wakes the rendering thread. */
void WakeRenderer(TickerState *ticker)
{
    PostThreadMessageA(ticker->renderThreadId, WM_NULL, 0, 0);
}

/* The hover is tested again only after the cursor moved; a key is a move
   of the same kind. */
static void HoverMayChange(TickerState *ticker)
{
    InterlockedIncrement(&ticker->cursorMoves);
    WakeRenderer(ticker);
}

void ShowKeyboardFocus(TickerState *ticker, BOOL focused)
{
    InterlockedExchange(&ticker->hasFocus, focused ? 1 : 0);
    HoverMayChange(ticker);
}

void RequestHeadlineFocus(TickerState *ticker, LONG index)
{
    InterlockedExchange(&ticker->focusIndex, index);
    HoverMayChange(ticker);
}

void RequestPause(TickerState *ticker, LONG reason, BOOL paused)
{
    if (paused)
        InterlockedOr(&ticker->pauseFlags, reason);
    else
        InterlockedAnd(&ticker->pauseFlags, ~reason);
    WakeRenderer(ticker);
}

/* The new pair is in place before the old one is queued, so a rendering
   thread that takes the queue reads only fonts that stay alive. */
BOOL HandOverFonts(TickerState *ticker, HFONT textFont, HFONT linkFont)
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

/* A pair retired before this point is no longer the current one. */
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

static void AnswerMessages(DWORD wakeMask)
{
    MSG msg;
    if (wakeMask == QS_SENDMESSAGE) {
        /* Peeking answers what was sent; posted messages stay queued. */
        PeekMessageA(&msg, NULL, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
        return;
    }
    while (PeekMessageA(&msg, NULL, 0, 0, PM_REMOVE))
        DispatchMessageA(&msg);
}

DWORD WaitAnsweringMessages(DWORD count, const HANDLE *handles, DWORD timeoutMs, DWORD wakeMask,
                            BOOL answerOnce)
{
    DWORD start = GetTickCount();
    for (;;) {
        DWORD left = timeoutMs;
        if (timeoutMs != INFINITE) {
            DWORD spent = GetTickCount() - start;
            left = spent < timeoutMs ? timeoutMs - spent : 0;
        }
        /* Posted messages already seen count only where they are answered. */
        DWORD flags = wakeMask == QS_SENDMESSAGE ? 0 : MWMO_INPUTAVAILABLE;
        DWORD woken = MsgWaitForMultipleObjectsEx(count, handles, left, wakeMask, flags);
        if (woken != WAIT_OBJECT_0 + count)
            return woken;
        AnswerMessages(wakeMask);
        if (answerOnce)
            return woken;
    }
}
