/* The ticker window for screen readers: an IAccessible of its own
   (access.cpp) that WM_GETOBJECT hands out. */
#ifndef VELMORA_TICKER_ACCESS_H
#define VELMORA_TICKER_ACCESS_H

#include <windows.h>

LRESULT TickerOnGetObject(HWND window, WPARAM flags, LPARAM objectId);

#endif
