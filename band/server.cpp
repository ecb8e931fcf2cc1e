/* The DLL's entry point and its COM exports. */
#include "band/band.h"

BOOL WINAPI DllMain(HINSTANCE module, DWORD reason, void *reserved)
{
    (void)reserved;
    if (reason == DLL_PROCESS_ATTACH)
        moduleHandle = module;
    return TRUE;
}

/* Any other class, and any interface but IClassFactory (IUnknown too), is
   refused with E_FAIL rather than CLASS_E_CLASSNOTAVAILABLE, as the band
   always has. *ppv is left alone on every failure. */
STDAPI DllGetClassObject(REFCLSID rclsid, REFIID riid, void **ppv)
{
    const CLSID *clsid = GuidAddress(rclsid);
    const IID *iid = GuidAddress(riid);
    if (!ppv || !clsid)
        return E_INVALIDARG;
    if (!IsEqualCLSID(*clsid, CLSID_VelmoraBand))
        return E_FAIL;
    if (!iid)
        return E_INVALIDARG;
    if (!IsEqualIID(*iid, IID_IClassFactory))
        return E_FAIL;
    return CreateBandClassFactory(ppv);
}

STDAPI DllCanUnloadNow(void)
{
    return CanUnloadModule();
}
