/* The COM server: module globals, the band object's identity, the process
   state that the first band object builds and the last one tears down, and
   the activation context under which the band's windows are created.
   Threads: everything here runs on the browser's apartment thread, except
   that a feed-list thread may hold and release a BandState and the module. */
#ifndef VELMORA_BAND_H
#define VELMORA_BAND_H

#include <windows.h>
#include <ole2.h>
#include <ocidl.h>
#include <exdisp.h>
#include <shobjidl.h>
#include "core/module.h"
#include "core/limits.h"

#include "core/state.h"

/* Interface pointers are InterfaceEntry records (core/state.h): a table and
   this object; the event sink's also points at the band's view. */
struct BandObject {
    LONG refCount;
    BandView view;      /* top-level browser window, toolbar, browser */
    HWND siteWindow;
    HWND commandWindow;
    IInputObjectSite *inputObjectSite;
    IConnectionPoint *eventConnectionPoint;
    DWORD eventCookie;
    InterfaceEntry unknownEntry;
    InterfaceEntry objectWithSiteEntry;
    InterfaceEntry deskBandEntry;
    InterfaceEntry persistStreamEntry;
    CLSID classIdCopy;
    InterfaceEntry inputObjectEntry;
    SinkEntry eventSink;
    InterfaceEntry bindStatusCallbackEntry;
    InterfaceEntry docHostUIHandlerEntry;
    BOOL focusReported;     /* what the site was last told of the keyboard focus */
};

/* 0 or a Win32 error code; the object comes back with refCount 0. */
DWORD CreateBandObject(InterfaceEntry **object);
void ShutdownBandState(void);

HRESULT CreateBandClassFactory(void **ppv);

/* Registration (register.cpp): 0 or the Win32 error of the class key or the
   toolbar value; the product values are best-effort. */
DWORD WriteRegistration(void);
HRESULT RegisterBandCategory(void);

/* The shared IUnknown trio of every band interface. */
HRESULT STDMETHODCALLTYPE BandObject_QueryInterface(InterfaceEntry *entry, REFIID riid, void **ppv);
ULONG STDMETHODCALLTYPE BandObject_AddRef(InterfaceEntry *entry);
ULONG STDMETHODCALLTYPE BandObject_Release(InterfaceEntry *entry);

/* Each table starts with the trio above. The cast only renames the type of
   the first parameter: the interface pointer is the entry. */
#define BAND_UNKNOWN_SLOTS(Interface) \
    (HRESULT (STDMETHODCALLTYPE *)(Interface *, REFIID, void **))(void (*)(void))BandObject_QueryInterface, \
    (ULONG (STDMETHODCALLTYPE *)(Interface *))(void (*)(void))BandObject_AddRef, \
    (ULONG (STDMETHODCALLTYPE *)(Interface *))(void (*)(void))BandObject_Release

static inline BandObject *OwnerOf(const void *iface)
{
    return ((const InterfaceEntry *)iface)->owner;
}

/* Tables of the interfaces that do no work (inert.cpp). */
extern const IPersistStreamVtbl persistStreamTable;
extern const struct IDocHostUIHandlerVtbl docHostUIHandlerTable;
extern const struct IBindStatusCallbackVtbl bindStatusCallbackTable;

/* The band-site tables and the event sink's, whose methods are the browser
   room's (site.cpp). */
extern const IObjectWithSiteVtbl objectWithSiteTable;
extern const IDeskBandVtbl deskBandTable;
extern const IInputObjectVtbl inputObjectTable;
extern const IDispatchVtbl eventSinkTable;


/* C callers pass IIDs by pointer and may pass null; C++ sees a reference it
   may assume is bound, so the address is laundered before it is checked. */
static inline const GUID *GuidAddress(const GUID &guid)
{
    const GUID *address = &guid;
    __asm__("" : "+r"(address));
    return address;
}

/* The keyboard focus inside a sited band (focus.cpp): the site hears when
   it comes and goes. */
void WatchBandFocus(BandObject *band);
void UnwatchBandFocus(BandObject *band);

/* The activation context from the DLL's manifest 2 (common controls 6). */
void CreateModuleContext(void);
void ReleaseModuleContext(void);
void ActivateModuleContext(void);
void DeactivateModuleContext(void);

#endif
