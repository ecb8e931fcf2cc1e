#include "tests/standins/site.h"
#include <shlguid.h>

static const char FRAME_CLASS[] = "velmora stand-in browser";
static const char SITE_CLASS[] = "velmora stand-in site";
static const int BAND_HEIGHT = 28;

/* Places the band's window as a browser's band site does: across the top. */
static LRESULT CALLBACK SiteWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_SIZE)
        for (HWND child = GetWindow(window, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT))
            MoveWindow(child, 0, 0, LOWORD(lParam), BAND_HEIGHT, TRUE);
    return DefWindowProcA(window, message, wParam, lParam);
}

static void RegisterClasses()
{
    WNDCLASSA windowClass = {};
    windowClass.hInstance = GetModuleHandleA(NULL);
    windowClass.hCursor = LoadCursor(NULL, IDC_ARROW);
    windowClass.hbrBackground = (HBRUSH)GetStockObject(GRAY_BRUSH);
    windowClass.lpfnWndProc = DefWindowProcA;
    windowClass.lpszClassName = FRAME_CLASS;
    RegisterClassA(&windowClass);
    windowClass.lpfnWndProc = SiteWindowProc;
    windowClass.lpszClassName = SITE_CLASS;
    RegisterClassA(&windowClass);
}

template <class Interface> static StandInSite *Owner(Interface *iface)
{
    return ((SitePart<Interface> *)iface)->owner;
}

/* ---- one identity for the three interfaces ---- */

static HRESULT Query(StandInSite *site, REFIID riid, void **ppv)
{
    *ppv = NULL;
    if (IsEqualIID(riid, IID_IUnknown) ||
        (IsEqualIID(riid, IID_IInputObjectSite) && (site->offers & SITE_INPUT_OBJECT_SITE)))
        *ppv = &site->inputSite.iface;
    else if (IsEqualIID(riid, IID_IOleWindow) && (site->offers & SITE_OLE_WINDOW))
        *ppv = &site->oleWindow.iface;
    else if (IsEqualIID(riid, IID_IServiceProvider))
        *ppv = &site->services.iface;
    if (!*ppv)
        return E_NOINTERFACE;
    site->refs++;
    return S_OK;
}

template <class Interface> static HRESULT STDMETHODCALLTYPE Site_QueryInterface(Interface *iface, REFIID riid, void **ppv)
{
    return Query(Owner(iface), riid, ppv);
}

template <class Interface> static ULONG STDMETHODCALLTYPE Site_AddRef(Interface *iface)
{
    return (ULONG)++Owner(iface)->refs;
}

template <class Interface> static ULONG STDMETHODCALLTYPE Site_Release(Interface *iface)
{
    return (ULONG)--Owner(iface)->refs;
}

#define SITE_UNKNOWN(Interface) Site_QueryInterface<Interface>, Site_AddRef<Interface>, Site_Release<Interface>

/* As a browser does: the band that says it has the focus is offered the
   keys first. */
static HRESULT STDMETHODCALLTYPE InputSite_OnFocusChangeIS(IInputObjectSite *iface, IUnknown *object, BOOL focus)
{
    StandInSite *site = Owner(iface);
    if (!object)
        CountUnexpectedCall();
    site->bandFocused = focus != FALSE;
    site->focusChanges++;
    return S_OK;
}

static const IInputObjectSiteVtbl inputSiteVtbl = {
    SITE_UNKNOWN(IInputObjectSite),
    InputSite_OnFocusChangeIS,
};

static HRESULT STDMETHODCALLTYPE OleWindow_GetWindow(IOleWindow *iface, HWND *window)
{
    *window = Owner(iface)->window;
    return S_OK;
}

static HRESULT STDMETHODCALLTYPE OleWindow_ContextSensitiveHelp(IOleWindow *iface, BOOL enter)
{
    (void)enter;
    (void)iface;
    CountUnexpectedCall();
    return E_NOTIMPL;
}

static const IOleWindowVtbl oleWindowVtbl = {
    SITE_UNKNOWN(IOleWindow),
    OleWindow_GetWindow,
    OleWindow_ContextSensitiveHelp,
};

/* The top-level browser's provider is the site's own; it hands out the browser. */
static HRESULT STDMETHODCALLTYPE Services_QueryService(IServiceProvider *iface, REFGUID service, REFIID riid,
                                                       void **ppv)
{
    StandInSite *site = Owner(iface);
    *ppv = NULL;
    if (IsEqualGUID(service, SID_STopLevelBrowser) && IsEqualIID(riid, IID_IServiceProvider))
        return Query(site, riid, ppv);
    if (IsEqualGUID(service, IID_IWebBrowserApp) && IsEqualIID(riid, IID_IWebBrowser2)) {
        if (!(site->offers & SITE_BROWSER) || !site->browser)
            return E_NOINTERFACE;
        return IWebBrowser2_QueryInterface(site->browser, riid, ppv);
    }
    CountUnexpectedCall();
    return E_NOINTERFACE;
}

static const IServiceProviderVtbl servicesVtbl = {
    SITE_UNKNOWN(IServiceProvider),
    Services_QueryService,
};

void StandInSite::Wire()
{
    inputSite.iface.lpVtbl = const_cast<IInputObjectSiteVtbl *>(&inputSiteVtbl);
    inputSite.owner = this;
    oleWindow.iface.lpVtbl = const_cast<IOleWindowVtbl *>(&oleWindowVtbl);
    oleWindow.owner = this;
    services.iface.lpVtbl = const_cast<IServiceProviderVtbl *>(&servicesVtbl);
    services.owner = this;
    RegisterClasses();
}

StandInSite::StandInSite(IWebBrowser2 *browser_, int x, int y, DWORD offers_, int width)
    : browser(browser_), offers(offers_), refs(0), focusChanges(0), bandFocused(false)
{
    Wire();
    frame = CreateWindowExA(0, FRAME_CLASS, "velmora stand-in browser", WS_POPUP | WS_VISIBLE | WS_CLIPCHILDREN,
                            x, y, width, 60, NULL, NULL, GetModuleHandleA(NULL), NULL);
    window = CreateWindowExA(0, SITE_CLASS, NULL, WS_CHILD | WS_VISIBLE | WS_CLIPCHILDREN, 0, 0, width, 40,
                             frame, NULL, GetModuleHandleA(NULL), NULL);
}

StandInSite::StandInSite(IWebBrowser2 *browser_, HWND parent)
    : browser(browser_), offers(SITE_ALL), refs(0), focusChanges(0), bandFocused(false), frame(NULL)
{
    Wire();
    window = CreateWindowExA(0, SITE_CLASS, NULL, WS_CHILD | WS_CLIPCHILDREN, 0, 0, 0, 0, parent, NULL,
                             GetModuleHandleA(NULL), NULL);
}

StandInSite::~StandInSite()
{
    DestroyWindow(frame ? frame : window);
}

HRESULT StandInSite::Host(IUnknown *band)
{
    IObjectWithSite *withSite = NULL;
    IDeskBand *deskBand = NULL;
    HRESULT hr = IUnknown_QueryInterface(band, IID_IObjectWithSite, (void **)&withSite);
    if (FAILED(hr))
        return hr;
    hr = IObjectWithSite_SetSite(withSite, site());
    IObjectWithSite_Release(withSite);
    if (FAILED(hr))
        return hr;
    hr = IUnknown_QueryInterface(band, IID_IDeskBand, (void **)&deskBand);
    if (FAILED(hr))
        return hr;
    HWND bandWindow = NULL;
    IDeskBand_GetWindow(deskBand, &bandWindow);
    RECT client;
    GetClientRect(window, &client);
    if (bandWindow)
        MoveWindow(bandWindow, 0, 0, client.right, BAND_HEIGHT, FALSE);
    hr = IDeskBand_ShowDW(deskBand, TRUE);
    IDeskBand_Release(deskBand);
    return hr;
}

void StandInSite::Resize(int width)
{
    RECT rect;
    GetWindowRect(frame, &rect);
    MoveWindow(frame, rect.left, rect.top, width, rect.bottom - rect.top, TRUE);
    MoveWindow(window, 0, 0, width, 40, TRUE);
}
