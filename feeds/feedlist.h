/* The feed combo box: the toolbar's window procedure that fills it on a
   worker thread and turns a choice into a reload of the ticker. */
#ifndef VELMORA_FEEDLIST_H
#define VELMORA_FEEDLIST_H

#include <windows.h>

#include "core/ids.h"
#include "core/limits.h"

struct BandState;

/* What one fill works with, on the fill thread. */
struct FeedListContext {
    char *currentUrl;
    HWND toolbar;
    LONG fill;          /* this fill's number; only the toolbar's current one may change the combo box */
    BOOL stopped;
};

LRESULT CALLBACK BandWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
DWORD WINAPI FeedListThread(void *job);
int AddUserFeedEntry(char *url, int index, void *context);
int AddFeedListEntry(FeedListContext *context, const WCHAR *title, const char *url, LONG itemData);

#endif
