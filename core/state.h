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
    HANDLE feedListStopEvent;
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

#define TICKER_MAX_ITEMS    256
#define TICKER_TIP_SIZE     4096

struct TickerState {
    BandState *band;
    HANDLE renderThread;
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
    /* The list a reload replaced. Its titles and nodes are released only at
       the reload after, so the window thread can finish reading the node of
       an item it took as hovered just before the replacement. */
    TickerItem retiredItems[TICKER_MAX_ITEMS];
    LONG retiredCount;
    /* 1 while the last load failed; the window then says so. */
    volatile LONG loadFailed;
    DWORD loadFailedAt;   /* tick count of that failure */
    /* 1 while the cursor is over the ticker window, kept by its window
       procedure; the rendering thread asks for the cursor position only
       then, which is costly on some systems. */
    volatile LONG cursorOver;
    /* Odd while the window thread writes feedUrl (StoreFeedUrl). */
    volatile LONG feedUrlSequence;
    /* The node of hoveredItem with a reference of its own, published by the
       rendering thread: the window thread acts on it rather than on the slot,
       which a reload may fill with another headline. */
    IXMLDOMNode *volatile hoveredNode;
    /* 1 while the item menu is open; the tooltip stands aside meanwhile. */
    volatile LONG itemMenuOpen;
    /* Font pairs replaced while the rendering thread may be drawing with
       them; it deletes them between frames (and teardown, the rest). */
    RetiredFonts *volatile retiredFonts;
    /* Copies of the row to the ticker window, counted by the rendering
       thread: a paused or empty row is copied no more. */
    volatile LONG framesShown;
    volatile LONG framesRun;      /* active frames, drawn or not */
    /* Kept by the window procedure: bumped at every mouse move or leave
       (a still cursor cannot change the hover), and set when the window
       had to paint while the row was the rendering thread's to show. */
    volatile LONG cursorMoves;
    volatile LONG rowExposed;
    /* Bumped by the window thread at every hide: the row changes under a
       cursor that need not move. */
    volatile LONG hides;
    /* Bumped twice by the rendering thread around every change of
       hoveredNode (odd meanwhile), so that the window thread converts a
       description once per hover rather than once per tooltip request. */
    volatile LONG hoverSerial;
    LONG tipSerial;       /* window thread: the hover tipText was made for, or -1 */
    /* The thread that fetches and parses feeds (ticker/loader.cpp), woken
       by fetchEvent (auto-reset, unnamed). */
    FeedLoader *loader;
    HANDLE fetchEvent;
    volatile LONG refreshRequested;   /* window thread: fetch now */
    /* Written by the loader after every fetch, read by the window thread
       to tell the user: a FetchCause, the HTTP status, and how many fetches
       in a row failed. */
    volatile LONG fetchCause;
    volatile LONG fetchStatus;
    volatile LONG fetchFailures;
    /* Rendering thread: a chosen feed is on its way; the window shows the
       loading text meanwhile, and no row is drawn over it. */
    LONG choiceLoading;
};

#endif
