/* The ticker window's keyboard handlers (keys.cpp) for its procedure. */
#ifndef VELMORA_TICKER_KEYS_H
#define VELMORA_TICKER_KEYS_H

#include <windows.h>

LRESULT TickerOnGetDlgCode(const MSG *msg);
LRESULT TickerOnKeyDown(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
LRESULT TickerOnKeyOther(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
LRESULT TickerOnContextMenu(HWND window, LPARAM lParam);
LRESULT TickerOnFocus(HWND window, UINT message, HWND other);

#endif
