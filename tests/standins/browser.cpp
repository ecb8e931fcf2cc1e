#include "tests/standins/browser.h"
#include <olectl.h>

static StandInBrowser *FromInterface(IWebBrowser2 *iface)
{
    return (StandInBrowser *)iface;
}

static HRESULT STDMETHODCALLTYPE Browser_QueryInterface(IWebBrowser2 *iface, REFIID riid, void **ppv)
{
    StandInBrowser *browser = FromInterface(iface);
    *ppv = NULL;
    if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IDispatch) ||
        IsEqualIID(riid, IID_IWebBrowser) || IsEqualIID(riid, IID_IWebBrowserApp) ||
        IsEqualIID(riid, IID_IWebBrowser2))
        *ppv = iface;
    else if (IsEqualIID(riid, IID_IConnectionPointContainer))
        *ppv = &browser->container.iface;
    if (!*ppv)
        return E_NOINTERFACE;
    InterlockedIncrement(&browser->refs);
    return S_OK;
}

static ULONG STDMETHODCALLTYPE Browser_AddRef(IWebBrowser2 *iface)
{
    return InterlockedIncrement(&FromInterface(iface)->refs);
}

static ULONG STDMETHODCALLTYPE Browser_Release(IWebBrowser2 *iface)
{
    return InterlockedDecrement(&FromInterface(iface)->refs);
}

static VARTYPE TypeOf(const VARIANT *value)
{
    return value ? V_VT(value) : (VARTYPE)0xFFFF;
}

static HRESULT STDMETHODCALLTYPE Browser_Navigate(IWebBrowser2 *iface, BSTR url, VARIANT *flags,
                                                  VARIANT *target, VARIANT *postData, VARIANT *headers)
{
    NavigateCall call;
    call.url = url ? url : L"";
    call.flagsType = TypeOf(flags);
    call.targetType = TypeOf(target);
    if (target && V_VT(target) == VT_BSTR && V_BSTR(target))
        call.target = V_BSTR(target);
    call.postDataType = TypeOf(postData);
    call.headersType = TypeOf(headers);
    StandInBrowser *browser = FromInterface(iface);
    browser->navigations.push_back(call);
    return browser->host ? browser->host->Navigate(browser, call.url.c_str()) : S_OK;
}

/* The calls below only a browser program answers. */
static BrowserHost *HostOf(IWebBrowser2 *iface)
{
    StandInBrowser *browser = FromInterface(iface);
    if (!browser->host)
        CountUnexpectedCall();
    return browser->host;
}

static HRESULT STDMETHODCALLTYPE Browser_Stop(IWebBrowser2 *iface)
{
    return HostOf(iface) ? S_OK : E_NOTIMPL;
}

static HRESULT STDMETHODCALLTYPE Browser_Quit(IWebBrowser2 *iface)
{
    BrowserHost *host = HostOf(iface);
    return host ? host->Quit() : E_NOTIMPL;
}

static HRESULT STDMETHODCALLTYPE Browser_put_Visible(IWebBrowser2 *iface, VARIANT_BOOL visible)
{
    BrowserHost *host = HostOf(iface);
    return host ? host->SetVisible(visible != VARIANT_FALSE) : E_NOTIMPL;
}

static HRESULT STDMETHODCALLTYPE Browser_ShowBrowserBar(IWebBrowser2 *iface, VARIANT *clsid, VARIANT *show,
                                                        VARIANT *size)
{
    (void)size;
    BrowserHost *host = HostOf(iface);
    if (!host)
        return E_NOTIMPL;
    if (!clsid || V_VT(clsid) != VT_BSTR || !V_BSTR(clsid))
        return E_INVALIDARG;
    bool visible = !show || V_VT(show) != VT_BOOL || V_BOOL(show) != VARIANT_FALSE;
    return host->ShowBrowserBar(FromInterface(iface), V_BSTR(clsid), visible);
}

/* One stub for every other slot; the slot's own signature is deduced from
   the table, so each stub pops the right arguments. */
template <typename... Args>
static HRESULT STDMETHODCALLTYPE NotImplemented(IWebBrowser2 *iface, Args...)
{
    (void)iface;
    CountUnexpectedCall();
    return E_NOTIMPL;
}
#define NI NotImplemented

static const IWebBrowser2Vtbl browserVtbl = {
    Browser_QueryInterface, Browser_AddRef, Browser_Release,
    /* IDispatch */
    NI, NI, NI, NI,
    /* IWebBrowser: GoBack .. GoSearch, Navigate, Refresh, Refresh2, Stop, then get_Application .. get_Busy */
    NI, NI, NI, NI, Browser_Navigate,
    NI, NI, Browser_Stop, NI, NI, NI, NI, NI, NI, NI,
    NI, NI, NI, NI, NI, NI, NI, NI, NI, NI,
    /* IWebBrowserApp: Quit, ClientToWindow .. get_Visible, put_Visible, then get_StatusBar .. put_FullScreen */
    Browser_Quit, NI, NI, NI, NI, NI, NI, NI, NI, Browser_put_Visible,
    NI, NI, NI, NI, NI, NI, NI, NI, NI, NI,
    /* IWebBrowser2: Navigate2, QueryStatusWB, ExecWB, ShowBrowserBar, then get_ReadyState .. put_Resizable */
    NI, NI, NI, Browser_ShowBrowserBar, NI, NI, NI, NI, NI, NI,
    NI, NI, NI, NI, NI, NI, NI, NI, NI,
};

/* ---- the connection point container and its one point ---- */

static StandInBrowser *FromContainer(IConnectionPointContainer *iface)
{
    return ((StandInPart<IConnectionPointContainer> *)iface)->owner;
}

static StandInBrowser *FromPoint(IConnectionPoint *iface)
{
    return ((StandInPart<IConnectionPoint> *)iface)->owner;
}

static HRESULT STDMETHODCALLTYPE Container_QueryInterface(IConnectionPointContainer *iface, REFIID riid, void **ppv)
{
    return Browser_QueryInterface(&FromContainer(iface)->iface, riid, ppv);
}

static ULONG STDMETHODCALLTYPE Container_AddRef(IConnectionPointContainer *iface)
{
    return InterlockedIncrement(&FromContainer(iface)->refs);
}

static ULONG STDMETHODCALLTYPE Container_Release(IConnectionPointContainer *iface)
{
    return InterlockedDecrement(&FromContainer(iface)->refs);
}

static HRESULT STDMETHODCALLTYPE Container_EnumConnectionPoints(IConnectionPointContainer *iface,
                                                                IEnumConnectionPoints **points)
{
    (void)iface;
    CountUnexpectedCall();
    *points = NULL;
    return E_NOTIMPL;
}

static HRESULT STDMETHODCALLTYPE Container_FindConnectionPoint(IConnectionPointContainer *iface, REFIID riid,
                                                               IConnectionPoint **point)
{
    StandInBrowser *browser = FromContainer(iface);
    *point = NULL;
    if (!IsEqualIID(riid, DIID_DWebBrowserEvents2)) {
        CountUnexpectedCall();
        return CONNECT_E_NOCONNECTION;
    }
    *point = &browser->point.iface;
    InterlockedIncrement(&browser->refs);
    return S_OK;
}

static const IConnectionPointContainerVtbl containerVtbl = {
    Container_QueryInterface, Container_AddRef, Container_Release,
    Container_EnumConnectionPoints, Container_FindConnectionPoint,
};

static HRESULT STDMETHODCALLTYPE Point_QueryInterface(IConnectionPoint *iface, REFIID riid, void **ppv)
{
    *ppv = NULL;
    if (!IsEqualIID(riid, IID_IUnknown) && !IsEqualIID(riid, IID_IConnectionPoint))
        return E_NOINTERFACE;
    *ppv = iface;
    InterlockedIncrement(&FromPoint(iface)->refs);
    return S_OK;
}

static ULONG STDMETHODCALLTYPE Point_AddRef(IConnectionPoint *iface)
{
    return InterlockedIncrement(&FromPoint(iface)->refs);
}

static ULONG STDMETHODCALLTYPE Point_Release(IConnectionPoint *iface)
{
    return InterlockedDecrement(&FromPoint(iface)->refs);
}

static HRESULT STDMETHODCALLTYPE Point_GetConnectionInterface(IConnectionPoint *iface, IID *iid)
{
    *iid = DIID_DWebBrowserEvents2;
    (void)iface;
    return S_OK;
}

static HRESULT STDMETHODCALLTYPE Point_GetConnectionPointContainer(IConnectionPoint *iface,
                                                                   IConnectionPointContainer **container)
{
    (void)iface;
    CountUnexpectedCall();
    *container = NULL;
    return E_NOTIMPL;
}

/* As a browser does: the sink is asked for the event interface's IDispatch. */
static HRESULT STDMETHODCALLTYPE Point_Advise(IConnectionPoint *iface, IUnknown *sink, DWORD *cookie)
{
    StandInBrowser *browser = FromPoint(iface);
    IDispatch *dispatch = NULL;
    *cookie = 0;
    if (FAILED(IUnknown_QueryInterface(sink, DIID_DWebBrowserEvents2, (void **)&dispatch)))
        return CONNECT_E_CANNOTCONNECT;
    browser->sinks.push_back(dispatch);
    *cookie = (DWORD)browser->sinks.size();
    return S_OK;
}

static HRESULT STDMETHODCALLTYPE Point_Unadvise(IConnectionPoint *iface, DWORD cookie)
{
    StandInBrowser *browser = FromPoint(iface);
    if (cookie == 0 || cookie > browser->sinks.size() || !browser->sinks[cookie - 1]) {
        CountUnexpectedCall();
        return CONNECT_E_NOCONNECTION;
    }
    IDispatch *sink = browser->sinks[cookie - 1];
    browser->sinks[cookie - 1] = NULL;
    IDispatch_Release(sink);
    return S_OK;
}

static HRESULT STDMETHODCALLTYPE Point_EnumConnections(IConnectionPoint *iface, IEnumConnections **connections)
{
    (void)iface;
    CountUnexpectedCall();
    *connections = NULL;
    return E_NOTIMPL;
}

static const IConnectionPointVtbl pointVtbl = {
    Point_QueryInterface, Point_AddRef, Point_Release,
    Point_GetConnectionInterface, Point_GetConnectionPointContainer,
    Point_Advise, Point_Unadvise, Point_EnumConnections,
};

static volatile LONG unexpectedCalls;

void CountUnexpectedCall()
{
    InterlockedIncrement(&unexpectedCalls);
}

LONG UnexpectedStandInCalls()
{
    return unexpectedCalls;
}

StandInBrowser::StandInBrowser() : refs(1), host(NULL)
{
    iface.lpVtbl = const_cast<IWebBrowser2Vtbl *>(&browserVtbl);
    container.iface.lpVtbl = const_cast<IConnectionPointContainerVtbl *>(&containerVtbl);
    container.owner = this;
    point.iface.lpVtbl = const_cast<IConnectionPointVtbl *>(&pointVtbl);
    point.owner = this;
}

size_t StandInBrowser::AdvisedSinks() const
{
    size_t count = 0;
    for (IDispatch *sink : sinks)
        count += sink != NULL;
    return count;
}

HRESULT StandInBrowser::Fire(DISPID member, VARIANT *args, UINT count)
{
    HRESULT hr = S_OK;
    DISPPARAMS params = { args, NULL, count, 0 };
    /* A sink may unadvise while it handles the event; copy the list first. */
    std::vector<IDispatch *> now = sinks;
    for (IDispatch *sink : now) {
        if (!sink)
            continue;
        IDispatch_AddRef(sink);
        hr = IDispatch_Invoke(sink, member, IID_NULL, LOCALE_SYSTEM_DEFAULT, DISPATCH_METHOD, &params,
                              NULL, NULL, NULL);
        IDispatch_Release(sink);
    }
    return hr;
}

/* The arguments as a browser builds them: last argument first, the URL and
   Cancel by reference. */
HRESULT StandInBrowser::FireBeforeNavigate2(const WCHAR *url, VARIANT_BOOL *cancel)
{
    VARIANT args[7], address, empty;
    VariantInit(&address);
    VariantInit(&empty);
    V_VT(&address) = VT_BSTR;
    V_BSTR(&address) = SysAllocString(url);
    for (VARIANT &arg : args) {
        V_VT(&arg) = VT_BYREF | VT_VARIANT;
        V_VARIANTREF(&arg) = &empty;
    }
    V_VT(&args[0]) = VT_BYREF | VT_BOOL;
    V_BOOLREF(&args[0]) = cancel;
    V_VARIANTREF(&args[5]) = &address;
    V_VT(&args[6]) = VT_DISPATCH;
    V_DISPATCH(&args[6]) = (IDispatch *)&iface;
    HRESULT hr = Fire(250, args, 7);
    VariantClear(&address);
    return hr;
}

HRESULT StandInBrowser::FireWindowStateChanged(DWORD flags, DWORD mask)
{
    VARIANT args[2];
    V_VT(&args[0]) = VT_I4;
    V_I4(&args[0]) = (LONG)mask;
    V_VT(&args[1]) = VT_I4;
    V_I4(&args[1]) = (LONG)flags;
    return Fire(283, args, 2);
}
