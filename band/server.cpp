/* The DLL's entry point and its exports: the class object, unloading and
   registration. They live here, not in the core library, so the linker
   always has them to export. */
#include "band/band.h"
#include "browser/browser.h"

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

static void ShowSystemText(HRESULT hr)
{
    char text[1024] = "";
    FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM, NULL, (DWORD)hr, 0, text, sizeof(text), NULL);
    MessageBoxA(NULL, text, NULL, MB_ICONERROR | MB_TOPMOST);
}

/* A registration that could not write the class or the toolbar entry says
   so, and opens no browser: a user without rights to those keys must not be
   told that the toolbar was registered. The product values and the category
   stay best-effort. */
STDAPI DllRegisterServer(void)
{
    HRESULT init = CoInitialize(NULL);
    DWORD err = WriteRegistration();
    (void)RegisterBandCategory();
    HRESULT hr = S_OK;
    if (err) {
        hr = HRESULT_FROM_WIN32(err);
    } else {
        HRESULT shown = ShowBandInNewBrowser();
        if (FAILED(shown))
            ShowSystemText(shown);
    }
    if (SUCCEEDED(init))
        CoUninitialize();
    return hr;
}

/* The uninstaller removes the entries; unregistering changes nothing. */
STDAPI DllUnregisterServer(void)
{
    return S_OK;
}
