/* Link opening: every headline, the help page and the home page end in the
   active band's browser, in its window or in a new one. */
#include "browser/browser.h"
#include "core/module.h"
#include "core/state.h"
#include "resources/resource.h"
#include <shlwapi.h>

/* A resolved headline link: as long as the browser takes (INTERNET_MAX_URL_LENGTH),
   not the settings' URL_SIZE, since feed links were never cut. */
#define LINK_URL_CHARS 2084

/* Links come from feeds that anybody can write: a script, file or other
   scheme would run in, or reach from, the user's page. Only web addresses
   are opened, the scheme compared in ASCII whatever the user's locale. */
static BOOL IsWebAddress(const WCHAR *url)
{
    static const char *const schemes[] = { "http:", "https:" };
    for (int s = 0; s < 2; s++) {
        const char *scheme = schemes[s];
        int i = 0;
        while (scheme[i] && (url[i] >= L'A' && url[i] <= L'Z' ? url[i] + 32 : url[i]) == (WCHAR)scheme[i])
            i++;
        if (!scheme[i])
            return TRUE;
    }
    return FALSE;
}

void OpenLink(const WCHAR *url, DWORD flags)
{
    /* The active band takes its browser out of the shared state when it
       leaves its site (band/site.cpp), so a released browser is never
       navigated: with no active band, links open nowhere. Other schemes
       are ignored without a word. */
    if (processBandState && processBandState->browser && url && IsWebAddress(url))
        (void)NavigateBrowser(processBandState->browser, url, flags);
}

/* "scheme:" first (RFC 3986 syntax): the link names its own place. */
static BOOL HasUrlScheme(const WCHAR *link)
{
    const WCHAR *p = link;
    while ((*p | 0x20) >= L'a' && (*p | 0x20) <= L'z')
        p++;
    if (p == link)
        return FALSE;
    while (((*p | 0x20) >= L'a' && (*p | 0x20) <= L'z') || (*p >= L'0' && *p <= L'9') ||
           *p == L'+' || *p == L'-' || *p == L'.')
        p++;
    return *p == L':';
}

HRESULT ResolveLink(const WCHAR *base, const WCHAR *link, BSTR *url)
{
    if (!url)
        return E_INVALIDARG;
    *url = NULL;
    /* An empty link would resolve to the feed itself. */
    if (!link || !*link)
        return E_FAIL;
    if (HasUrlScheme(link) || !base || !*base) {
        *url = SysAllocString(link);
        return *url ? S_OK : E_OUTOFMEMORY;
    }
    WCHAR combined[LINK_URL_CHARS];
    DWORD size = LINK_URL_CHARS;
    HRESULT hr = UrlCombineW(base, link, combined, &size, 0);
    if (hr != S_OK)
        return FAILED(hr) ? hr : E_FAIL;
    *url = SysAllocString(combined);
    return *url ? S_OK : E_OUTOFMEMORY;
}

HRESULT NavigateBrowser(IWebBrowser2 *browser, const WCHAR *url, DWORD flags)
{
    VARIANT navigateFlags, targetFrame, postData, headers;
    VariantInit(&navigateFlags);
    VariantInit(&targetFrame);
    VariantInit(&postData);
    VariantInit(&headers);

    BSTR address = SysAllocString(url);
    if (!address)
        return E_OUTOFMEMORY;
    if (flags & OPEN_IN_NEW_WINDOW) {
        /* A frame name that names no frame makes the browser open a new window. */
        WCHAR name[16];
        wsprintfW(name, L"%lx", GetTickCount());
        V_BSTR(&targetFrame) = SysAllocString(name);
        if (!V_BSTR(&targetFrame)) {
            SysFreeString(address);
            return E_OUTOFMEMORY;
        }
        V_VT(&targetFrame) = VT_BSTR;
    }
    (void)IWebBrowser2_Navigate(browser, address, &navigateFlags, &targetFrame, &postData, &headers);
    VariantClear(&targetFrame);
    SysFreeString(address);
    return S_OK;
}
