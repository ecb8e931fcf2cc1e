/* The browser event sink: every band object listens to DWebBrowserEvents2 of
   the browser that hosts it. BeforeNavigate2 to the hidden about page shows
   the version box and cancels the navigation; WindowStateChanged to visible
   makes the band the active one, and the ticker follows it. Everything runs
   on the browser's window thread, where the browser fires its events; the
   rendering thread reads the BandState fields that RequestActiveBand writes
   after the target event is set. The sink knows its band only through the
   view its interface entry points at (SinkEntry); the band object joins
   these methods to its identity in its own table. */
#include "browser/events.h"
#include "core/module.h"
#include "core/handoff.h"
#include "resources/resource.h"
#include <exdispid.h>

#define ABOUT_TEXT_SIZE     128
#define PRODUCT_VERSION     2

/* Bit 0 of the window state flags (OLECMDIDF_WINDOWSTATE_USERVISIBLE). */
#define WINDOW_USER_VISIBLE 0x1

/* Events that are answered and do nothing; none of them changes a
   by-reference argument. */
static const DISPID ignoredEvents[] = {
    DISPID_STATUSTEXTCHANGE, DISPID_DOWNLOADCOMPLETE, DISPID_COMMANDSTATECHANGE, DISPID_DOWNLOADBEGIN,
    DISPID_PROGRESSCHANGE, DISPID_PROPERTYCHANGE, DISPID_TITLECHANGE,
    225, 226,   /* PrintTemplateInstantiation, PrintTemplateTeardown */
    DISPID_NEWWINDOW2, DISPID_NAVIGATECOMPLETE2, DISPID_ONQUIT, DISPID_ONVISIBLE, DISPID_ONTOOLBAR,
    DISPID_ONMENUBAR, DISPID_ONSTATUSBAR, DISPID_ONFULLSCREEN, DISPID_DOCUMENTCOMPLETE, DISPID_ONTHEATERMODE,
    262, 263, 264, 265, 266, 267, 268, 269, 270, 271, 272,  /* WindowSetResizable .. PrivacyImpactedStateChange */
};

void ConnectBrowserEvents(IUnknown *band, IUnknown *browser, DWORD *cookie, IConnectionPoint **connectionPoint)
{
    IUnknown *sink = NULL;
    IConnectionPointContainer *container = NULL;
    if (FAILED(IUnknown_QueryInterface(band, DIID_DWebBrowserEvents2, (void **)&sink)))
        return;
    if (FAILED(IUnknown_QueryInterface(browser, IID_IConnectionPointContainer, (void **)&container))) {
        IUnknown_Release(sink);
        return;
    }
    if (SUCCEEDED(IConnectionPointContainer_FindConnectionPoint(container, DIID_DWebBrowserEvents2,
                                                                connectionPoint)))
        (void)IConnectionPoint_Advise(*connectionPoint, sink, cookie);
    else
        *connectionPoint = NULL;
    IConnectionPointContainer_Release(container);
    IUnknown_Release(sink);
}

void DisconnectBrowserEvents(IConnectionPoint *connectionPoint, DWORD cookie)
{
    if (!connectionPoint)
        return;
    (void)IConnectionPoint_Unadvise(connectionPoint, cookie);
    IConnectionPoint_Release(connectionPoint);
}

/* The event's argument number index (from 0, in the event's own order), or
   null when the call does not carry it. */
static VARIANT *Argument(const DISPPARAMS *params, UINT count, UINT index)
{
    if (!params || !params->rgvarg || params->cArgs != count)
        return NULL;
    return &params->rgvarg[count - 1 - index];
}

static void ShowAboutBox(const BandView *band)
{
    char text[ABOUT_TEXT_SIZE];
    int length = LoadStringA(moduleHandle, IDS_ABOUT_TEXT, text, ABOUT_TEXT_SIZE);
    if (length < 0 || length > ABOUT_TEXT_SIZE - 8)
        length = 0;
    wsprintfA(text + length, "%d", PRODUCT_VERSION);
    /* Owned by the browser window it belongs to: in front of it, and modal to it. */
    MessageBoxA(band->topWindow, text, NULL, MB_OK);
}

/* BeforeNavigate2 (pDisp, URL, Flags, TargetFrameName, PostData, Headers, Cancel). */
static void OnBeforeNavigate2(const BandView *band, const DISPPARAMS *params)
{
    VARIANT *url = Argument(params, 7, 1);
    VARIANT *cancel = Argument(params, 7, 6);
    if (!url || !cancel || V_VT(url) != (VT_BYREF | VT_VARIANT) || !V_VARIANTREF(url) ||
        V_VT(cancel) != (VT_BYREF | VT_BOOL) || !V_BOOLREF(cancel))
        return;
    const VARIANT *address = V_VARIANTREF(url);
    if (V_VT(address) != VT_BSTR || !V_BSTR(address))
        return;
    char text[URL_SIZE];
    if (!WideCharToMultiByte(CP_ACP, 0, V_BSTR(address), -1, text, URL_SIZE, NULL, NULL))
        return;     /* longer than any about page */
    char about[ABOUT_TEXT_SIZE];
    if (!LoadStringA(moduleHandle, IDS_ABOUT_URL, about, ABOUT_TEXT_SIZE) || lstrcmpiA(text, about) != 0)
        return;
    ShowAboutBox(band);
    *V_BOOLREF(cancel) = VARIANT_TRUE;
}

static BOOL ReadFlags(const VARIANT *value, DWORD *flags)
{
    if (!value || (V_VT(value) != VT_I4 && V_VT(value) != VT_UI4))
        return FALSE;
    *flags = (DWORD)V_I4(value);
    return TRUE;
}

/* WindowStateChanged (dwWindowStateFlags, dwValidFlagsMask). */
static void OnWindowStateChanged(const BandView *band, const DISPPARAMS *params)
{
    DWORD flags, mask;
    if (!ReadFlags(Argument(params, 2, 0), &flags) || !ReadFlags(Argument(params, 2, 1), &mask))
        return;
    if (!(flags & mask & WINDOW_USER_VISIBLE))
        return;
    RequestActiveBand(band);
}

/* ---- IDispatch (DWebBrowserEvents2) ---- */

HRESULT STDMETHODCALLTYPE EventSink_GetTypeInfoCount(IDispatch *iface, UINT *count)
{
    (void)iface;
    (void)count;
    return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE EventSink_GetTypeInfo(IDispatch *iface, UINT index, LCID lcid, ITypeInfo **info)
{
    (void)iface;
    (void)index;
    (void)lcid;
    (void)info;
    return E_NOTIMPL;
}

/* No name maps to a DISPID; the browser calls by DISPID. */
HRESULT STDMETHODCALLTYPE EventSink_GetIDsOfNames(IDispatch *iface, REFIID riid, LPOLESTR *names,
                                                         UINT count, LCID lcid, DISPID *ids)
{
    (void)iface;
    (void)riid;
    (void)names;
    (void)count;
    (void)lcid;
    (void)ids;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE EventSink_Invoke(IDispatch *iface, DISPID member, REFIID riid, LCID lcid,
                                                  WORD flags, DISPPARAMS *params, VARIANT *result,
                                                  EXCEPINFO *exception, UINT *argumentError)
{
    (void)riid;
    (void)lcid;
    (void)flags;
    (void)result;
    (void)exception;
    (void)argumentError;
    const BandView *band = ((const SinkEntry *)iface)->view;
    if (member == DISPID_BEFORENAVIGATE2) {
        OnBeforeNavigate2(band, params);
        return S_OK;
    }
    if (member == DISPID_WINDOWSTATECHANGED) {
        OnWindowStateChanged(band, params);
        return S_OK;
    }
    for (size_t i = 0; i < sizeof(ignoredEvents) / sizeof(ignoredEvents[0]); i++)
        if (ignoredEvents[i] == member)
            return S_OK;
    return DISP_E_MEMBERNOTFOUND;
}
