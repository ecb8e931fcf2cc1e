/* Fetching a feed document's bytes through the platform's HTTP stack
   (WinINet), so that the browser's proxy settings and credentials apply:
   conditional, bounded in time and size, redirects followed by hand.
   Runs on whichever thread calls it and blocks that thread; callers are
   the feed loader and the combo box's fill thread, never a window thread. */
#ifndef VELMORA_FEEDS_FETCH_H
#define VELMORA_FEEDS_FETCH_H

#include <windows.h>
#include <ole2.h>

/* Why a fetch ended; shown to the user, so each names one cause. */
enum FetchCause {
    FETCH_OK = 0,
    FETCH_NOT_MODIFIED,     /* 304: the list as it stands is current */
    FETCH_BAD_ADDRESS,      /* not an http, https or local address */
    FETCH_NAME_NOT_FOUND,
    FETCH_NO_CONNECTION,
    FETCH_TIMED_OUT,
    FETCH_HTTP_STATUS,      /* with the status in FetchResult.status */
    FETCH_TOO_LARGE,
    FETCH_NOT_A_FEED,       /* fetched, but the DOM found no feed in it */
    FETCH_CAUSE_COUNT
};

/* The validators of the last good response, sent back on a refresh. */
struct FetchValidators {
    char etag[256];
    char lastModified[64];
};

struct FetchResult {
    int cause;
    DWORD status;           /* HTTP status of the last answer, 0 without one */
    DWORD retryAfterSeconds; /* from a 429 or 503, 0 when none was given */
    FetchValidators validators;  /* of this answer, when it was 200 */
    VARIANT document;       /* VT_ARRAY | VT_UI1 with the bytes, when FETCH_OK */
};

/* Bounds of every fetch. Not settings: tests shorten them. */
struct FetchLimits {
    DWORD connectMs;
    DWORD totalMs;
    DWORD maxBytes;
    DWORD maxRedirects;
};
extern FetchLimits fetchLimits;

/* A manual-reset event that ends a fetch waiting under it (AbortFetch);
   the caller resets it before the next one. */
struct FetchAbort {
    HANDLE event;
};

/* Fetches url; with validators, asks only for a changed document. Returns
   S_OK with result->cause FETCH_OK or FETCH_NOT_MODIFIED, S_FALSE with
   another cause. Free the result with FreeFetchResult. Without abort the
   fetch runs on the calling thread; with it, on a thread of its own that
   the caller stops waiting for the moment abort is set (a download the
   platform will not cut short then ends by its own bounds, holding the
   module until it has). */
HRESULT FetchFeed(const char *url, const FetchValidators *validators, FetchResult *result,
                  FetchAbort *abort);
void FreeFetchResult(FetchResult *result);
/* Any thread: ends the fetch waiting under abort. */
void AbortFetch(FetchAbort *abort);

#endif
