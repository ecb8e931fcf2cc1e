/* String resources as UTF-16 for building URLs: the table's own text,
   whatever the code page. */
#include "browser/browser.h"
#include "core/module.h"
#include "resources/resource.h"

HRESULT LoadWideString(HMODULE module, UINT id, WCHAR *buffer, DWORD *byteLength)
{
    if (!buffer)
        return E_INVALIDARG;
    buffer[0] = 0;
    HRSRC found = FindResourceA(module, MAKEINTRESOURCEA(id / 16 + 1), (LPCSTR)RT_STRING);
    HGLOBAL loaded = found ? LoadResource(module, found) : NULL;
    const WCHAR *entry = loaded ? (const WCHAR *)LockResource(loaded) : NULL;
    if (!entry) {
        DWORD err = GetLastError();
        return err ? HRESULT_FROM_WIN32(err) : E_FAIL;
    }
    for (UINT skip = id % 16; skip > 0; skip--)
        entry += 1 + *entry;
    DWORD count = *entry;
    if (byteLength)
        *byteLength = 2 * count;
    if (count > 0) {
        CopyMemory(buffer, entry + 1, 2 * count);
        buffer[count] = 0;
    }
    return S_OK;
}

HRESULT LoadProductPageUrl(WCHAR *url, BOOL help)
{
    DWORD baseBytes = 0;
    HRESULT hr = LoadWideString(moduleHandle, IDS_HOMEPAGE_URL, url, &baseBytes);
    if (SUCCEEDED(hr) && help)
        (void)LoadWideString(moduleHandle, IDS_SUPPORT_PATH, url + baseBytes / 2, NULL);
    return hr;
}
