/* Feed documents fetched as bytes through WinINet, the browser's own HTTP
   stack: its proxy settings and credentials apply. Every fetch reads the
   server's answer (never a cache copy), is conditional when it has the last
   good answer's validators, follows at most a few redirects by hand, and is
   bounded in connection time, total time and size. A local path (drive
   letter) is read from disk under the same size bound. */
#include "feeds/fetch.h"
#include "core/limits.h"
#include <wininet.h>
#include <shlwapi.h>

FetchLimits fetchLimits = { 15000, 60000, 8 * 1024 * 1024, 5 };

static const char USER_AGENT[] = "Mozilla/4.0 (compatible; MSIE 7.0; Velmora)";
#define READ_CHUNK          16384
#define MAX_RETRY_AFTER_S   (24 * 60 * 60)

/* The bytes read so far, in a block that grows by doubling. */
struct ByteBuffer {
    BYTE *data;
    DWORD size;
    DWORD capacity;
};

static BOOL ReserveBytes(ByteBuffer *buffer, DWORD more)
{
    if (buffer->capacity - buffer->size >= more)
        return TRUE;
    DWORD capacity = buffer->capacity ? buffer->capacity : READ_CHUNK;
    while (capacity - buffer->size < more)
        capacity *= 2;
    BYTE *data = buffer->data ? (BYTE *)GlobalReAlloc(buffer->data, capacity, GMEM_MOVEABLE)
                              : (BYTE *)GlobalAlloc(GMEM_FIXED, capacity);
    if (!data)
        return FALSE;
    buffer->data = data;
    buffer->capacity = capacity;
    return TRUE;
}

/* The DOM takes a byte array and finds the encoding in the bytes
   themselves (BOM, XML declaration), as it does for a URL it loads. */
static int HandOverBytes(ByteBuffer *buffer, FetchResult *result)
{
    SAFEARRAY *array = SafeArrayCreateVector(VT_UI1, 0, buffer->size);
    if (!array)
        return FETCH_TOO_LARGE;
    void *bytes;
    if (FAILED(SafeArrayAccessData(array, &bytes))) {
        SafeArrayDestroy(array);
        return FETCH_TOO_LARGE;
    }
    if (buffer->size)
        CopyMemory(bytes, buffer->data, buffer->size);
    SafeArrayUnaccessData(array);
    V_VT(&result->document) = VT_ARRAY | VT_UI1;
    V_ARRAY(&result->document) = array;
    return FETCH_OK;
}

static BOOL IsLocalPath(const char *url)
{
    return ((url[0] >= 'A' && url[0] <= 'Z') || (url[0] >= 'a' && url[0] <= 'z')) &&
           url[1] == ':' && url[2] == '\\';
}

static int ReadLocalFile(const char *path, ByteBuffer *buffer)
{
    HANDLE file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, NULL);
    if (file == INVALID_HANDLE_VALUE)
        return FETCH_NO_CONNECTION;
    int cause = FETCH_OK;
    DWORD high = 0;
    DWORD size = GetFileSize(file, &high);
    DWORD read = 0;
    if (high || size > fetchLimits.maxBytes)
        cause = FETCH_TOO_LARGE;
    else if (!ReserveBytes(buffer, size + 1))
        cause = FETCH_TOO_LARGE;
    else if (!ReadFile(file, buffer->data, size, &read, NULL))
        cause = FETCH_NO_CONNECTION;
    buffer->size = read;
    CloseHandle(file);
    return cause;
}


/* Where a fetch keeps the request a blocked call waits on, so that an
   abort can close it: the platform's way to cut a call short. */
struct RequestSlot {
    void *volatile request;
    volatile LONG aborted;
};

/* One fetch's handles and clock. */
struct Fetch {
    RequestSlot *slot;
    HINTERNET session;
    HINTERNET connection;
    DWORD started;
};

static DWORD TimeLeft(const Fetch *fetch)
{
    DWORD spent = GetTickCount() - fetch->started;
    return spent < fetchLimits.totalMs ? fetchLimits.totalMs - spent : 0;
}

/* Some stacks report a receive time-out as a lost connection: a failure
   that comes at a bound is a time-out. */
#define AT_BOUND_MS 250

static int CauseOfError(const Fetch *fetch, DWORD err)
{
    DWORD spent = GetTickCount() - fetch->started;
    if (fetch->slot->aborted)
        return FETCH_NO_CONNECTION;
    if (err == ERROR_INTERNET_NAME_NOT_RESOLVED)
        return FETCH_NAME_NOT_FOUND;
    if (err == ERROR_INTERNET_TIMEOUT || TimeLeft(fetch) < AT_BOUND_MS ||
        (spent + AT_BOUND_MS >= fetchLimits.connectMs && spent < fetchLimits.connectMs + AT_BOUND_MS))
        return FETCH_TIMED_OUT;
    return FETCH_NO_CONNECTION;
}

/* The request handle is the one a blocked call waits on; whoever takes it
   from the abort slot closes it, so it is closed once. */
static void CloseRequest(Fetch *fetch)
{
    HINTERNET request = InterlockedExchangePointer(&fetch->slot->request, NULL);
    if (request)
        InternetCloseHandle(request);
}

static void CloseFetch(Fetch *fetch)
{
    CloseRequest(fetch);
    if (fetch->connection)
        InternetCloseHandle(fetch->connection);
    fetch->connection = NULL;
    if (fetch->session)
        InternetCloseHandle(fetch->session);
    fetch->session = NULL;
}

static void CloseSlot(RequestSlot *slot)
{
    InterlockedExchange(&slot->aborted, 1);
    HINTERNET request = InterlockedExchangePointer(&slot->request, NULL);
    if (request)
        InternetCloseHandle(request);
}

void AbortFetch(FetchAbort *abort)
{
    if (abort && abort->event)
        SetEvent(abort->event);
}

/* Validators are sent back as header values: nothing but printable ASCII. */
static BOOL CleanHeaderValue(const char *value)
{
    for (; *value; value++)
        if ((BYTE)*value < 0x20 || (BYTE)*value > 0x7E)
            return FALSE;
    return TRUE;
}

static void QueryHeader(HINTERNET request, DWORD query, char *value, DWORD size)
{
    DWORD length = size;
    DWORD index = 0;
    if (!HttpQueryInfoA(request, query, value, &length, &index) || !CleanHeaderValue(value))
        value[0] = 0;
    value[size - 1] = 0;
}

/* Seconds to wait, from delta-seconds or an HTTP date; 0 when unreadable. */
static DWORD ReadRetryAfter(HINTERNET request)
{
    char value[64];
    QueryHeader(request, HTTP_QUERY_RETRY_AFTER, value, sizeof(value));
    if (!value[0])
        return 0;
    ULONGLONG seconds = 0;
    if (value[0] >= '0' && value[0] <= '9') {
        for (const char *c = value; *c >= '0' && *c <= '9' && seconds <= MAX_RETRY_AFTER_S; c++)
            seconds = seconds * 10 + (*c - '0');
    } else {
        SYSTEMTIME at, now;
        FILETIME atFile, nowFile;
        if (!InternetTimeToSystemTimeA(value, &at, 0) || !SystemTimeToFileTime(&at, &atFile))
            return 0;
        GetSystemTime(&now);
        SystemTimeToFileTime(&now, &nowFile);
        ULONGLONG a = ((ULONGLONG)atFile.dwHighDateTime << 32) | atFile.dwLowDateTime;
        ULONGLONG n = ((ULONGLONG)nowFile.dwHighDateTime << 32) | nowFile.dwLowDateTime;
        seconds = a > n ? (a - n) / 10000000 : 0;
    }
    return (DWORD)(seconds < MAX_RETRY_AFTER_S ? seconds : MAX_RETRY_AFTER_S);
}

static void SetReceiveTimeout(HINTERNET handle, DWORD ms)
{
    if (ms == 0)
        ms = 1;
    (void)InternetSetOptionA(handle, INTERNET_OPTION_RECEIVE_TIMEOUT, &ms, sizeof(ms));
}

static int ReadBody(Fetch *fetch, HINTERNET request, ByteBuffer *buffer)
{
    char lengthText[32];
    QueryHeader(request, HTTP_QUERY_CONTENT_LENGTH, lengthText, sizeof(lengthText));
    /* Refused on its announced size, before a byte of it is read. */
    ULONGLONG announced = 0;
    for (const char *c = lengthText; *c >= '0' && *c <= '9' && announced <= fetchLimits.maxBytes; c++)
        announced = announced * 10 + (*c - '0');
    if (announced > fetchLimits.maxBytes)
        return FETCH_TOO_LARGE;
    for (;;) {
        DWORD left = TimeLeft(fetch);
        if (!left)
            return FETCH_TIMED_OUT;
        SetReceiveTimeout(request, left);
        if (!ReserveBytes(buffer, READ_CHUNK))
            return FETCH_TOO_LARGE;
        DWORD read = 0;
        if (!InternetReadFile(request, buffer->data + buffer->size, READ_CHUNK, &read))
            return CauseOfError(fetch, GetLastError());
        if (read == 0)
            return FETCH_OK;
        buffer->size += read;
        if (buffer->size > fetchLimits.maxBytes)
            return FETCH_TOO_LARGE;
    }
}

/* Opens the request for one URL and sends it; the request is left in the
   abort slot. */
static int SendRequest(Fetch *fetch, const char *url, const FetchValidators *validators,
                       HINTERNET *sent)
{
    *sent = NULL;
    char host[256], path[URL_SIZE], extra[URL_SIZE];
    URL_COMPONENTSA parts;
    ZeroMemory(&parts, sizeof(parts));
    parts.dwStructSize = sizeof(parts);
    parts.lpszHostName = host;
    parts.dwHostNameLength = sizeof(host);
    parts.lpszUrlPath = path;
    parts.dwUrlPathLength = sizeof(path);
    parts.lpszExtraInfo = extra;
    parts.dwExtraInfoLength = sizeof(extra);
    if (!InternetCrackUrlA(url, 0, 0, &parts) || !host[0] ||
        (parts.nScheme != INTERNET_SCHEME_HTTP && parts.nScheme != INTERNET_SCHEME_HTTPS))
        return FETCH_BAD_ADDRESS;
    char object[2 * URL_SIZE];
    wnsprintfA(object, sizeof(object), "%s%s", path[0] ? path : "/", extra);

    if (fetch->connection)
        InternetCloseHandle(fetch->connection);
    fetch->connection = InternetConnectA(fetch->session, host, parts.nPort, NULL, NULL,
                                         INTERNET_SERVICE_HTTP, 0, 0);
    if (!fetch->connection)
        return CauseOfError(fetch, GetLastError());
    DWORD flags = INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE | INTERNET_FLAG_PRAGMA_NOCACHE |
                  INTERNET_FLAG_NO_AUTO_REDIRECT | INTERNET_FLAG_NO_UI;
    if (parts.nScheme == INTERNET_SCHEME_HTTPS)
        flags |= INTERNET_FLAG_SECURE;
    HINTERNET request = HttpOpenRequestA(fetch->connection, "GET", object, NULL, NULL, NULL, flags, 0);
    if (!request)
        return CauseOfError(fetch, GetLastError());
    InterlockedExchangePointer(&fetch->slot->request, request);
    if (fetch->slot->aborted) {
        CloseRequest(fetch);
        return FETCH_NO_CONNECTION;
    }

    char headers[512] = "";
    if (validators && validators->etag[0])
        wnsprintfA(headers, sizeof(headers), "If-None-Match: %s\r\n", validators->etag);
    if (validators && validators->lastModified[0]) {
        int used = lstrlenA(headers);
        wnsprintfA(headers + used, sizeof(headers) - used, "If-Modified-Since: %s\r\n",
                   validators->lastModified);
    }
    SetReceiveTimeout(request, TimeLeft(fetch));
    if (!HttpSendRequestA(request, headers[0] ? headers : NULL, (DWORD)-1, NULL, 0))
        return CauseOfError(fetch, GetLastError());
    *sent = request;
    return FETCH_OK;
}

static BOOL IsRedirect(DWORD status)
{
    return status == 301 || status == 302 || status == 303 || status == 307 || status == 308;
}

static int FetchOverHttp(Fetch *fetch, const char *url, const FetchValidators *validators,
                         FetchResult *result, ByteBuffer *buffer)
{
    fetch->session = InternetOpenA(USER_AGENT, INTERNET_OPEN_TYPE_PRECONFIG, NULL, NULL, 0);
    if (!fetch->session)
        return FETCH_NO_CONNECTION;
    DWORD connectMs = fetchLimits.connectMs;
    (void)InternetSetOptionA(fetch->session, INTERNET_OPTION_CONNECT_TIMEOUT, &connectMs, sizeof(connectMs));
    (void)InternetSetOptionA(fetch->session, INTERNET_OPTION_SEND_TIMEOUT, &connectMs, sizeof(connectMs));

    char current[URL_SIZE];
    lstrcpynA(current, url, URL_SIZE);
    for (DWORD hops = 0;; hops++) {
        HINTERNET request;
        int cause = SendRequest(fetch, current, validators, &request);
        if (cause != FETCH_OK)
            return cause;
        DWORD status = 0, size = sizeof(status), index = 0;
        if (!HttpQueryInfoA(request, HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &status, &size, &index))
            return FETCH_NO_CONNECTION;
        result->status = status;
        if (status == 304)
            return validators ? FETCH_NOT_MODIFIED : FETCH_HTTP_STATUS;
        if (status == 429 || status == 503)
            result->retryAfterSeconds = ReadRetryAfter(request);
        if (IsRedirect(status) && hops < fetchLimits.maxRedirects) {
            char location[URL_SIZE];
            QueryHeader(request, HTTP_QUERY_LOCATION, location, sizeof(location));
            DWORD length = URL_SIZE;
            if (!location[0] || !InternetCombineUrlA(current, location, current, &length, 0))
                return FETCH_HTTP_STATUS;
            CloseRequest(fetch);
            continue;
        }
        if (status < 200 || status > 299)
            return FETCH_HTTP_STATUS;
        QueryHeader(request, HTTP_QUERY_ETAG, result->validators.etag, sizeof(result->validators.etag));
        QueryHeader(request, HTTP_QUERY_LAST_MODIFIED, result->validators.lastModified,
                    sizeof(result->validators.lastModified));
        return ReadBody(fetch, request, buffer);
    }
}

static int RunFetch(const char *url, const FetchValidators *validators, FetchResult *result,
                    RequestSlot *slot)
{
    Fetch fetch;
    ZeroMemory(&fetch, sizeof(fetch));
    fetch.slot = slot;
    fetch.started = GetTickCount();
    ByteBuffer buffer = { NULL, 0, 0 };
    int cause = !url ? FETCH_BAD_ADDRESS
                : IsLocalPath(url) ? ReadLocalFile(url, &buffer)
                : FetchOverHttp(&fetch, url, validators, result, &buffer);
    CloseFetch(&fetch);
    if (cause == FETCH_OK)
        cause = HandOverBytes(&buffer, result);
    if (buffer.data)
        GlobalFree(buffer.data);
    return cause;
}

/* A fetch on a thread of its own, shared by that thread and the caller;
   the last to let go frees it. */
struct FetchJob {
    volatile LONG holders;
    HMODULE module;
    char url[URL_SIZE];
    FetchValidators validators;
    BOOL conditional;
    FetchResult result;
    RequestSlot slot;
};

static void ReleaseJob(FetchJob *job)
{
    if (InterlockedDecrement(&job->holders) > 0)
        return;
    FreeFetchResult(&job->result);
    GlobalFree(job);
}

static DWORD WINAPI FetchThread(void *parameter)
{
    FetchJob *job = (FetchJob *)parameter;
    HMODULE module = job->module;
    VariantInit(&job->result.document);
    job->result.cause = RunFetch(job->url, job->conditional ? &job->validators : NULL, &job->result,
                                 &job->slot);
    ReleaseJob(job);
    /* The module stays loaded until this thread has left its code. */
    FreeLibraryAndExitThread(module, 0);
    return 0;
}

static FetchJob *StartFetchThread(const char *url, const FetchValidators *validators, HANDLE *thread)
{
    FetchJob *job = (FetchJob *)GlobalAlloc(GPTR, sizeof(FetchJob));
    if (!job)
        return NULL;
    job->holders = 2;
    lstrcpynA(job->url, url, URL_SIZE);
    job->conditional = validators != NULL;
    if (validators)
        job->validators = *validators;
    if (GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS, (LPCSTR)FetchThread, &job->module)) {
        *thread = CreateThread(NULL, 0, FetchThread, job, 0, NULL);
        if (*thread)
            return job;
        FreeLibrary(job->module);
    }
    GlobalFree(job);
    return NULL;
}

/* How long an aborted fetch is given to end once its request is closed,
   which ends a blocked call where the platform allows it. */
#define ABORT_GRACE_MS      250

/* Waits for the job's thread or the abort. A job left behind is told to
   stop and ends by its own bounds. */
static int AwaitFetch(FetchJob *job, HANDLE thread, FetchAbort *abort, FetchResult *result)
{
    HANDLE waits[2] = { thread, abort->event };
    DWORD bound = fetchLimits.totalMs + fetchLimits.connectMs;
    DWORD woken = WaitForMultipleObjects(2, waits, FALSE, bound);
    int cause;
    if (woken == WAIT_OBJECT_0) {
        *result = job->result;
        VariantInit(&job->result.document);   /* the bytes are the caller's now */
        cause = result->cause;
    } else {
        CloseSlot(&job->slot);
        (void)WaitForSingleObject(thread, ABORT_GRACE_MS);
        cause = woken == WAIT_TIMEOUT ? FETCH_TIMED_OUT : FETCH_NO_CONNECTION;
    }
    CloseHandle(thread);
    ReleaseJob(job);
    return cause;
}

HRESULT FetchFeed(const char *url, const FetchValidators *validators, FetchResult *result,
                  FetchAbort *abort)
{
    ZeroMemory(result, sizeof(*result));
    VariantInit(&result->document);
    HANDLE thread = NULL;
    FetchJob *job = abort && abort->event && url ? StartFetchThread(url, validators, &thread) : NULL;
    int cause;
    if (job) {
        cause = AwaitFetch(job, thread, abort, result);
    } else {
        RequestSlot slot = { NULL, 0 };
        cause = RunFetch(url, validators, result, &slot);
    }
    result->cause = cause;
    return cause == FETCH_OK || cause == FETCH_NOT_MODIFIED ? S_OK : S_FALSE;
}

void FreeFetchResult(FetchResult *result)
{
    (void)VariantClear(&result->document);
}
