/* A stand-in for the system feed store, which Wine lacks: an in-process COM
   server with exactly the interfaces and method slots the band uses. The
   feeds it holds come from the file named by VELMORA_FEEDSTORE, one feed a
   line as "URL<TAB>title" in UTF-8; a title "!fail" makes that feed's title
   call fail. Without the variable or the file the class is not available,
   as on a system without a feed store. Slots the band never calls are null,
   so a call to a wrong slot crashes the test instead of passing quietly. */
#include <windows.h>
#include <objbase.h>
#include <string>
#include <vector>

namespace {

const CLSID CLSID_Store = { 0xFE6B11C3, 0xC72E, 0x4061, { 0x86, 0xC6, 0x9D, 0x16, 0x31, 0x21, 0xF2, 0x29 } };
const IID IID_Manager = { 0x5357E238, 0xFB12, 0x4ACA, { 0xA9, 0x30, 0xCA, 0xB7, 0x83, 0x2B, 0x84, 0xBF } };
const IID IID_Folder = { 0x4C963678, 0x3A51, 0x4B88, { 0x85, 0x31, 0x98, 0xB9, 0x0B, 0x65, 0x08, 0xF2 } };
const IID IID_Feed = { 0xA44179A4, 0xE0F6, 0x403B, { 0xAF, 0x8D, 0xD0, 0x80, 0xF4, 0x25, 0xA4, 0x51 } };

struct Feed {
    std::wstring url, title;
};

struct Catalogue {
    LONG refs;
    std::vector<Feed> feeds;
};

volatile LONG liveObjects;

struct Object {
    void **table;
    LONG refs;
    const IID *iid;          /* what QueryInterface answers besides IUnknown */
    Catalogue *catalogue;
    UINT position;
};

std::wstring Utf16(const std::string &text)
{
    std::wstring out(text.size() + 1, L'\0');
    int n = MultiByteToWideChar(CP_UTF8, 0, text.data(), (int)text.size(), &out[0], (int)out.size());
    out.resize(n > 0 ? n : 0);
    return out;
}

bool ReadCatalogue(std::vector<Feed> *feeds)
{
    char path[MAX_PATH];
    DWORD n = GetEnvironmentVariableA("VELMORA_FEEDSTORE", path, MAX_PATH);
    if (n == 0 || n >= MAX_PATH)
        return false;
    HANDLE file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING, 0, NULL);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    std::string text;
    char buffer[4096];
    DWORD got;
    while (ReadFile(file, buffer, sizeof(buffer), &got, NULL) && got)
        text.append(buffer, got);
    CloseHandle(file);
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos)
            end = text.size();
        std::string line = text.substr(start, end - start);
        start = end + 1;
        size_t tab = line.find('\t');
        if (tab != std::string::npos)
            feeds->push_back({ Utf16(line.substr(0, tab)), Utf16(line.substr(tab + 1)) });
    }
    return true;
}

Object *NewObject(void **table, const IID *iid, Catalogue *catalogue, UINT position)
{
    Object *object = new Object{ table, 1, iid, catalogue, position };
    InterlockedIncrement(&catalogue->refs);
    InterlockedIncrement(&liveObjects);
    return object;
}

HRESULT STDMETHODCALLTYPE Object_QueryInterface(Object *self, const IID *riid, void **ppv)
{
    *ppv = NULL;
    if (!IsEqualIID(*riid, IID_IUnknown) && !(self->iid && IsEqualIID(*riid, *self->iid)))
        return E_NOINTERFACE;
    *ppv = self;
    InterlockedIncrement(&self->refs);
    return S_OK;
}

ULONG STDMETHODCALLTYPE Object_AddRef(Object *self)
{
    return InterlockedIncrement(&self->refs);
}

ULONG STDMETHODCALLTYPE Object_Release(Object *self)
{
    LONG n = InterlockedDecrement(&self->refs);
    if (n == 0) {
        if (InterlockedDecrement(&self->catalogue->refs) == 0)
            delete self->catalogue;
        delete self;
        InterlockedDecrement(&liveObjects);
    }
    return n;
}

HRESULT CopyOut(const std::wstring &text, LPWSTR *out)
{
    *out = (LPWSTR)CoTaskMemAlloc((text.size() + 1) * sizeof(WCHAR));
    if (!*out)
        return E_OUTOFMEMORY;
    memcpy(*out, text.c_str(), (text.size() + 1) * sizeof(WCHAR));
    return S_OK;
}

extern void *folderTable[4];
extern void *feedsTable[5];
extern void *feedTable[35];

/* manager slot 3 */
HRESULT STDMETHODCALLTYPE Manager_RootFolder(Object *self, const IID *riid, void **folder)
{
    *folder = NULL;
    if (!IsEqualIID(*riid, IID_Folder))
        return E_NOINTERFACE;
    *folder = NewObject(folderTable, &IID_Folder, self->catalogue, 0);
    return S_OK;
}

/* folder slot 3 */
HRESULT STDMETHODCALLTYPE Folder_Feeds(Object *self, void **feeds)
{
    *feeds = NewObject(feedsTable, NULL, self->catalogue, 0);
    return S_OK;
}

/* enumeration slots 3 and 4 */
HRESULT STDMETHODCALLTYPE Feeds_Count(Object *self, UINT *count)
{
    *count = (UINT)self->catalogue->feeds.size();
    return S_OK;
}

HRESULT STDMETHODCALLTYPE Feeds_Item(Object *self, UINT position, const IID *riid, void **feed)
{
    *feed = NULL;
    if (position >= self->catalogue->feeds.size())
        return E_INVALIDARG;
    if (!IsEqualIID(*riid, IID_Feed))
        return E_NOINTERFACE;
    *feed = NewObject(feedTable, &IID_Feed, self->catalogue, position);
    return S_OK;
}

/* feed slots 6 and 34 */
HRESULT STDMETHODCALLTYPE Feed_Url(Object *self, LPWSTR *url)
{
    return CopyOut(self->catalogue->feeds[self->position].url, url);
}

HRESULT STDMETHODCALLTYPE Feed_Title(Object *self, LPWSTR *title)
{
    const std::wstring &text = self->catalogue->feeds[self->position].title;
    if (text == L"!fail") {
        *title = NULL;
        return E_FAIL;
    }
    return CopyOut(text, title);
}

#define UNKNOWN_SLOTS (void *)Object_QueryInterface, (void *)Object_AddRef, (void *)Object_Release

void *managerTable[4] = { UNKNOWN_SLOTS, (void *)Manager_RootFolder };
void *folderTable[4] = { UNKNOWN_SLOTS, (void *)Folder_Feeds };
void *feedsTable[5] = { UNKNOWN_SLOTS, (void *)Feeds_Count, (void *)Feeds_Item };
void *feedTable[35] = { UNKNOWN_SLOTS };

struct FeedSlots {
    FeedSlots()
    {
        feedTable[6] = (void *)Feed_Url;
        feedTable[34] = (void *)Feed_Title;
    }
} feedSlots;

struct Factory {
    void **table;
};

HRESULT STDMETHODCALLTYPE Factory_QueryInterface(Factory *self, const IID *riid, void **ppv)
{
    *ppv = NULL;
    if (!IsEqualIID(*riid, IID_IUnknown) && !IsEqualIID(*riid, IID_IClassFactory))
        return E_NOINTERFACE;
    *ppv = self;
    return S_OK;
}

ULONG STDMETHODCALLTYPE Factory_AddRef(Factory *) { return 2; }
ULONG STDMETHODCALLTYPE Factory_Release(Factory *) { return 1; }

HRESULT STDMETHODCALLTYPE Factory_CreateInstance(Factory *, IUnknown *outer, const IID *riid, void **ppv)
{
    *ppv = NULL;
    if (outer)
        return CLASS_E_NOAGGREGATION;
    Catalogue *catalogue = new Catalogue{ 0, {} };
    if (!ReadCatalogue(&catalogue->feeds)) {
        delete catalogue;
        return REGDB_E_CLASSNOTREG;
    }
    Object *manager = NewObject(managerTable, &IID_Manager, catalogue, 0);
    HRESULT hr = Object_QueryInterface(manager, riid, ppv);
    Object_Release(manager);
    return hr;
}

HRESULT STDMETHODCALLTYPE Factory_LockServer(Factory *, BOOL) { return S_OK; }

void *factoryTable[5] = { (void *)Factory_QueryInterface, (void *)Factory_AddRef, (void *)Factory_Release,
                          (void *)Factory_CreateInstance, (void *)Factory_LockServer };
Factory factory = { factoryTable };

}  // namespace

extern "C" HRESULT WINAPI StoreGetClassObject(const CLSID *clsid, const IID *riid, void **ppv)
{
    *ppv = NULL;
    if (!IsEqualCLSID(*clsid, CLSID_Store))
        return CLASS_E_CLASSNOTAVAILABLE;
    return Factory_QueryInterface(&factory, riid, ppv);
}

extern "C" HRESULT WINAPI StoreCanUnloadNow(void)
{
    return liveObjects == 0 ? S_OK : S_FALSE;
}

/* For the tests: how many store objects are alive. */
extern "C" LONG WINAPI FeedStoreLiveObjects(void)
{
    return liveObjects;
}
