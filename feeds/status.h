/* The feed combo box's tooltip: what the last fetch of the current feed
   came to, so that a failure and its cause can be seen without a dialog.
   Window thread. */
#ifndef VELMORA_FEEDS_STATUS_H
#define VELMORA_FEEDS_STATUS_H

#include <windows.h>
#include <commctrl.h>

struct TickerState;

/* Adds a tooltip to the combo box; the toolbar answers its text requests. */
void CreateFeedStatusTip(HWND toolbar, HWND combo);
/* With the toolbar: the tooltip's owner is the frame, which outlives it. */
void DestroyFeedStatusTip(HWND toolbar);
/* The toolbar's answer to the tooltip's TTN_GETDISPINFOA. */
LRESULT FeedStatusOnGetDispInfo(const TickerState *ticker, NMTTDISPINFOA *info);

#endif
