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
void ShowItemMenu(TickerState *ticker, HWND window);
/* Reads the cursor; TRUE when it lies inside window's screen rectangle, all
   four edges counting as inside. */
BOOL CursorInsideWindow(HWND window, POINT *cursor);

#define TICKER_WINDOW_CLASS "velmora scroll window class"

#endif
