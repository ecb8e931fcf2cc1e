/* The system's common feed store, as far as the feed combo box uses it: the
   feeds of its root folder, counted and read by position. */
#ifndef VELMORA_FEEDSTORE_H
#define VELMORA_FEEDSTORE_H

#include <windows.h>

struct StoreManager;
struct StoreFolder;
struct StoreFeeds;

/* The root folder's feeds, open for one walk. */
struct FeedStore {
    StoreManager *manager;
    StoreFolder *folder;
    StoreFeeds *feeds;
};

/* On failure nothing is held and the store needs no closing. */
HRESULT OpenFeedStore(FeedStore *store);
void CloseFeedStore(FeedStore *store);
UINT CountStoreFeeds(const FeedStore *store);
/* The feed at position: its URL in the ANSI code page, at most 1023 bytes
   and the terminator, into url (unwritten on failure), and with title its
   title, to be freed with CoTaskMemFree. S_OK only with both. */
HRESULT ReadStoreFeed(const FeedStore *store, UINT position, char *url, LPWSTR *title);
/* A chosen entry's URL; the position is resolved afresh each time. */
HRESULT GetSystemFeedUrl(UINT position, char *buffer);

#endif
