/* The class factory that DllGetClassObject hands out. Each factory, and each
   LockServer lock, keeps the module loaded: the caller may still call into
   code of this module through it. */
#include "band/band.h"

struct BandClassFactory {
    const IClassFactoryVtbl *table;
    LONG refCount;
};

static LONG serverLocks;

static HRESULT STDMETHODCALLTYPE ClassFactory_QueryInterface(IClassFactory *iface, REFIID riid, void **ppv)
{
    if (ppv)
        *ppv = NULL;
    const IID *iid = GuidAddress(riid);
    /* A reference taken with nowhere to put it would never be released. */
    if (!iid || !ppv)
        return E_INVALIDARG;
    if (!IsEqualIID(*iid, IID_IUnknown) && !IsEqualIID(*iid, IID_IClassFactory))
        return E_NOINTERFACE;
    *ppv = iface;
    IClassFactory_AddRef(iface);
    return S_OK;
}

static ULONG STDMETHODCALLTYPE ClassFactory_AddRef(IClassFactory *iface)
{
    return (ULONG)++((BandClassFactory *)iface)->refCount;
}

static ULONG STDMETHODCALLTYPE ClassFactory_Release(IClassFactory *iface)
{
    BandClassFactory *factory = (BandClassFactory *)iface;
    LONG count = --factory->refCount;
    if (count > 0)
        return (ULONG)count;
    GlobalFree(factory);
    UnlockModule();
    return 0;
}

/* The outer object is not examined: the band is never aggregated. */
static HRESULT STDMETHODCALLTYPE ClassFactory_CreateInstance(IClassFactory *iface, IUnknown *outer,
                                                             REFIID riid, void **ppv)
{
    (void)iface;
    (void)outer;
    if (!ppv)
        return E_INVALIDARG;
    *ppv = NULL;
    InterfaceEntry *object;
    DWORD err = CreateBandObject(&object);
    if (err)
        return HRESULT_FROM_WIN32(err);
    /* Held across the QueryInterface, so that a refused IID frees the new
       object (and the process state it may have built) again. */
    BandObject_AddRef(object);
    HRESULT hr = BandObject_QueryInterface(object, riid, ppv);
    BandObject_Release(object);
    return hr;
}

static HRESULT STDMETHODCALLTYPE ClassFactory_LockServer(IClassFactory *iface, BOOL lock)
{
    (void)iface;
    if (lock) {
        serverLocks++;
        LockModule();
    } else if (serverLocks > 0) {
        serverLocks--;
        UnlockModule();
    }
    return S_OK;
}

static const IClassFactoryVtbl classFactoryTable = {
    ClassFactory_QueryInterface,
    ClassFactory_AddRef,
    ClassFactory_Release,
    ClassFactory_CreateInstance,
    ClassFactory_LockServer
};

HRESULT CreateBandClassFactory(void **ppv)
{
    BandClassFactory *factory = (BandClassFactory *)GlobalAlloc(GPTR, sizeof(BandClassFactory));
    if (!factory)
        return E_OUTOFMEMORY;
    LockModule();
    factory->table = &classFactoryTable;
    *ppv = factory;
    ClassFactory_AddRef((IClassFactory *)factory);
    return S_OK;
}
