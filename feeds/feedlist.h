/* The feed combo box: its fills on worker threads (fill.cpp) and the
   toolbar's window procedure that starts them and turns a choice into a
   reload of the ticker (combo.cpp). */
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

/* One change of the combo box, carried out by the window thread. */
struct ComboRequest {
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
    LRESULT result;
};

/* A combo entry's item data says where its URL comes from: a user feed's
   index in the list its toolbar was filled from (0 and up), or a store
   feed's position, complemented (below 0). */
static inline LONG UserFeedReference(int index) { return index; }
static inline LONG StoreFeedReference(UINT position) { return ~(LONG)position; }
static inline BOOL IsStoreFeedReference(LONG reference) { return reference < 0; }
static inline UINT StoreFeedPosition(LONG reference) { return (UINT)~reference; }

LRESULT CALLBACK BandWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

/* Window thread: a new fill of toolbar's combo box, which stops the one
   before; the fills' end with the toolbar. */
void StartFeedListFill(HWND toolbar);
void EndFeedListFills(HWND toolbar);
/* Window thread: a fill's change, when that fill is still the current one. */
BOOL CarryOutComboRequest(HWND toolbar, LONG fill, ComboRequest *request);
/* The URL of user feed n of the list the toolbar's combo was filled from. */
BOOL GetUserFeedUrl(HWND toolbar, LONG n, char *url);

DWORD WINAPI FeedListThread(void *job);
int AddUserFeedEntry(char *url, int index, void *context);
void AddFeedListEntry(FeedListContext *context, const WCHAR *title, const char *url, LONG itemData);

#endif
