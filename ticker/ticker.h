/* The ticker: the lifecycle of the shared records, the item list and feed
   loading, the rendering thread and the ticker window. */
#ifndef VELMORA_TICKER_H
#define VELMORA_TICKER_H

#include "core/state.h"

extern const TickerItemOps tickerItemOps;

void CreateTicker(HINSTANCE instance, BandState *band);
void DestroyTicker(BandState *band);
/* Loads the current feed on the calling thread and puts the list in place. */
HRESULT LoadFeed(TickerState *ticker, HWND window);
HRESULT AddTickerItem(IXMLDOMNode *node, void *ticker);
/* Appends an entry for node to items, which holds *count of at most 256. */
HRESULT AddItemToList(IXMLDOMNode *node, TickerItem *items, LONG *count);
void ReleaseTickerItems(TickerItem *items, LONG count);
/* The first headline after from, going direction (1 or -1) round the list,
   that is not hidden: from itself when it is the only one; -1 when all are. */
LONG NextShownHeadline(const TickerState *ticker, LONG from, LONG direction);

/* The loading of feeds, apart from the rendering thread (ticker/loader.cpp).
   Window thread: started with the ticker, stopped in two steps at its end
   (StopFeedLoader asks and cuts a running download short; EndFeedLoader
   waits for the thread until start + bound, and frees it). */
BOOL StartFeedLoader(TickerState *ticker);
void StopFeedLoader(TickerState *ticker);
void EndFeedLoader(TickerState *ticker, DWORD start, DWORD boundMs);
/* Rendering thread: empties the list, shows the loading text and has the
   current feedUrl fetched (a choice). */
void BeginFeedChoice(TickerState *ticker, HWND window);
/* Rendering thread: waits, answering messages, until the first load has
   ended; FALSE when the ticker is being torn down meanwhile. */
BOOL WaitForFirstList(TickerState *ticker);
/* Rendering thread, between frames: puts a finished list in place; TRUE
   when the list changed. A refreshed list keeps the row where it stands. */
BOOL TakeFinishedList(TickerState *ticker);
/* Milliseconds in a minute of the refresh schedule. Not a setting: tests
   shorten it. */
extern DWORD refreshMinuteMs;

DWORD WINAPI RenderThread(void *band);
LRESULT CALLBACK TickerWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
void OpenHoveredItem(TickerState *ticker);
/* The menu of the hovered headline at a screen position packed as
   GetMessagePos packs it. */
void ShowItemMenu(TickerState *ticker, HWND window, DWORD position);
/* Opens the link of a headline's node; flags as OpenLink takes them. */
void OpenItemLink(IXMLDOMNode *node, DWORD flags);
/* The live ticker of a ticker window, or null once its state has gone. */
TickerState *TickerFromWindow(HWND window);
/* The hovered headline's node with a reference for the caller, or null. */
IXMLDOMNode *HoldHoveredNode(TickerState *ticker);
/* Reads the cursor; TRUE when it lies inside window's screen rectangle, all
   four edges counting as inside. */
BOOL CursorInsideWindow(HWND window, POINT *cursor);

#define TICKER_WINDOW_CLASS "velmora scroll window class"

#endif
