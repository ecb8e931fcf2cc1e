/* The hidden source management dialog (dialog.cpp), which is also the
   command window of the band's toolbar (commands.cpp, with the two
   choosers), and the URL input dialog (urlinput.cpp). Everything here runs
   on the browser's window thread. */
#ifndef VELMORA_SETTINGS_DIALOG_H
#define VELMORA_SETTINGS_DIALOG_H

#include <windows.h>
#include "core/limits.h"
#include <commctrl.h>

struct BandState;

/* A row of the source dialog: 1022 characters and the terminator. */
#define ROW_TEXT_SIZE           1023

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

/* The commands of menu 600 and the toolbar's buttons. */
void ChooseTickerFont(HWND dialog, BandState *band);
void ChooseTickerColor(HWND dialog, BandState *band, COLORREF *field, const char *key);
void StepSpeed(BandState *band, LONG step);
void RefreshNow(BandState *band);
void TogglePause(BandState *band);
void OpenProductPage(BOOL help);
void ShowBandMenu(HWND dialog, BandState *band, const NMTOOLBARA *drop);

/* Shared by the dialog's files: the settings file's path ("" without one),
   whether the band's state and the dialog outlived a modal loop, and a
   row's ANSI text with its length. */
void SettingsFilePath(char *path);
BOOL OutlivedModalLoop(HWND dialog, const BandState *band);
int ServerRowText(HWND list, int row, char *text, int size);

#endif
