/* The band's toolbar with its buttons, and the ticker window and the feed
   combo box inside it, fitted to the site window's width. */
#ifndef VELMORA_TOOLBAR_H
#define VELMORA_TOOLBAR_H

#include <windows.h>

struct BandState;

/* Called inside the module's activation context. */
void CreateBandWindows(BandState *band, HWND parentWindow, HWND *toolbar);
void LayoutBandWindows(HWND siteWindow, HWND toolbar);
/* Where the ticker and the combo box stand in a toolbar width wide whose
   buttons end at tickerLeft, at dpi (96: the sizes of old). */
void PlaceBandChildren(int width, int tickerLeft, int dpi, RECT *ticker, RECT *combo);
/* The site window's subclass, one for each band sited on it; the module
   stays loaded while one is in the window's chain. */
void SubclassSiteWindow(HWND site, UINT_PTR id);
void UnsubclassSiteWindow(HWND site, UINT_PTR id);
LRESULT CALLBACK SiteWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR id,
                                DWORD_PTR data);

#endif
