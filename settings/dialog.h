/* The hidden source management dialog, which is also the command window of
   the band's toolbar, the URL input dialog and the two choosers. Everything
   here runs on the browser's window thread. */
#ifndef VELMORA_SETTINGS_DIALOG_H
#define VELMORA_SETTINGS_DIALOG_H

#include <windows.h>
#include "core/limits.h"

struct BandState;


/* The longest server list OK saves: Wine's profile writer crashes on values
   of 32 767 characters or more, so a longer list is refused, never cut. */
#define SERVER_LIST_SAVE_LIMIT  32765

/* The URL input dialog's creation parameter: the URL buffer first, then what
   it needs to refuse an entry that would not fit into the saved list. */
struct UrlInput {
    WCHAR url[URL_SIZE];
    HWND list;          /* the source dialog's list of rows */
    int replacedRow;    /* the row an Edit replaces, or -1 */
};

/* Loads the settings into band and creates the hidden dialog, owned by the
   band's top-level window; 0 or a Win32 error code (the dialog is then not
   written). */
DWORD InitSettingsAndDialog(BandState *band, HWND owner, HWND *dialog);
INT_PTR CALLBACK SourceDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK UrlInputDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
HRESULT PickColor(HWND owner, COLORREF initial, COLORREF *chosen);
HRESULT PickFont(HWND owner, char *face, FontStyle *style);

#endif
