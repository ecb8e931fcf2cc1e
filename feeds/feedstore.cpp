/* The system's common feed store: the feeds of its root folder, counted and
   read by position. Called on the fill thread (the combo box's entries) and
   on the window thread (a chosen entry's URL); nothing here keeps state. */
#include "feeds/feedstore.h"
#include "feeds/feedlist.h"
#include "feeds/feeds.h"
#include <ole2.h>
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

HRESULT OpenFeedStore(FeedStore *store)
{
    store->manager = NULL;
    store->folder = NULL;
    store->feeds = NULL;
    HRESULT hr = CoCreateInstance(CLSID_FeedStore, NULL, CLSCTX_INPROC_SERVER, IID_FeedStoreManager,
                                  (void **)&store->manager);
    if (SUCCEEDED(hr) && !store->manager)
        hr = E_POINTER;
    if (SUCCEEDED(hr))
        hr = store->manager->table->RootFolder(store->manager, IID_FeedStoreFolder, (void **)&store->folder);
    if (SUCCEEDED(hr) && !store->folder)
        hr = E_POINTER;
    if (SUCCEEDED(hr))
        hr = store->folder->table->Feeds(store->folder, &store->feeds);
    if (SUCCEEDED(hr) && !store->feeds)
        hr = E_POINTER;
    if (FAILED(hr))
        CloseFeedStore(store);
    return FAILED(hr) ? hr : S_OK;
}

void CloseFeedStore(FeedStore *store)
{
    ReleaseStoreObject(store->feeds);
    ReleaseStoreObject(store->folder);
    ReleaseStoreObject(store->manager);
    store->feeds = NULL;
    store->folder = NULL;
    store->manager = NULL;
}

UINT CountStoreFeeds(const FeedStore *store)
{
    UINT count = 0;
    if (FAILED(store->feeds->table->Count(store->feeds, &count)))
        count = 0;
    return count;
}

HRESULT ReadStoreFeed(const FeedStore *store, UINT position, char *url, LPWSTR *title)
{
    if (title)
        *title = NULL;
    StoreFeed *feed = NULL;
    HRESULT hr = store->feeds->table->Item(store->feeds, position, IID_FeedStoreFeed, (void **)&feed);
    if (SUCCEEDED(hr) && !feed)
        hr = E_POINTER;
    LPWSTR text = NULL;
    if (SUCCEEDED(hr))
        hr = feed->table->Url(feed, &text);
    if (SUCCEEDED(hr) && title) {
        hr = feed->table->Title(feed, title);
        if (SUCCEEDED(hr) && !*title)
            hr = E_POINTER;
    }
    if (SUCCEEDED(hr)) {
        char converted[URL_SIZE];
        if (text && WideToAnsiCut(text, converted, sizeof(converted)) > 0) {
            lstrcpyA(url, converted);
            hr = S_OK;
        } else {
            hr = E_FAIL;
        }
    }
    if (FAILED(hr) && title) {
        CoTaskMemFree(*title);
        *title = NULL;
    }
    CoTaskMemFree(text);
    ReleaseStoreObject(feed);
    return hr;
}

HRESULT GetSystemFeedUrl(UINT position, char *buffer)
{
    FeedStore store;
    HRESULT hr = OpenFeedStore(&store);
    if (FAILED(hr))
        return hr;
    hr = ReadStoreFeed(&store, position, buffer, NULL);
    CloseFeedStore(&store);
    return hr;
}
