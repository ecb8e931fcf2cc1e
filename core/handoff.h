/* The requests one thread or layer makes of another through the shared
   records, each a function of its own, and the one wait that answers
   messages. The hand-off mechanisms, all of them:
   - target event: a band became the active one (RequestActiveBand, also
     from the rendering thread's WM_TICKER_FOLLOW through ActivateSitedBand);
   - load event with the feedUrl sequence: a URL to load (RequestFeedLoad,
     read back with TakeFeedUrl on the rendering thread);
   - a null thread message: a still row has something new to draw
     (WakeRenderer);
   - the retired-font queue: fonts the rendering thread may still draw with
     (HandOverFonts, emptied with DeleteRetiredFonts);
   - fetch event with refreshRequested: the loader fetches now
     (RequestRefresh) or looks at its schedule again (RescheduleRefresh);
   - the loader's finished-list slot: a fetched list for the rendering
     thread to put in place between frames (ticker/loader.cpp);
   - the keyboard's fields with the cursor-move count and a wake-up: the
     focus shown, the headline stepped to, a pause (ShowKeyboardFocus,
     RequestHeadlineFocus, RequestPause);
   - exit and finish events: the rendering thread's end (ticker lifecycle);
   - posted WM_FEEDLIST_* messages: work for the toolbar's window thread. */
#ifndef VELMORA_CORE_HANDOFF_H
#define VELMORA_CORE_HANDOFF_H

#include "core/state.h"

/* Window thread: the shared state serves view's band from now on, and the
   rendering thread moves to it. */
void RequestActiveBand(const BandView *view);
/* Window thread: a band that leaves while active takes its windows and
   browser out of the shared state; links then open nowhere. */
void ForgetActiveBand(const BandView *view);

/* Every sited band's top-level browser window and toolbar, so that the
   rendering thread can tell when the user has brought another browser
   window of the process to the front. Written only on the window thread, as
   bands are sited and leave; an entry with no top window is free. The
   rendering thread reads it without a lock and only asks the window thread
   (ActivateSitedBand), which checks the request against its own records. */
struct SitedBand {
    HWND volatile topWindow;
    HWND volatile bandWindow;
};
#define SITED_BAND_LIMIT 64
extern SitedBand sitedBands[SITED_BAND_LIMIT];

/* Window thread: the list follows the bands that are sited and leave. */
void RecordSitedBand(const BandView *view);
void ForgetSitedBand(const BandView *view);
/* Window thread: the sited band whose toolbar is bandWindow becomes the
   active one, if its browser window is still the one in front. */
void ActivateSitedBand(HWND bandWindow);

/* Window thread: makes url the current feed and has the rendering thread
   load it. */
void RequestFeedLoad(TickerState *ticker, const char *url);
/* Rendering thread: one whole URL as last stored, into URL_SIZE bytes. */
void TakeFeedUrl(TickerState *ticker, char *url);

/* Window thread: the current feed is fetched again now, in the background;
   the row goes on meanwhile. */
void RequestRefresh(TickerState *ticker);
/* Window thread: the refresh interval changed. */
void RescheduleRefresh(TickerState *ticker);

/* Any thread: a row that stands still is drawn again with what changed
   (colours, fonts, speed, hidden headlines). */
void WakeRenderer(TickerState *ticker);

/* Window thread: puts a new font pair in place and queues the old one for
   the rendering thread to delete; FALSE (nothing changed) when it cannot be
   queued. */
BOOL HandOverFonts(TickerState *ticker, HFONT textFont, HFONT linkFont);
/* Rendering thread, before it reads the fonts for a frame, and teardown. */
void DeleteRetiredFonts(TickerState *ticker);

/* Window thread: the ticker window gained or lost the keyboard focus; the
   row shows a focus rectangle while it has it. */
void ShowKeyboardFocus(TickerState *ticker, BOOL focused);
/* Window thread: the row stands still and shows headline index as the
   hovered one, in view; -1 lets it move on. */
void RequestHeadlineFocus(TickerState *ticker, LONG index);
/* Window thread: sets or clears one of the PAUSE_* reasons. */
void RequestPause(TickerState *ticker, LONG reason, BOOL paused);

/* Waits like WaitForMultipleObjects for any of count handles (count may be
   0: a sleep) while answering this thread's messages. wakeMask QS_SENDMESSAGE
   answers sent messages only and leaves posted ones queued; QS_ALLINPUT
   dispatches everything. With answerOnce a message ends the wait after it
   was answered, with WAIT_OBJECT_0 + count. */
DWORD WaitAnsweringMessages(DWORD count, const HANDLE *handles, DWORD timeoutMs, DWORD wakeMask,
                            BOOL answerOnce);

#endif
