/* Opening links in the active band's browser, and string resources as
   UTF-16 for building URLs. Runs on the browser's apartment thread. */
#ifndef VELMORA_BROWSER_H
#define VELMORA_BROWSER_H

#include <windows.h>
#include <exdisp.h>

/* Bit 0 of the navigation flags: open in a new browser window. */
#define OPEN_IN_NEW_WINDOW 0x1

void OpenLink(const WCHAR *url, DWORD flags);
/* A feed's link resolved against the URL of the document it came from;
   an absolute link is kept as written. */
HRESULT ResolveLink(const WCHAR *base, const WCHAR *link, BSTR *url);
HRESULT NavigateBrowser(IWebBrowser2 *browser, const WCHAR *url, DWORD flags);
HRESULT ShowBandInNewBrowser(void);
HRESULT LoadWideString(HMODULE module, UINT id, WCHAR *buffer, DWORD *byteLength);
/* The product's site into url (URL_SIZE units), with the support path
   behind it for the help page. */
HRESULT LoadProductPageUrl(WCHAR *url, BOOL help);

#endif
