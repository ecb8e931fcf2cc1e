/* The feed combo box. BandWindowProc replaces the band toolbar's procedure
   and runs on the browser's window thread, which owns the toolbar, the combo
   box and the ticker window. Each fill runs on a FeedListThread of its own,
   downloads the user's feeds for their titles, reads the system feed store
   and never touches the combo box itself: it sends each change to the
   toolbar (WM_FEEDLIST_RELAY), which carries it out only while that fill is
   the toolbar's current one. A newer fill or the toolbar's end therefore
   stops an older fill before its next change, without the window thread
   ever waiting for it. */
#include "feeds/feedlist.h"
#include "feeds/status.h"
#include "feeds/feeds.h"
#include "feeds/feedstore.h"
#include "core/module.h"
#include "settings/settings.h"
#include "core/state.h"
#include "core/handoff.h"
#include <commctrl.h>

/* The toolbar property that holds the number of its current fill. */
static const char FILL_PROPERTY[] = "velmora feed list fill";
static volatile LONG lastFill;

struct FeedListJob {
    HWND toolbar;
    LONG fill;
    BandState *band;
    HMODULE module;     /* held until the thread has left this module's code */
};

/* One change of the combo box, carried out by the window thread. */
struct ComboRequest {
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
    LRESULT result;
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

int AddFeedListEntry(FeedListContext *context, const WCHAR *title, const char *url, LONG itemData)
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
        return 0;
    if (index >= 0 && lstrcmpA(context->currentUrl, url) == 0)
        RelayToCombo(context, CB_SETCURSEL, (WPARAM)index, 0, NULL);
    return 0;
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
    IXMLDOMNode *channel = root;
    if (kind == FEED_KIND_RDF) {
        channel = NULL;
        HRESULT hr = FindChildElement(root, L"channel", &channel);
        IXMLDOMNode_Release(root);
        if (hr != S_OK || !channel)
            return 0;
    }
    BSTR title = NULL;
    if (GetChildText(channel, L"title", &title) == S_OK) {
        AddFeedListEntry(context, title ? title : L"", url, index);
        SysFreeString(title);
    }
    IXMLDOMNode_Release(channel);
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
        if (ReadStoreFeed(&store, position, urlBuffer, &title) == S_OK)
            AddFeedListEntry(context, title, urlBuffer, ~(LONG)position);
        CoTaskMemFree(title);
    }
    CloseFeedStore(&store);
}

static void FillFeedList(const FeedListJob *job)
{
    BandState *band = job->band;
    char *list = (char *)GlobalAlloc(GMEM_FIXED, SERVER_LIST_SIZE);
    if (!list)
        return;
    CopyMemory(list, band->serverList, SERVER_LIST_SIZE);

    char storeUrl[URL_SIZE];
    char currentUrl[URL_SIZE];
    LoadShownFeedUrl(currentUrl, URL_SIZE);

    FeedListContext context = { currentUrl, job->toolbar, job->fill, FALSE };
    if (RelayToCombo(&context, CB_RESETCONTENT, 0, 0, NULL) && !StopRequested(&context)) {
        ForEachServer(list, AddUserFeedEntry, &context);
        if (!context.stopped)
            AddSystemFeeds(&context, storeUrl);
        RelayToCombo(&context, CB_SETCURSEL, (WPARAM)band->selectedFeed, 0, NULL);
    }
    GlobalFree(list);
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
    GlobalFree(job);
    ReleaseBandState(band);
    FreeLibraryAndExitThread(module, 0);
    return 0;
}

/* On the window thread */

static LRESULT BandOnFill(HWND toolbar)
{
    BandState *band = processBandState;
    if (!band)
        return 0;
    if (!GetDlgItem(toolbar, FEED_COMBO_ID))
        return 0;

    FeedListJob *job = (FeedListJob *)GlobalAlloc(GPTR, sizeof(FeedListJob));
    if (!job)
        return 0;
    if (!GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS, (LPCSTR)FeedListThread, &job->module)) {
        GlobalFree(job);
        return 0;
    }
    job->toolbar = toolbar;
    job->band = band;
    job->fill = InterlockedIncrement(&lastFill);
    /* From here on a fill that is still running may no longer change the
       combo box, so the new one's reset cannot be mixed with its entries. */
    SetPropA(toolbar, FILL_PROPERTY, (HANDLE)(LONG_PTR)job->fill);

    HoldBandState(band);
    DWORD threadId;
    HANDLE thread = CreateThread(NULL, 0, FeedListThread, job, 0, &threadId);
    if (!thread) {
        ReleaseBandState(band);
        FreeLibrary(job->module);
        GlobalFree(job);
        return 0;
    }
    CloseHandle(thread);
    return 0;
}

static LRESULT BandOnReselect(HWND toolbar)
{
    HWND combo = GetDlgItem(toolbar, FEED_COMBO_ID);
    if (combo && processBandState)
        SendMessageA(combo, CB_SETCURSEL, (WPARAM)processBandState->selectedFeed, 0);
    return 0;
}

static LRESULT BandOnRelay(HWND toolbar, LONG fill, ComboRequest *request)
{
    if ((LONG)(LONG_PTR)GetPropA(toolbar, FILL_PROPERTY) != fill)
        return FALSE;
    HWND combo = GetDlgItem(toolbar, FEED_COMBO_ID);
    if (!combo)
        return FALSE;
    request->result = SendMessageA(combo, request->message, request->wParam, request->lParam);
    return TRUE;
}

/* The entry is looked up in a copy: walking a server list cuts it apart. */
static BOOL GetUserFeedUrl(const BandState *band, LONG n, char *url)
{
    char *list = (char *)GlobalAlloc(GMEM_FIXED, SERVER_LIST_SIZE);
    if (!list)
        return FALSE;
    CopyMemory(list, band->serverList, SERVER_LIST_SIZE);
    char *entry = NULL;
    GetServerAt(list, n, &entry);
    if (entry)
        lstrcpynA(url, entry, URL_SIZE);
    GlobalFree(list);
    return entry != NULL;
}

static void BandOnFeedChosen(HWND toolbar, HWND combo)
{
    HWND tickerWindow = GetDlgItem(toolbar, TICKER_ID);
    TickerState *ticker = tickerWindow ? (TickerState *)GetWindowLongPtrA(tickerWindow, GWLP_USERDATA) : NULL;
    BandState *band = processBandState;
    if (!ticker || !band)
        return;
    LRESULT index = SendMessageA(combo, CB_GETCURSEL, 0, 0);
    band->selectedFeed = (LONG)index;
    /* Without a selection the item data would read as CB_ERR, which is
       also the reference of the first system feed. */
    if (index == CB_ERR)
        return;
    LONG reference = (LONG)SendMessageA(combo, CB_GETITEMDATA, (WPARAM)index, 0);
    char url[URL_SIZE];
    if (reference >= 0 ? !GetUserFeedUrl(band, reference, url)
                       : GetSystemFeedUrl((UINT)~reference, url) != S_OK)
        return;
    RequestFeedLoad(ticker, url);
}

static void BandOnDestroy(HWND toolbar)
{
    RemovePropA(toolbar, FILL_PROPERTY);
    HWND combo = GetDlgItem(toolbar, FEED_COMBO_ID);
    HWND ticker = GetDlgItem(toolbar, TICKER_ID);
    if (ticker)
        DestroyWindow(ticker);
    if (combo)
        DestroyWindow(combo);
    DestroyFeedStatusTip(toolbar);
}

static LRESULT ForwardToToolbar(HWND toolbar, UINT message, WPARAM wParam, LPARAM lParam)
{
    WNDPROC previous = (WNDPROC)GetWindowLongPtrA(toolbar, GWLP_USERDATA);
    return previous ? CallWindowProcA(previous, toolbar, message, wParam, lParam) : 0;
}

LRESULT CALLBACK BandWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_FEEDLIST_FILL:
        return BandOnFill(window);
    case WM_FEEDLIST_RESELECT:
        return BandOnReselect(window);
    case WM_FEEDLIST_RELAY:
        return BandOnRelay(window, (LONG)wParam, (ComboRequest *)lParam);
    case WM_NOTIFY:
        if (((NMHDR *)lParam)->code == TTN_GETDISPINFOA && processBandState)
            return FeedStatusOnGetDispInfo(processBandState->ticker, (NMTTDISPINFOA *)lParam);
        break;
    case WM_COMMAND:
        if (LOWORD(wParam) == FEED_COMBO_ID && HIWORD(wParam) == CBN_SELCHANGE)
            BandOnFeedChosen(window, (HWND)lParam);
        break;
    case WM_DESTROY:
        BandOnDestroy(window);
        break;
    }
    return ForwardToToolbar(window, message, wParam, lParam);
}
