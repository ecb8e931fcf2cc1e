/* A list of headlines built from one fetch, on its way from the loader to
   the item list. Private to the ticker. */
#ifndef VELMORA_TICKER_LOADED_H
#define VELMORA_TICKER_LOADED_H

#include "ticker/ticker.h"
#include "feeds/fetch.h"

struct LoadedList {
    LONG serial;          /* the choice it was fetched for */
    BOOL refresh;         /* fetched again for the row already shown */
    int cause;            /* FETCH_OK, or why there are no items */
    LONG ttlMinutes;
    BSTR title;           /* the feed's, for screen readers; may be null */
    LONG count;
    TickerItem items[TICKER_MAX_ITEMS];
};

/* Parses a fetch into a list, with FETCH_NOT_A_FEED when the document
   holds no feed; null only without memory. */
LoadedList *BuildLoadedList(const FetchResult *fetched, const char *url);
void FreeLoadedList(LoadedList *list);
/* Rendering thread: empties the list and shows the loading text. */
void ClearForChoice(TickerState *ticker, HWND window);
/* Rendering thread: list's items become the ticker's; a failed list
   leaves the list empty and marks the load failed. */
void InstallLoadedList(TickerState *ticker, LoadedList *list, BOOL refresh);

#endif
