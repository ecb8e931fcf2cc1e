/* The ticker: the lifecycle of the shared records, the item list and feed
   loading, the rendering thread and the ticker window. */
#ifndef VELMORA_TICKER_H
#define VELMORA_TICKER_H

#include "core/state.h"

extern const TickerItemOps tickerItemOps;

void CreateTicker(HINSTANCE instance, BandState *band);
void DestroyTicker(BandState *band);
HRESULT LoadFeed(TickerState *ticker, HWND window);
HRESULT AddTickerItem(IXMLDOMNode *node, void *ticker);
void ReleaseTickerItems(TickerItem *items, LONG count);

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
/* Reads the cursor; TRUE when it lies inside window's screen rectangle, all
   four edges counting as inside. */
BOOL CursorInsideWindow(HWND window, POINT *cursor);

#define TICKER_WINDOW_CLASS "velmora scroll window class"

/* Posted by the rendering thread to the ticker window of a sited band
   whose browser window the user brought to the front: its band is asked
   to become the active one. */
#define WM_TICKER_FOLLOW (WM_USER + 120)

#endif
