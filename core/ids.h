/* The band's child window ids and private messages. Windows of the band
   find each other by these ids, not by stored handles, so every layer that
   looks a window up or posts to the toolbar takes them from here. */
#ifndef VELMORA_CORE_IDS_H
#define VELMORA_CORE_IDS_H

#include <windows.h>

#define TOOLBAR_ID              4096
#define TICKER_ID               4097
#define FEED_COMBO_ID           4098

/* Handled by the toolbar's BandWindowProc. */
#define WM_FEEDLIST_FILL        (WM_USER + 102)
#define WM_FEEDLIST_RESELECT    (WM_USER + 103)
/* A fill thread's change to the combo box, carried out on the window
   thread only while that fill is the toolbar's current one. */
#define WM_FEEDLIST_RELAY       (WM_USER + 104)
/* Sent to the toolbar by a window of the band that gains or loses the
   keyboard focus; wParam TRUE while the focus stays inside the band
   (2: look where it went). */
#define WM_BAND_FOCUS           (WM_USER + 105)

/* Handled by the ticker window: posted by the rendering thread to a sited
   band whose browser window the user brought to the front, which is asked
   to become the active one (ActivateSitedBand). */
#define WM_TICKER_FOLLOW        (WM_USER + 120)

#endif
