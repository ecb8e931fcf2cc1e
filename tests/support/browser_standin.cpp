#include "tests/support/browser_standin.h"

static StandInBrowser *FromInterface(IWebBrowser2 *iface)
{
    return (StandInBrowser *)iface;
}

static HRESULT STDMETHODCALLTYPE Browser_QueryInterface(IWebBrowser2 *iface, REFIID riid, void **ppv)
{
    if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IDispatch) ||
        IsEqualIID(riid, IID_IWebBrowser) || IsEqualIID(riid, IID_IWebBrowserApp) ||
        IsEqualIID(riid, IID_IWebBrowser2)) {
        *ppv = iface;
        IWebBrowser2_AddRef(iface);
        return S_OK;
    }
    *ppv = NULL;
    return E_NOINTERFACE;
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
    FromInterface(iface)->navigations.push_back(call);
    return S_OK;
}

/* One stub for every other slot; the slot's own signature is deduced from
   the table, so each stub pops the right arguments. */
template <typename... Args>
static HRESULT STDMETHODCALLTYPE NotImplemented(IWebBrowser2 *iface, Args...)
{
    FromInterface(iface)->unexpectedCalls++;
    return E_NOTIMPL;
}
#define NI NotImplemented

static const IWebBrowser2Vtbl browserVtbl = {
    Browser_QueryInterface, Browser_AddRef, Browser_Release,
    /* IDispatch */
    NI, NI, NI, NI,
    /* IWebBrowser: GoBack .. GoSearch, Navigate, then Refresh .. get_Busy */
    NI, NI, NI, NI, Browser_Navigate,
    NI, NI, NI, NI, NI, NI, NI, NI, NI, NI,
    NI, NI, NI, NI, NI, NI, NI, NI, NI, NI,
    /* IWebBrowserApp: Quit .. put_FullScreen */
    NI, NI, NI, NI, NI, NI, NI, NI, NI, NI,
    NI, NI, NI, NI, NI, NI, NI, NI, NI, NI,
    /* IWebBrowser2: Navigate2 .. put_Resizable */
    NI, NI, NI, NI, NI, NI, NI, NI, NI, NI,
    NI, NI, NI, NI, NI, NI, NI, NI, NI,
};

StandInBrowser::StandInBrowser() : refs(1), unexpectedCalls(0)
{
    iface.lpVtbl = const_cast<IWebBrowser2Vtbl *>(&browserVtbl);
}
