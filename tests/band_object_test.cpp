/* The COM server through the real velmora.dll: exports, class factory, the
   band object's identity and the process state it builds and tears down. */
#include "tests/support/http_server.h"
#include "tests/support/leak_check.h"
#include "tests/support/scratch.h"
#include "tests/standins/site.h"
#include "tests/support/standin_rig.h"
#include "tests/support/ticker_rig.h"
#include "tests/support/hresult.h"
#include <gtest/gtest.h>
#include <mshtmhst.h>
#include <urlmon.h>
#include <shobjidl.h>
#include <exdisp.h>
#include <tlhelp32.h>
#include <set>
#include <vector>

namespace {

const CLSID CLSID_Band = { 0x3C5B9E21, 0x7D4A, 0x4F06, { 0x9B, 0x3E, 0x2A, 0x61, 0xC8, 0xD0, 0xF5, 0xB7 } };

/* C callers pass IIDs by pointer, and so may pass null. */
typedef HRESULT (WINAPI *GetClassObjectProc)(const CLSID *, const IID *, void **);
typedef HRESULT (WINAPI *CanUnloadProc)(void);
typedef HRESULT (STDMETHODCALLTYPE *QueryProc)(void *, const IID *, void **);
typedef HRESULT (STDMETHODCALLTYPE *CreateProc)(IClassFactory *, IUnknown *, const IID *, void **);

HRESULT Query(void *iface, const IID *iid, void **out)
{
    return ((QueryProc)(*(void ***)iface)[0])(iface, iid, out);
}

ULONG AddRef(void *iface) { return IUnknown_AddRef((IUnknown *)iface); }
ULONG Release(void *iface) { return IUnknown_Release((IUnknown *)iface); }

std::set<DWORD> ThreadIds()
{
    std::set<DWORD> ids;
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
    THREADENTRY32 entry;
    entry.dwSize = sizeof(entry);
    for (BOOL more = Thread32First(snapshot, &entry); more; more = Thread32Next(snapshot, &entry))
        if (entry.th32OwnerProcessID == GetCurrentProcessId())
            ids.insert(entry.th32ThreadID);
    CloseHandle(snapshot);
    return ids;
}

class Server : public StandInRig {
protected:
    void SetUp() override
    {
        StandInRig::SetUp();
        ASSERT_TRUE(scratch.ok());
        ASSERT_TRUE(http.Start());
        /* The rendering thread's first load stays on the loopback server. */
        http.Serve("/feed", MakeRss(3));
        scratch.WriteSettings("[Servers]\r\nshow=" + http.Url("/feed") + "\r\n");
        getClassObject = (GetClassObjectProc)(void (*)(void))GetProcAddress(scratch.module(), "DllGetClassObject");
        canUnload = (CanUnloadProc)(void (*)(void))GetProcAddress(scratch.module(), "DllCanUnloadNow");
        ASSERT_TRUE(getClassObject && canUnload);
    }
    IClassFactory *Factory()
    {
        void *factory = nullptr;
        EXPECT_HR(S_OK, getClassObject(&CLSID_Band, &IID_IClassFactory, &factory));
        return (IClassFactory *)factory;
    }
    HRESULT Create(IClassFactory *factory, const IID *iid, void **out)
    {
        return ((CreateProc)(void (*)(void))factory->lpVtbl->CreateInstance)(factory, NULL, iid, out);
    }
    IUnknown *NewBand()
    {
        IClassFactory *factory = Factory();
        void *band = nullptr;
        EXPECT_HR(S_OK, Create(factory, &IID_IUnknown, &band));
        EXPECT_EQ(0u, Release(factory));
        return (IUnknown *)band;
    }

    ScratchModule scratch;
    LoopbackServer http;
    GetClassObjectProc getClassObject = nullptr;
    CanUnloadProc canUnload = nullptr;
};

typedef Server ClassFactory;
typedef Server BandObjectIdentity;
typedef Server BandObjectCycles;

TEST_F(ClassFactory, RefusalsComeInTheirOrder)
{
    void *const untouched = (void *)0x1234;
    void *out = untouched;
    EXPECT_HR(E_INVALIDARG, getClassObject(&CLSID_Band, &IID_IClassFactory, NULL));
    EXPECT_HR(E_INVALIDARG, getClassObject(NULL, &IID_IClassFactory, &out));
    EXPECT_HR(E_FAIL, getClassObject(&IID_IUnknown, &IID_IClassFactory, &out)) << "another class";
    EXPECT_HR(E_INVALIDARG, getClassObject(&CLSID_Band, NULL, &out));
    EXPECT_HR(E_FAIL, getClassObject(&CLSID_Band, &IID_IUnknown, &out));
    EXPECT_EQ(untouched, out);

    IClassFactory *factory = Factory();
    ASSERT_NE(nullptr, factory);
    void *same = nullptr;
    EXPECT_HR(S_OK, Query(factory, &IID_IUnknown, &same));
    EXPECT_EQ((void *)factory, same);
    EXPECT_EQ(1u, Release(same));
    EXPECT_HR(E_NOINTERFACE, Query(factory, &IID_IPersist, &out));
    EXPECT_EQ(nullptr, out);
    EXPECT_HR(E_INVALIDARG, Query(factory, NULL, &out));
    EXPECT_HR(E_INVALIDARG, Query(factory, &IID_IClassFactory, NULL));
    EXPECT_HR(E_INVALIDARG, Create(factory, &IID_IUnknown, NULL));

    /* A refused interface leaves no object and no process state behind. */
    out = untouched;
    EXPECT_HR(E_NOINTERFACE, Create(factory, &IID_IOleWindow, &out));
    EXPECT_EQ(nullptr, out);
    EXPECT_FALSE(TickerEventsExist());
    EXPECT_EQ(0u, Release(factory));
    EXPECT_HR(S_OK, canUnload());
}

TEST_F(ClassFactory, FactoriesLocksAndObjectsKeepTheModule)
{
    EXPECT_HR(S_OK, canUnload());
    IClassFactory *factory = Factory();
    EXPECT_HR(S_FALSE, canUnload()) << "a held factory";
    EXPECT_HR(S_OK, factory->lpVtbl->LockServer(factory, TRUE));
    EXPECT_EQ(0u, Release(factory));
    EXPECT_HR(S_FALSE, canUnload()) << "a server lock";
    factory = Factory();
    EXPECT_HR(S_OK, factory->lpVtbl->LockServer(factory, FALSE));
    EXPECT_HR(S_OK, factory->lpVtbl->LockServer(factory, FALSE)) << "an unlock too many";
    void *band = nullptr;
    ASSERT_HR(S_OK, Create(factory, &IID_IUnknown, &band));
    EXPECT_EQ(0u, Release(factory));
    EXPECT_HR(S_FALSE, canUnload()) << "a band object";
    EXPECT_EQ(0u, Release(band));
    EXPECT_HR(S_OK, canUnload());
}

TEST_F(BandObjectIdentity, FirstObjectBuildsTheStateAndTheLastTearsItDown)
{
    std::set<DWORD> idle = ThreadIds();
    EXPECT_FALSE(TickerEventsExist());
    IUnknown *first = NewBand();
    EXPECT_TRUE(TickerEventsExist());
    /* The first download runs on a thread of its own that ends with it. */
    std::string loading = "velmra loading event " + std::to_string(GetCurrentProcessId());
    HANDLE loaded = OpenEventA(SYNCHRONIZE, FALSE, loading.c_str());
    ASSERT_NE(nullptr, loaded);
    EXPECT_TRUE(WaitPumping(loaded, 10000));
    CloseHandle(loaded);
    std::set<DWORD> one = ThreadIds();
    std::vector<DWORD> started;
    for (DWORD id : one)
        if (!idle.count(id))
            started.push_back(id);
    EXPECT_FALSE(started.empty()) << "the rendering thread started";
    IUnknown *second = NewBand();
    EXPECT_EQ(one, ThreadIds()) << "the second object shares the state";
    EXPECT_NE(first, second);
    EXPECT_EQ(0u, Release(first));
    EXPECT_TRUE(TickerEventsExist());
    EXPECT_HR(S_FALSE, canUnload());
    EXPECT_EQ(0u, Release(second));
    EXPECT_FALSE(TickerEventsExist());
    std::set<DWORD> after = ThreadIds();
    size_t ended = 0;
    for (DWORD id : started)
        ended += !after.count(id);
    EXPECT_GE(ended, 1u) << "the rendering thread is gone";
    EXPECT_HR(S_OK, canUnload());

    IUnknown *third = NewBand();
    EXPECT_TRUE(TickerEventsExist());
    size_t fresh = 0;
    for (DWORD id : ThreadIds())
        fresh += !after.count(id);
    EXPECT_GE(fresh, 1u) << "a new rendering thread";
    EXPECT_EQ(0u, Release(third));
    EXPECT_HR(S_OK, canUnload());
}

TEST_F(BandObjectIdentity, QueryInterfaceAnswersItsTable)
{
    IUnknown *band = NewBand();
    EXPECT_HR(S_OK, Query(band, &IID_IPersistStream, NULL)) << "a null out pointer";
    EXPECT_EQ(2u, AddRef(band)) << "and no reference taken";
    EXPECT_EQ(1u, Release(band));

    for (const IID *refused : { &IID_IOleWindow, &IID_IPersist, &IID_IDockingWindow, &IID_IClassFactory }) {
        void *out = (void *)1;
        EXPECT_HR(E_NOINTERFACE, Query(band, refused, &out));
        EXPECT_EQ(nullptr, out);
    }
    void *out = (void *)1;
    EXPECT_HR(E_INVALIDARG, Query(band, NULL, &out));
    EXPECT_EQ(nullptr, out);

    for (const IID *iid : { &IID_IDeskBand, &IID_IPersistStream, &IID_IObjectWithSite, &IID_IInputObject,
                            &IID_IBindStatusCallback, &IID_IDocHostUIHandler, &IID_IDispatch }) {
        void *iface = nullptr, *unknown = nullptr, *again = nullptr;
        ASSERT_HR(S_OK, Query(band, iid, &iface));
        EXPECT_HR(S_OK, Query(iface, &IID_IUnknown, &unknown));
        EXPECT_EQ((void *)band, unknown) << "one identity";
        EXPECT_HR(S_OK, Query(unknown, iid, &again));
        EXPECT_EQ(iface, again);
        EXPECT_EQ(3u, Release(again)) << "one count for all interfaces";
        EXPECT_EQ(2u, Release(unknown));
        EXPECT_EQ(1u, Release(iface));
    }
    void *dispatch = nullptr, *events = nullptr;
    ASSERT_HR(S_OK, Query(band, &IID_IDispatch, &dispatch));
    ASSERT_HR(S_OK, Query(band, &DIID_DWebBrowserEvents2, &events));
    EXPECT_EQ(dispatch, events) << "one event sink";
    Release(events);
    Release(dispatch);
    EXPECT_EQ(0u, Release(band));
    EXPECT_HR(S_OK, canUnload());
}

TEST_F(BandObjectIdentity, InterfacesThatDoNoWork)
{
    IUnknown *band = NewBand();
    IPersistStream *persist = nullptr;
    ASSERT_HR(S_OK, Query(band, &IID_IPersistStream, (void **)&persist));
    CLSID clsid = {};
    EXPECT_HR(S_OK, persist->lpVtbl->GetClassID(persist, &clsid));
    EXPECT_TRUE(IsEqualCLSID(CLSID_Band, clsid));
    EXPECT_HR(E_INVALIDARG, persist->lpVtbl->GetClassID(persist, NULL));
    EXPECT_HR(S_FALSE, persist->lpVtbl->IsDirty(persist));
    EXPECT_HR(S_OK, persist->lpVtbl->Load(persist, NULL));
    EXPECT_HR(S_OK, persist->lpVtbl->Save(persist, NULL, TRUE));
    ULARGE_INTEGER size;
    EXPECT_HR(E_NOTIMPL, persist->lpVtbl->GetSizeMax(persist, &size));
    Release(persist);

    IDocHostUIHandler *host = nullptr;
    ASSERT_HR(S_OK, Query(band, &IID_IDocHostUIHandler, (void **)&host));
    DOCHOSTUIINFO info;
    memset(&info, 0x55, sizeof(info));
    EXPECT_HR(S_OK, host->lpVtbl->GetHostInfo(host, &info));
    EXPECT_EQ(20u, info.cbSize);
    EXPECT_EQ(0x4000Cu, info.dwFlags);
    EXPECT_EQ(0x55555555u, info.dwDoubleClick) << "the other members are left alone";
    EXPECT_HR(S_OK, host->lpVtbl->ShowContextMenu(host, 0, NULL, NULL, NULL));
    EXPECT_HR(E_NOTIMPL, host->lpVtbl->ShowUI(host, 0, NULL, NULL, NULL, NULL));
    EXPECT_HR(E_NOTIMPL, host->lpVtbl->TranslateAccelerator(host, NULL, NULL, 0));
    IDispatch *external = (IDispatch *)1;
    EXPECT_HR(E_NOTIMPL, host->lpVtbl->GetExternal(host, &external));
    EXPECT_EQ(nullptr, external) << "no pointer without a reference";
    Release(host);

    IBindStatusCallback *bind = nullptr;
    ASSERT_HR(S_OK, Query(band, &IID_IBindStatusCallback, (void **)&bind));
    EXPECT_HR(S_OK, bind->lpVtbl->OnStartBinding(bind, 0, NULL));
    EXPECT_HR(E_NOTIMPL, bind->lpVtbl->GetPriority(bind, NULL));
    EXPECT_HR(S_OK, bind->lpVtbl->OnProgress(bind, 1, 2, 3, L"x"));
    EXPECT_HR(S_OK, bind->lpVtbl->OnStopBinding(bind, S_OK, NULL));
    EXPECT_HR(E_NOTIMPL, bind->lpVtbl->GetBindInfo(bind, NULL, NULL));
    EXPECT_EQ(1u, Release(bind));
    EXPECT_EQ(0u, Release(band));
    EXPECT_HR(S_OK, canUnload());
}

/* The host's own procedure of the site window, and another add-on that
   subclasses the window after the band, as the browser's other extensions
   may, and calls on. */
WNDPROC hostPrevious, laterPrevious;
int hostSizes;
LRESULT CALLBACK HostSiteProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    hostSizes += message == WM_SIZE;
    return CallWindowProcA(hostPrevious, window, message, wParam, lParam);
}
LRESULT CALLBACK LaterSubclass(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    return CallWindowProcA(laterPrevious, window, message, wParam, lParam);
}

TEST_F(BandObjectIdentity, TheSiteWindowOutlivesTheUnloadedModule)
{
    const LONG_PTR hostData = 0x5EED;
    StandInSite site(NULL);
    SetWindowLongPtrA(site.window, GWLP_USERDATA, hostData);
    hostPrevious = (WNDPROC)SetWindowLongPtrA(site.window, GWLP_WNDPROC, (LONG_PTR)HostSiteProc);
    IUnknown *band = NewBand();
    IObjectWithSite *withSite = nullptr;
    ASSERT_HR(S_OK, Query(band, &IID_IObjectWithSite, (void **)&withSite));
    ASSERT_HR(S_OK, site.Host(band));
    EXPECT_EQ(hostData, GetWindowLongPtrA(site.window, GWLP_USERDATA)) << "the host's user data";
    laterPrevious = (WNDPROC)SetWindowLongPtrA(site.window, GWLP_WNDPROC, (LONG_PTR)LaterSubclass);

    ASSERT_HR(S_OK, withSite->lpVtbl->SetSite(withSite, NULL));
    Release(withSite);
    EXPECT_EQ(0u, Release(band));
    EXPECT_EQ(hostData, GetWindowLongPtrA(site.window, GWLP_USERDATA));
    ASSERT_TRUE(PumpUntil([&] { return canUnload() == S_OK; }, 15000));
    std::string path = scratch.folder() + "\\velmora.dll";
    scratch.Unload();
    ASSERT_TRUE(PumpUntil([&] { return GetModuleHandleA(path.c_str()) == NULL; }, 15000)) << "unloaded";

    /* With the band's procedure left in the chain, this would run freed code.
       (Wine's comctl32 drops the later subclass when the last of its own
       leaves; Windows keeps it. The host's procedure is reached either way.) */
    hostSizes = 0;
    SendMessageA(site.window, WM_SIZE, 0, MAKELPARAM(900, 40));
    EXPECT_EQ(1, hostSizes);
    EXPECT_EQ(hostData, GetWindowLongPtrA(site.window, GWLP_USERDATA));
}

TEST_F(BandObjectCycles, TwoHundredBuildsLeaveTheProcessFlat)
{
    auto cycle = [&] {
        IUnknown *band = NewBand();
        ASSERT_NE(nullptr, band);
        ASSERT_EQ(0u, Release(band));
    };
    /* The HTTP stack's tables grow once to the most downloads that ever
       overlapped (a released object's download may still be ending): 16 KB
       after 200 cycles and the same after 600. They are grown first. */
    for (int i = 0; i < 40; i++)
        cycle();
    /* 200 leaked records would be far more than the slack. */
    ExpectCyclesFlat(cycle, 200, 8192);
    EXPECT_HR(S_OK, canUnload());
}

}  // namespace
