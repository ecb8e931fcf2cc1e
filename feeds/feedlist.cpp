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
#include "feeds/feeds.h"
#include "band/module.h"
#include "settings/settings.h"
#include "ticker/ticker.h"
#include "toolbar/toolbar.h"
#include "resources/resource.h"
#include <commctrl.h>
#include <stddef.h>

/* The system feed store, as far as the band uses it. Strings come back
   allocated with CoTaskMemAlloc; the slots not named here are never called. */
static const CLSID CLSID_FeedStore =
    { 0xFE6B11C3, 0xC72E, 0x4061, { 0x86, 0xC6, 0x9D, 0x16, 0x31, 0x21, 0xF2, 0x29 } };
static const IID IID_FeedStoreManager =
    { 0x5357E238, 0xFB12, 0x4ACA, { 0xA9, 0x30, 0xCA, 0xB7, 0x83, 0x2B, 0x84, 0xBF } };
static const IID IID_FeedStoreFolder =
    { 0x4C963678, 0x3A51, 0x4B88, { 0x85, 0x31, 0x98, 0xB9, 0x0B, 0x65, 0x08, 0xF2 } };
static const IID IID_FeedStoreFeed =
    { 0xA44179A4, 0xE0F6, 0x403B, { 0xAF, 0x8D, 0xD0, 0x80, 0xF4, 0x25, 0xA4, 0x51 } };

struct StoreManager;
struct StoreFolder;
struct StoreFeeds;
struct StoreFeed;

struct StoreManagerTable {
    void *unknown[3];
    HRESULT (STDMETHODCALLTYPE *RootFolder)(StoreManager *self, REFIID riid, void **folder);
};
struct StoreFolderTable {
    void *unknown[3];
    HRESULT (STDMETHODCALLTYPE *Feeds)(StoreFolder *self, StoreFeeds **feeds);
};
struct StoreFeedsTable {
    void *unknown[3];
    HRESULT (STDMETHODCALLTYPE *Count)(StoreFeeds *self, UINT *count);
    HRESULT (STDMETHODCALLTYPE *Item)(StoreFeeds *self, UINT position, REFIID riid, void **feed);
};
struct StoreFeedTable {
    void *unknown[3];
    void *slots3to5[3];
    HRESULT (STDMETHODCALLTYPE *Url)(StoreFeed *self, LPWSTR *url);
    void *slots7to33[27];
    HRESULT (STDMETHODCALLTYPE *Title)(StoreFeed *self, LPWSTR *title);
};
static_assert(offsetof(StoreFeedTable, Url) == 6 * sizeof(void *), "feed slot 6");
static_assert(offsetof(StoreFeedTable, Title) == 34 * sizeof(void *), "feed slot 34");

struct StoreManager { const StoreManagerTable *table; };
struct StoreFolder { const StoreFolderTable *table; };
struct StoreFeeds { const StoreFeedsTable *table; };
struct StoreFeed { const StoreFeedTable *table; };

static void ReleaseStoreObject(void *object)
{
    if (object)
        IUnknown_Release((IUnknown *)object);
}

/* The toolbar property that holds the number of its current fill. */
static const char FILL_PROPERTY[] = "velmora feed list fill";
static volatile LONG lastFill;

struct FeedListJob {
    HWND comboWindow;
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

static HRESULT OpenStoreFeeds(StoreManager **manager, StoreFolder **folder, StoreFeeds **feeds)
{
    *manager = NULL;
    *folder = NULL;
    *feeds = NULL;
    HRESULT hr = CoCreateInstance(CLSID_FeedStore, NULL, CLSCTX_INPROC_SERVER, IID_FeedStoreManager,
                                  (void **)manager);
    if (SUCCEEDED(hr) && !*manager)
        hr = E_POINTER;
    if (SUCCEEDED(hr))
        hr = (*manager)->table->RootFolder(*manager, IID_FeedStoreFolder, (void **)folder);
    if (SUCCEEDED(hr) && !*folder)
        hr = E_POINTER;
    if (SUCCEEDED(hr))
        hr = (*folder)->table->Feeds(*folder, feeds);
    if (SUCCEEDED(hr) && !*feeds)
        hr = E_POINTER;
    return FAILED(hr) ? hr : S_OK;
}

static void CloseStoreFeeds(StoreManager *manager, StoreFolder *folder, StoreFeeds *feeds)
{
    ReleaseStoreObject(feeds);
    ReleaseStoreObject(folder);
    ReleaseStoreObject(manager);
}

HRESULT GetSystemFeedUrl(UINT position, char *buffer)
{
    StoreManager *manager;
    StoreFolder *folder;
    StoreFeeds *feeds;
    HRESULT hr = OpenStoreFeeds(&manager, &folder, &feeds);
    StoreFeed *feed = NULL;
    if (SUCCEEDED(hr))
        hr = feeds->table->Item(feeds, position, IID_FeedStoreFeed, (void **)&feed);
    if (SUCCEEDED(hr) && !feed)
        hr = E_POINTER;
    LPWSTR url = NULL;
    if (SUCCEEDED(hr))
        hr = feed->table->Url(feed, &url);
    if (SUCCEEDED(hr)) {
        char converted[FEED_TEXT_SIZE];
        if (url && WideToAnsiCut(url, converted, sizeof(converted)) > 0) {
            lstrcpyA(buffer, converted);
            hr = S_OK;
        } else {
            hr = E_FAIL;
        }
    }
    CoTaskMemFree(url);
    ReleaseStoreObject(feed);
    CloseStoreFeeds(manager, folder, feeds);
    return hr;
}

/* On the fill thread */

static BOOL IsCurrentFill(const FeedListContext *context)
{
    return (LONG)(LONG_PTR)GetPropA(context->toolbar, FILL_PROPERTY) == context->fill;
}

/* A stop request, a newer fill or the toolbar's end stops the whole fill. */
static BOOL StopRequested(FeedListContext *context)
{
    if (!context->stopped &&
        (WaitForSingleObject(context->stopEvent, 0) == WAIT_OBJECT_0 || !IsCurrentFill(context)))
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
    char text[FEED_TEXT_SIZE];
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

static void AddSystemFeed(FeedListContext *context, StoreFeeds *feeds, UINT position, char *urlBuffer)
{
    StoreFeed *feed = NULL;
    if (FAILED(feeds->table->Item(feeds, position, IID_FeedStoreFeed, (void **)&feed)) || !feed)
        return;
    LPWSTR url = NULL;
    LPWSTR title = NULL;
    if (SUCCEEDED(feed->table->Url(feed, &url)) && url &&
        SUCCEEDED(feed->table->Title(feed, &title)) && title &&
        WideToAnsiCut(url, urlBuffer, FEED_TEXT_SIZE) > 0)
        AddFeedListEntry(context, title, urlBuffer, ~(LONG)position);
    CoTaskMemFree(title);
    CoTaskMemFree(url);
    ReleaseStoreObject(feed);
}

static void AddSystemFeeds(FeedListContext *context, char *urlBuffer)
{
    StoreManager *manager;
    StoreFolder *folder;
    StoreFeeds *feeds;
    if (SUCCEEDED(OpenStoreFeeds(&manager, &folder, &feeds))) {
        UINT count = 0;
        if (FAILED(feeds->table->Count(feeds, &count)))
            count = 0;
        for (UINT position = 0; position < count && !context->stopped; position++)
            AddSystemFeed(context, feeds, position, urlBuffer);
    }
    CloseStoreFeeds(manager, folder, feeds);
}

static void FillFeedList(const FeedListJob *job)
{
    BandState *band = job->band;
    char *list = (char *)GlobalAlloc(GMEM_FIXED, SERVER_LIST_SIZE);
    if (!list)
        return;
    CopyMemory(list, band->serverList, SERVER_LIST_SIZE);

    /* The path buffer is reused for each system feed's URL. */
    char path[FEED_TEXT_SIZE];
    char currentUrl[FEED_TEXT_SIZE];
    LoadStringA(moduleHandle, IDS_DEFAULT_FEED, currentUrl, FEED_TEXT_SIZE - 1);
    if (SUCCEEDED(GetSettingsPath(IDS_SETTINGS_FILE, path, SETTINGS_PATH_SIZE)))
        GetPrivateProfileStringA("Servers", "show", currentUrl, currentUrl, FEED_TEXT_SIZE - 1, path);

    FeedListContext context = { job->comboWindow, currentUrl, band->feedListStopEvent,
                                job->toolbar, job->fill, FALSE };
    if (RelayToCombo(&context, CB_RESETCONTENT, 0, 0, NULL) && !StopRequested(&context)) {
        ForEachServer(list, AddUserFeedEntry, &context);
        if (!context.stopped)
            AddSystemFeeds(&context, path);
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
    ResetEvent(band->feedListStopEvent);
    HWND combo = GetDlgItem(toolbar, FEED_COMBO_ID);
    if (!combo)
        return 0;
    SetWindowLongPtrA(combo, GWLP_USERDATA, (LONG_PTR)band);

    FeedListJob *job = (FeedListJob *)GlobalAlloc(GPTR, sizeof(FeedListJob));
    if (!job)
        return 0;
    if (!GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS, (LPCSTR)FeedListThread, &job->module)) {
        GlobalFree(job);
        return 0;
    }
    job->comboWindow = combo;
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
        lstrcpynA(url, entry, FEED_TEXT_SIZE);
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
    char url[FEED_TEXT_SIZE];
    if (reference >= 0 ? !GetUserFeedUrl(band, reference, url)
                       : GetSystemFeedUrl((UINT)~reference, url) != S_OK)
        return;
    lstrcpynA(ticker->feedUrl, url, TICKER_URL_SIZE);
    SetEvent(ticker->loadEvent);
}

static void BandOnDestroy(HWND toolbar)
{
    if (processBandState)
        SetEvent(processBandState->feedListStopEvent);
    RemovePropA(toolbar, FILL_PROPERTY);
    HWND combo = GetDlgItem(toolbar, FEED_COMBO_ID);
    DestroyBandImages(toolbar, combo);
    HWND ticker = GetDlgItem(toolbar, TICKER_ID);
    if (ticker)
        DestroyWindow(ticker);
    if (combo)
        DestroyWindow(combo);
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
