/* The band object's identity (its interface entries and the shared
   QueryInterface, AddRef and Release) and the process state that the first
   band object builds and the release of the last one tears down.
   Reference counts and the object count are plain integers: every COM call
   arrives on the browser's apartment thread. The module and state counts are
   interlocked because a feed-list thread may drop the last hold. */
#include "band/band.h"
#include "core/handoff.h"
#include "ticker/ticker.h"
#include "settings/settings.h"
#include "resources/resource.h"
#include <commctrl.h>
#include <urlmon.h>
#include <mshtmhst.h>
#include <stddef.h>

static LONG liveBandObjects;

/* What the window thread's process state holds beyond the shared record;
   one state is built at a time, and both are given back by its teardown. */
static BOOL comInitialized;
static HMENU mainMenuBar;   /* menu 600, whose first submenu is mainMenu */

static const IUnknownVtbl unknownTable = {
    BAND_UNKNOWN_SLOTS(IUnknown)
};

/* QueryInterface's answers, in the order the IIDs are compared. */
struct InterfaceRecord {
    const IID *iid;
    size_t entryOffset;
    const void *table;
};

static const InterfaceRecord interfaceRecords[] = {
    { &IID_IUnknown, offsetof(BandObject, unknownEntry), &unknownTable },
    { &IID_IDeskBand, offsetof(BandObject, deskBandEntry), &deskBandTable },
    { &IID_IPersistStream, offsetof(BandObject, persistStreamEntry), &persistStreamTable },
    { &IID_IObjectWithSite, offsetof(BandObject, objectWithSiteEntry), &objectWithSiteTable },
    { &IID_IInputObject, offsetof(BandObject, inputObjectEntry), &inputObjectTable },
    { &IID_IBindStatusCallback, offsetof(BandObject, bindStatusCallbackEntry), &bindStatusCallbackTable },
    { &IID_IDocHostUIHandler, offsetof(BandObject, docHostUIHandlerEntry), &docHostUIHandlerTable },
    { &IID_IDispatch, offsetof(BandObject, eventSink.entry), &eventSinkTable },
    { &DIID_DWebBrowserEvents2, offsetof(BandObject, eventSink.entry), &eventSinkTable },
};

/* Menu 600 itself is kept too, so that teardown can give it back: a
   process that builds its state many times would otherwise pile menus up. */
static void LoadMainMenu(BandState *band)
{
    mainMenuBar = LoadMenuA(moduleHandle, MAKEINTRESOURCEA(IDM_MAIN));
    band->mainMenu = mainMenuBar ? GetSubMenu(mainMenuBar, 0) : NULL;
}

static void TearDownBandState(BandState *band)
{
    if (mainMenuBar)
        DestroyMenu(mainMenuBar);
    mainMenuBar = NULL;
    band->mainMenu = NULL;
    DestroyTicker(band);
    if (comInitialized)
        CoUninitialize();
    comInitialized = FALSE;
    ReleaseModuleContext();
    if (processBandState == band)
        processBandState = NULL;
    ReleaseBandState(band);
}

static DWORD BuildBandState(void)
{
    BandState *band = CreateBandStateRecord();
    if (!band)
        return ERROR_OUTOFMEMORY;

    CreateModuleContext();
    ActivateModuleContext();
    INITCOMMONCONTROLSEX controls = { sizeof(controls), ICC_WIN95_CLASSES | ICC_USEREX_CLASSES };
    InitCommonControlsEx(&controls);
    /* S_FALSE in a thread the browser set up, which still wants balancing. */
    comInitialized = SUCCEEDED(CoInitialize(NULL));
    CreateTicker(moduleHandle, band);
    band->serverList = (char *)GlobalAlloc(GMEM_FIXED, SERVER_LIST_SIZE);
    if (!band->serverList) {
        DeactivateModuleContext();
        TearDownBandState(band);
        return ERROR_OUTOFMEMORY;
    }
    band->serverList[0] = band->serverList[1] = 0;
    band->feedListDoneEvent = CreateEventA(NULL, FALSE, FALSE, NULL);
    LoadMainMenu(band);
    DeactivateModuleContext();
    processBandState = band;
    return 0;
}

DWORD CreateBandObject(InterfaceEntry **object)
{
    *object = NULL;
    if (liveBandObjects == 0) {
        DWORD err = BuildBandState();
        if (err)
            return err;
    }
    BandObject *band = (BandObject *)GlobalAlloc(GPTR, sizeof(BandObject));
    if (!band) {
        if (liveBandObjects == 0)
            ShutdownBandState();
        return ERROR_OUTOFMEMORY;
    }
    liveBandObjects++;
    band->unknownEntry.table = &unknownTable;
    band->unknownEntry.owner = band;
    band->eventSink.view = &band->view;
    *object = &band->unknownEntry;
    return 0;
}

void ShutdownBandState(void)
{
    BandState *band = processBandState;
    if (!band)
        return;
    /* A fill that is still running keeps the events and the server list;
       it asked for the stop already when its toolbar went. */
    TearDownBandState(band);
}

HRESULT STDMETHODCALLTYPE BandObject_QueryInterface(InterfaceEntry *entry, REFIID riid, void **ppv)
{
    if (!ppv)
        return S_OK;
    *ppv = NULL;
    BandObject *band = entry->owner;
    if (!band)
        return E_FAIL;
    const IID *iid = GuidAddress(riid);
    if (!iid)
        return E_INVALIDARG;
    for (size_t i = 0; i < sizeof(interfaceRecords) / sizeof(interfaceRecords[0]); i++) {
        const InterfaceRecord *record = &interfaceRecords[i];
        if (!IsEqualIID(*iid, *record->iid))
            continue;
        if (record->table == &persistStreamTable)
            band->classIdCopy = CLSID_VelmoraBand;
        InterfaceEntry *answer = (InterfaceEntry *)((BYTE *)band + record->entryOffset);
        answer->table = record->table;
        answer->owner = band;
        *ppv = answer;
        BandObject_AddRef(answer);
        return S_OK;
    }
    /* IOleWindow, IDockingWindow and IPersist are refused on purpose,
       although the IDeskBand and IPersistStream tables carry their methods. */
    return E_NOINTERFACE;
}

ULONG STDMETHODCALLTYPE BandObject_AddRef(InterfaceEntry *entry)
{
    return (ULONG)++entry->owner->refCount;
}

ULONG STDMETHODCALLTYPE BandObject_Release(InterfaceEntry *entry)
{
    BandObject *band = entry->owner;
    LONG count = --band->refCount;
    if (count > 0)
        return (ULONG)count;
    /* A host that lets go of a band it never unsited must not leave the
       rendering thread a way to it. */
    ForgetSitedBand(&band->view);
    GlobalFree(band);
    if (--liveBandObjects == 0)
        ShutdownBandState();
    return 0;
}
