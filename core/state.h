/* The records the whole band shares: one BandState and one TickerState per
   process, and the ticker's items. The ticker owns their lifecycle; every
   layer reads them, and asks for changes through core/handoff.h.
   Threads: the browser's window thread and the rendering thread both work
   on these records without a lock; each field has one writer, and every
   field is a single aligned word. */
#ifndef VELMORA_CORE_STATE_H
#define VELMORA_CORE_STATE_H

#include <windows.h>
#include <ole2.h>
#include <msxml.h>
#include <exdisp.h>
#include <stddef.h>
#include "core/limits.h"

struct TickerState;
struct TickerItem;
struct FeedLoader;

struct BandState {
    HWND topWindow;
    HWND bandWindow;
    HMENU mainMenu;
    HANDLE feedListDoneEvent;
    HANDLE feedListStopEvent;   /* unused: a fill stops by its own number; kept for the layout */
    TickerState *ticker;
    IWebBrowser2 *browser;
    char *serverList;
    LONG selectedFeed;
    COLORREF textColor;
    COLORREF linkColor;
    COLORREF backColor;
    LONG speed;
    LONG refreshMinutes;  /* minutes between refreshes, 0 for never */
};
/* Fourteen 32-bit words; a 64-bit build keeps the order with its eight
   handles and pointers as 64-bit words, each field still one aligned store. */
static_assert(offsetof(BandState, selectedFeed) == 8 * sizeof(void *) &&
              sizeof(BandState) == (sizeof(void *) == 4 ? 56 : 88), "BandState layout");

/* A band as the shared state serves it: its top-level browser window, its
   toolbar and its browser. Each band object keeps its own view; becoming
   the active band copies it into BandState (RequestActiveBand). */
struct BandView {
    HWND topWindow;
    HWND bandWindow;
    IWebBrowser2 *browser;
};

struct BandObject;

/* One interface pointer handed to callers: its table and its object. */
struct InterfaceEntry {
    const void *table;
    BandObject *owner;
};

/* The event sink's interface pointer, followed by its band's view: the sink
   reads what it needs of its band here, never the band object itself. */
struct SinkEntry {
    InterfaceEntry entry;
    const BandView *view;
};

/* Item flag bits. */
enum {
    ITEM_HOVERED = 0x1,
    ITEM_HIDDEN = 0x2,
    ITEM_HIDDEN_BY_USER = 0x4
};

struct TickerItemOps {
    int (*getText)(TickerItem *item, const WCHAR **text, LONG *length, LONG drawnBefore);
    int (*hitTest)(TickerItem *item, HWND tickerWindow);
};

struct TickerItem {
    const TickerItemOps *ops;
    IXMLDOMNode *node;
    BSTR title;
    LONG titleLength;
    volatile LONG flags;      /* changed only with interlocked operations */
    LONG scrolledChars;
    RECT rect;
};
static_assert(offsetof(TickerItem, rect) == 3 * sizeof(void *) + 3 * sizeof(LONG) &&
              sizeof(TickerItem) == (sizeof(void *) == 4 ? 40 : 56), "TickerItem layout");

/* A font pair the window thread replaced, waiting for the rendering thread. */
struct RetiredFonts {
    RetiredFonts *next;
    HFONT textFont;
    HFONT linkFont;
};

/* Why the row may stand still beyond a hover: the stored "Pause ticker"
   and the Space key. */
enum {
    PAUSE_STORED = 0x1,
    PAUSE_BY_KEY = 0x2
};

#define TICKER_MAX_ITEMS    256
#define TICKER_TIP_SIZE     4096

/* Up to items: the handles are set at creation; the item list, its count,
   head and hover are the rendering thread's; the fonts and feedUrl are the
   window thread's, handed over through core/handoff.h. */
struct TickerState {
    BandState *band;
    HANDLE renderThread;
    DWORD renderThreadId;   /* as CreateThread gave it: GetThreadId is not on every system */
    HANDLE loadEvent;
    HANDLE exitEvent;
    HANDLE finishEvent;
    HANDLE loadingEvent;
    HANDLE targetEvent;
    HCURSOR cursor;
    HMENU itemMenu;
    HFONT textFont;
    HFONT linkFont;
    LONG itemCount;
    LONG headIndex;
    LONG hoverFlags;
    TickerItem *hoveredItem;
    char *tipText;
    char feedUrl[URL_SIZE];
    TickerItem items[TICKER_MAX_ITEMS];

    /* Beyond the fields above, grouped by the thread that writes them; the
       hand-offs between the threads are listed in core/handoff.h. */

    /* Written by the rendering thread. */
    /* The list a reload replaced. Its titles and nodes are released only at
       the reload after, so the window thread can finish reading the node of
       an item it took as hovered just before the replacement. */
    TickerItem retiredItems[TICKER_MAX_ITEMS];
    LONG retiredCount;
    /* The feed's own title for screen readers; the one it replaced is
       freed at the reload after, like the retired items. */
    BSTR volatile feedTitle;
    BSTR retiredFeedTitle;
    /* 1 while the last load failed; the window then says so. */
    volatile LONG loadFailed;
    DWORD loadFailedAt;   /* tick count of that failure */
    /* The node of hoveredItem with a reference of its own: the window thread
       acts on it rather than on the slot, which a reload may fill with
       another headline. */
    IXMLDOMNode *volatile hoveredNode;
    /* Bumped twice around every change of hoveredNode (odd meanwhile), so
       that the window thread converts a description once per hover rather
       than once per tooltip request. */
    volatile LONG hoverSerial;
    /* Copies of the row to the ticker window: a paused or empty row is
       copied no more. */
    volatile LONG framesShown;
    volatile LONG framesRun;      /* active frames, drawn or not */

    /* Written by the window thread. */
    /* Odd while feedUrl is written (RequestFeedLoad). */
    volatile LONG feedUrlSequence;
    /* 1 while the cursor is over the ticker window: the rendering thread
       asks for the cursor position only then, which is costly on some
       systems. */
    volatile LONG cursorOver;
    /* 1 while the item menu is open; the tooltip stands aside meanwhile. */
    volatile LONG itemMenuOpen;
    /* Bumped at every mouse move or leave (a still cursor cannot change the
       hover), and set when the window had to paint while the row was the
       rendering thread's to show. */
    volatile LONG cursorMoves;
    volatile LONG rowExposed;
    /* Bumped at every hide: the row changes under a cursor that need not move. */
    volatile LONG hides;
    LONG tipSerial;       /* the hover tipText was made for, or -1 */
    volatile LONG refreshRequested;   /* fetch now ("Refresh now") */
    /* The keyboard: 1 while the ticker window has the focus; the headline
       stepped to with the arrow keys, or -1 (RequestHeadlineFocus); why
       the row stands still (PAUSE_* bits, RequestPause). */
    volatile LONG hasFocus;
    volatile LONG focusIndex;
    volatile LONG pauseFlags;

    /* Pushed by the window thread, emptied by the rendering thread between
       frames (HandOverFonts, DeleteRetiredFonts); teardown takes the rest. */
    RetiredFonts *volatile retiredFonts;

    /* The thread that fetches and parses feeds (ticker/loader.cpp), made and
       ended with the ticker, woken by fetchEvent (auto-reset, unnamed). */
    FeedLoader *loader;
    HANDLE fetchEvent;
    /* Written by the loader after every fetch, read by the window thread to
       tell the user: a FetchCause, the HTTP status, and how many fetches in
       a row failed. */
    volatile LONG fetchCause;
    volatile LONG fetchStatus;
    volatile LONG fetchFailures;
    /* Rendering thread: a chosen feed is on its way; the window shows the
       loading text meanwhile, and no row is drawn over it. */
    LONG choiceLoading;
};

#endif
