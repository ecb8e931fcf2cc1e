/* The fill of a feed combo box. Each fill runs on a FeedListThread of its
   own, downloads the user's feeds for their titles, reads the system feed
   store and never touches the combo box itself: it sends each change to the
   toolbar (WM_FEEDLIST_RELAY), which carries it out on the window thread
   only while that fill is the toolbar's current one. A newer fill or the
   toolbar's end therefore stops an older fill before its next change,
   without the window thread ever waiting for it.
   Each toolbar keeps the server list its current fill walks, and its
   entries' references count into that list, not into the live one: another
   band's OK or siting rewrites the live list, and the entries must go on
   loading what they show. */
#include "feeds/feedlist.h"
#include "feeds/feeds.h"
#include "feeds/feedstore.h"
#include "settings/settings.h"
#include "core/module.h"
#include "core/state.h"
#include <commctrl.h>

/* The toolbar properties that hold the number of its current fill and the
   server list that fill walks. */
static const char FILL_PROPERTY[] = "velmora feed list fill";
static const char SERVERS_PROPERTY[] = "velmora feed list servers";
static volatile LONG lastFill;

struct FeedListJob {
    HWND toolbar;
    LONG fill;
    BandState *band;
    char *servers;      /* the thread's own copy of the toolbar's list */
    HMODULE module;     /* held until the thread has left this module's code */
};

/* On the fill thread */

static BOOL IsCurrentFill(const FeedListContext *context)
{
    return (LONG)(LONG_PTR)GetPropA(context->toolbar, FILL_PROPERTY) == context->fill;
}

/* A newer fill or the toolbar's end stops the whole fill. A fill answers to
   its own number only, so one band's teardown never stops another band's. */
static BOOL StopRequested(FeedListContext *context)
{
    if (!context->stopped && !IsCurrentFill(context))
        context->stopped = TRUE;
    return context->stopped;
}

static BOOL RelayToCombo(FeedListContext *context, UINT message, WPARAM wParam, LPARAM lParam,
                         LRESULT *result)
{
    if (context->stopped)
        return FALSE;
    ComboRequest request = { message, wParam, lParam, CB_ERR };
    if (!SendMessageA(context->toolbar, WM_FEEDLIST_RELAY, (WPARAM)context->fill, (LPARAM)&request)) {
        context->stopped = TRUE;
        return FALSE;
    }
    if (result)
        *result = request.result;
    return TRUE;
}

void AddFeedListEntry(FeedListContext *context, const WCHAR *title, const char *url, LONG itemData)
{
    char text[URL_SIZE];
    WideToAnsiCut(title, text, sizeof(text));
    COMBOBOXEXITEMA item;
    ZeroMemory(&item, sizeof(item));
    item.mask = CBEIF_TEXT | CBEIF_IMAGE | CBEIF_SELECTEDIMAGE | CBEIF_LPARAM;
    item.iItem = -1;
    item.pszText = text;
    item.cchTextMax = lstrlenA(text);
    item.lParam = itemData;
    LRESULT index;
    if (!RelayToCombo(context, CBEM_INSERTITEMA, 0, (LPARAM)&item, &index))
        return;
    if (index >= 0 && lstrcmpA(context->currentUrl, url) == 0)
        RelayToCombo(context, CB_SETCURSEL, (WPARAM)index, 0, NULL);
}

int AddUserFeedEntry(char *url, int index, void *parameter)
{
    FeedListContext *context = (FeedListContext *)parameter;
    if (StopRequested(context))
        return 0;
    IXMLDOMNode *root = NULL;
    int kind = FEED_KIND_NONE;
    if (LoadFeedDocument(url, &root, &kind) != S_OK || !root)
        return 0;
    BSTR title = NULL;
    if (GetFeedTitle(root, kind, &title) == S_OK) {
        AddFeedListEntry(context, title, url, UserFeedReference(index));
        SysFreeString(title);
    }
    IXMLDOMNode_Release(root);
    return 0;
}

static void AddSystemFeeds(FeedListContext *context, char *urlBuffer)
{
    FeedStore store;
    if (FAILED(OpenFeedStore(&store)))
        return;
    UINT count = CountStoreFeeds(&store);
    for (UINT position = 0; position < count && !context->stopped; position++) {
        LPWSTR title = NULL;
        if (ReadStoreFeed(&store, position, urlBuffer, &title) == S_OK) {
            /* The store's titles are text already; only their white space is tidied. */
            BSTR label = CleanFeedText(title ? title : L"", FEED_TEXT_PLAIN);
            if (label)
                AddFeedListEntry(context, label, urlBuffer, StoreFeedReference(position));
            SysFreeString(label);
        }
        CoTaskMemFree(title);
    }
    CloseFeedStore(&store);
}

static void FillFeedList(const FeedListJob *job)
{
    BandState *band = job->band;
    char storeUrl[URL_SIZE];
    char currentUrl[URL_SIZE];
    LoadShownFeedUrl(currentUrl, URL_SIZE);

    FeedListContext context = { currentUrl, job->toolbar, job->fill, FALSE };
    if (!StopRequested(&context)) {
        ForEachServer(job->servers, AddUserFeedEntry, &context);
        if (!context.stopped)
            AddSystemFeeds(&context, storeUrl);
        RelayToCombo(&context, CB_SETCURSEL, (WPARAM)band->selectedFeed, 0, NULL);
    }
}

DWORD WINAPI FeedListThread(void *parameter)
{
    FeedListJob *job = (FeedListJob *)parameter;
    BandState *band = job->band;
    HMODULE module = job->module;
    HRESULT hr = CoInitialize(NULL);
    FillFeedList(job);
    if (SUCCEEDED(hr))
        CoUninitialize();
    SetEvent(band->feedListDoneEvent);
    GlobalFree(job->servers);
    GlobalFree(job);
    ReleaseBandState(band);
    FreeLibraryAndExitThread(module, 0);
    return 0;
}

/* On the window thread */

static char *CopyServerList(const char *list)
{
    char *copy = (char *)GlobalAlloc(GMEM_FIXED, SERVER_LIST_SIZE);
    if (copy)
        CopyMemory(copy, list, SERVER_LIST_SIZE);
    return copy;
}

static void FreeToolbarServers(HWND toolbar)
{
    char *servers = (char *)RemovePropA(toolbar, SERVERS_PROPERTY);
    if (servers)
        GlobalFree(servers);
}

/* The list copies first: without them nothing changes. Then the old
   entries go with the old list, so that no entry is ever read against a
   list it was not made from. */
static FeedListJob *NewFillJob(HWND toolbar, BandState *band)
{
    FeedListJob *job = (FeedListJob *)GlobalAlloc(GPTR, sizeof(FeedListJob));
    char *servers = CopyServerList(band->serverList);
    if (job)
        job->servers = CopyServerList(band->serverList);
    if (!job || !servers || !job->servers ||
        !GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS, (LPCSTR)FeedListThread, &job->module)) {
        if (servers)
            GlobalFree(servers);
        if (job && job->servers)
            GlobalFree(job->servers);
        if (job)
            GlobalFree(job);
        return NULL;
    }
    job->toolbar = toolbar;
    job->band = band;
    job->fill = InterlockedIncrement(&lastFill);
    /* From here on a fill that is still running may no longer change the
       combo box, so the new one's entries cannot be mixed with its own. */
    SetPropA(toolbar, FILL_PROPERTY, (HANDLE)(LONG_PTR)job->fill);
    FreeToolbarServers(toolbar);
    SetPropA(toolbar, SERVERS_PROPERTY, (HANDLE)servers);
    SendMessageA(GetDlgItem(toolbar, FEED_COMBO_ID), CB_RESETCONTENT, 0, 0);
    return job;
}

void StartFeedListFill(HWND toolbar)
{
    BandState *band = processBandState;
    if (!band)
        return;
    if (!GetDlgItem(toolbar, FEED_COMBO_ID))
        return;
    FeedListJob *job = NewFillJob(toolbar, band);
    if (!job)
        return;

    HoldBandState(band);
    DWORD threadId;
    HANDLE thread = CreateThread(NULL, 0, FeedListThread, job, 0, &threadId);
    if (!thread) {
        ReleaseBandState(band);
        FreeLibrary(job->module);
        GlobalFree(job->servers);
        GlobalFree(job);
        return;
    }
    CloseHandle(thread);
}

BOOL CarryOutComboRequest(HWND toolbar, LONG fill, ComboRequest *request)
{
    if ((LONG)(LONG_PTR)GetPropA(toolbar, FILL_PROPERTY) != fill)
        return FALSE;
    HWND combo = GetDlgItem(toolbar, FEED_COMBO_ID);
    if (!combo)
        return FALSE;
    request->result = SendMessageA(combo, request->message, request->wParam, request->lParam);
    return TRUE;
}

/* The entry is looked up in a copy of the list its combo box was filled
   from: walking a server list cuts it apart. */
BOOL GetUserFeedUrl(HWND toolbar, LONG n, char *url)
{
    const char *servers = (const char *)GetPropA(toolbar, SERVERS_PROPERTY);
    char *list = servers ? CopyServerList(servers) : NULL;
    if (!list)
        return FALSE;
    char *entry = NULL;
    GetServerAt(list, n, &entry);
    if (entry)
        lstrcpynA(url, entry, URL_SIZE);
    GlobalFree(list);
    return entry != NULL;
}

void EndFeedListFills(HWND toolbar)
{
    RemovePropA(toolbar, FILL_PROPERTY);
    FreeToolbarServers(toolbar);
}
