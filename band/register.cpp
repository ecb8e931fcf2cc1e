/* Registration: the COM class, the browser's toolbar entry, the product's
   installation id and date and the info-band category, then a browser
   window that shows the toolbar. Runs on the caller's thread (regsvr32 or
   an installer); no band object is involved. */
#include "band/band.h"
#include "browser/browser.h"
#include "resources/resource.h"
#include <comcat.h>
#include <shlguid.h>

#define REGISTRY_TEXT_SIZE  260
#define GUID_TEXT_BYTES     39

static const char CLASS_KEY[] = "CLSID\\" VELMORA_CLSID_TEXT;
static const char TOOLBAR_KEY[] = "Software\\Microsoft\\Internet Explorer\\Toolbar";
static const char TOOLBAR_VALUE[] = VELMORA_CLSID_TEXT;

static LONG SetText(HKEY key, const char *name, const char *text)
{
    return RegSetValueExA(key, name, 0, REG_SZ, (const BYTE *)text, (DWORD)lstrlenA(text) + 1);
}

/* A module path that fills its buffer is cut, and would name another file. */
static DWORD WriteServerKey(HKEY classKey)
{
    char path[REGISTRY_TEXT_SIZE];
    DWORD n = GetModuleFileNameA(moduleHandle, path, sizeof(path));
    if (n == 0 || n >= sizeof(path))
        return n == 0 ? GetLastError() : ERROR_FILENAME_EXCED_RANGE;
    HKEY server;
    LONG err = RegCreateKeyExA(classKey, "InprocServer32", 0, NULL, 0, KEY_ALL_ACCESS, NULL, &server, NULL);
    if (err != ERROR_SUCCESS)
        return (DWORD)err;
    err = SetText(server, NULL, path);
    if (err == ERROR_SUCCESS)
        err = SetText(server, "ThreadingModel", "Apartment");
    RegCloseKey(server);
    return (DWORD)err;
}

static DWORD WriteClassKey(void)
{
    HKEY classKey;
    LONG err = RegCreateKeyExA(HKEY_CLASSES_ROOT, CLASS_KEY, 0, NULL, 0, KEY_ALL_ACCESS, NULL, &classKey, NULL);
    if (err != ERROR_SUCCESS)
        return (DWORD)err;
    char name[REGISTRY_TEXT_SIZE];
    LoadStringA(moduleHandle, IDS_PRODUCT_NAME, name, sizeof(name));
    err = SetText(classKey, NULL, name);
    DWORD serverErr = WriteServerKey(classKey);
    RegCloseKey(classKey);
    return err != ERROR_SUCCESS ? (DWORD)err : serverErr;
}

/* The browser's key is opened, never created: without it there is no browser. */
static DWORD WriteToolbarValue(void)
{
    HKEY toolbar;
    LONG err = RegOpenKeyExA(HKEY_LOCAL_MACHINE, TOOLBAR_KEY, 0, KEY_WRITE, &toolbar);
    if (err != ERROR_SUCCESS)
        return (DWORD)err;
    err = SetText(toolbar, TOOLBAR_VALUE, "");
    RegCloseKey(toolbar);
    return (DWORD)err;
}

/* The installation's id and first date are written once and then kept. */
static void WriteProductValues(void)
{
    char keyName[REGISTRY_TEXT_SIZE];
    LoadStringA(moduleHandle, IDS_PRODUCT_KEY, keyName, sizeof(keyName));
    HKEY product;
    if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, keyName, 0, NULL, 0, KEY_QUERY_VALUE | KEY_SET_VALUE, NULL,
                        &product, NULL) != ERROR_SUCCESS)
        return;
    GUID id;
    WCHAR wideId[GUID_TEXT_BYTES];
    char textId[GUID_TEXT_BYTES];
    BYTE existing[GUID_TEXT_BYTES];
    DWORD size = sizeof(existing);
    if (RegQueryValueExA(product, "RegisterGUID", NULL, NULL, existing, &size) != ERROR_SUCCESS &&
        SUCCEEDED(CoCreateGuid(&id)) && StringFromGUID2(id, wideId, GUID_TEXT_BYTES) &&
        WideCharToMultiByte(CP_ACP, 0, wideId, -1, textId, sizeof(textId), NULL, NULL))
        RegSetValueExA(product, "RegisterGUID", 0, REG_SZ, (const BYTE *)textId, GUID_TEXT_BYTES);
    SYSTEMTIME installed;
    size = sizeof(installed);
    if (RegQueryValueExA(product, "InstallDate", NULL, NULL, (BYTE *)&installed, &size) != ERROR_SUCCESS) {
        GetLocalTime(&installed);
        RegSetValueExA(product, "InstallDate", 0, REG_BINARY, (const BYTE *)&installed, sizeof(installed));
    }
    RegCloseKey(product);
}

DWORD WriteRegistration(void)
{
    DWORD err = WriteClassKey();
    if (err)
        return err;
    err = WriteToolbarValue();
    if (err)
        return err;
    WriteProductValues();
    return 0;
}

HRESULT RegisterBandCategory(void)
{
    ICatRegister *categories = NULL;
    HRESULT hr = CoCreateInstance(CLSID_StdComponentCategoriesMgr, NULL, CLSCTX_INPROC_SERVER, IID_ICatRegister,
                                  (void **)&categories);
    if (FAILED(hr))
        return hr;
    CATID infoBand = CATID_InfoBand;
    (void)ICatRegister_RegisterClassImplCategories(categories, CLSID_VelmoraBand, 1, &infoBand);
    ICatRegister_Release(categories);
    return S_OK;
}
