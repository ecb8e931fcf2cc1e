/* The band-site protocol: IObjectWithSite (siting builds the band's windows
   and event connection, leaving the site takes them down) and IDeskBand with
   IDockingWindow and IOleWindow; IInputObject is focus.cpp's. Every method
   runs on the browser's apartment thread. */
#include "band/band.h"
#include "core/handoff.h"
#include "core/display.h"
#include "browser/events.h"
#include "settings/dialog.h"
#include "ticker/ticker.h"
#include "toolbar/toolbar.h"
#include <commctrl.h>
#include <shlguid.h>

/* The band's height at 96 DPI. */
#define BAND_HEIGHT 28

static void LeaveSite(BandObject *band)
{
    if (band->inputObjectSite) {
        ForgetSitedBand(&band->view);
        ForgetActiveBand(&band->view);
        UnwatchBandFocus(band);
        DisconnectBrowserEvents(band->eventConnectionPoint, band->eventCookie);
        band->eventConnectionPoint = NULL;
        band->eventCookie = 0;
        if (band->view.bandWindow)
            DestroyWindow(band->view.bandWindow);
        band->view.bandWindow = NULL;
        if (band->commandWindow)
            DestroyWindow(band->commandWindow);
        band->commandWindow = NULL;
        UnsubclassSiteWindow(band->siteWindow, (UINT_PTR)band);
        band->siteWindow = NULL;
        band->view.topWindow = NULL;
        IInputObjectSite_Release(band->inputObjectSite);
        band->inputObjectSite = NULL;
    }
    if (band->view.browser) {
        IWebBrowser2_Release(band->view.browser);
        band->view.browser = NULL;
    }
}

/* A failure anywhere leaves browser null; the band is built all the same. */
static IWebBrowser2 *FindBrowser(IInputObjectSite *site)
{
    IServiceProvider *provider = NULL, *topProvider = NULL;
    IWebBrowser2 *browser = NULL;
    if (FAILED(IInputObjectSite_QueryInterface(site, IID_IServiceProvider, (void **)&provider)))
        return NULL;
    if (SUCCEEDED(IServiceProvider_QueryService(provider, SID_STopLevelBrowser, IID_IServiceProvider,
                                                (void **)&topProvider))) {
        if (FAILED(IServiceProvider_QueryService(topProvider, IID_IWebBrowserApp, IID_IWebBrowser2,
                                                 (void **)&browser)))
            browser = NULL;
        IServiceProvider_Release(topProvider);
    }
    IServiceProvider_Release(provider);
    return browser;
}

static HRESULT SiteWindowOf(IUnknown *site, HWND *window)
{
    IOleWindow *oleWindow = NULL;
    *window = NULL;
    HRESULT hr = IUnknown_QueryInterface(site, IID_IOleWindow, (void **)&oleWindow);
    if (FAILED(hr))
        return hr;
    hr = IOleWindow_GetWindow(oleWindow, window);
    IOleWindow_Release(oleWindow);
    if (SUCCEEDED(hr) && !IsWindow(*window))
        hr = E_FAIL;
    return hr;
}

static void BuildBand(BandObject *band, IObjectWithSite *entry)
{
    BandState *state = processBandState;
    SubclassSiteWindow(band->siteWindow, (UINT_PTR)band);
    band->view.topWindow = GetAncestor(band->siteWindow, GA_ROOT);
    ActivateModuleContext();
    (void)InitSettingsAndDialog(state, band->view.topWindow, &band->commandWindow);
    CreateBandWindows(state, band->siteWindow, &band->view.bandWindow);
    if (band->view.bandWindow)
        SendMessageA(band->view.bandWindow, TB_SETPARENT, (WPARAM)band->commandWindow, 0);
    WatchBandFocus(band);
    if (band->view.browser)
        ConnectBrowserEvents((IUnknown *)entry, (IUnknown *)band->view.browser, &band->eventCookie,
                                   &band->eventConnectionPoint);
    DeactivateModuleContext();
    RecordSitedBand(&band->view);
    RequestActiveBand(&band->view);
}

/* ---- IObjectWithSite ---- */

static HRESULT STDMETHODCALLTYPE ObjectWithSite_SetSite(IObjectWithSite *iface, IUnknown *site)
{
    BandObject *band = OwnerOf(iface);
    /* A new site while sited first leaves the old one, so nothing is
       subclassed twice and no reference of the old site is lost. */
    LeaveSite(band);
    if (!site)
        return S_OK;
    HRESULT hr = IUnknown_QueryInterface(site, IID_IInputObjectSite, (void **)&band->inputObjectSite);
    if (FAILED(hr)) {
        band->inputObjectSite = NULL;
        return hr;
    }
    band->view.browser = FindBrowser(band->inputObjectSite);
    HWND siteWindow;
    hr = SiteWindowOf(site, &siteWindow);
    if (FAILED(hr))
        return hr;
    band->siteWindow = siteWindow;
    BuildBand(band, iface);
    return S_OK;
}

static HRESULT STDMETHODCALLTYPE ObjectWithSite_GetSite(IObjectWithSite *iface, REFIID riid, void **ppvSite)
{
    BandObject *band = OwnerOf(iface);
    if (!band->inputObjectSite)
        return E_FAIL;
    return IInputObjectSite_QueryInterface(band->inputObjectSite, riid, ppvSite);
}

const IObjectWithSiteVtbl objectWithSiteTable = {
    BAND_UNKNOWN_SLOTS(IObjectWithSite),
    ObjectWithSite_SetSite,
    ObjectWithSite_GetSite,
};

/* ---- IDeskBand, with IDockingWindow and IOleWindow ---- */

static HRESULT STDMETHODCALLTYPE DeskBand_GetWindow(IDeskBand *iface, HWND *window)
{
    if (!window)
        return E_INVALIDARG;
    *window = OwnerOf(iface)->view.bandWindow;
    return S_OK;
}

static HRESULT STDMETHODCALLTYPE DeskBand_ContextSensitiveHelp(IDeskBand *iface, BOOL enter)
{
    (void)iface;
    (void)enter;
    return E_NOTIMPL;
}

/* Laid out before it shows: until the site window's first resize the ticker
   keeps its creation width and would cover the combo box. */
static HRESULT STDMETHODCALLTYPE DeskBand_ShowDW(IDeskBand *iface, BOOL show)
{
    BandObject *band = OwnerOf(iface);
    if (!band->view.bandWindow)
        return S_OK;
    if (show && band->siteWindow)
        LayoutBandWindows(band->siteWindow, band->view.bandWindow);
    ShowWindow(band->view.bandWindow, show ? SW_SHOW : SW_HIDE);
    return S_OK;
}

/* Only hides: leaving the site destroys the windows. */
static HRESULT STDMETHODCALLTYPE DeskBand_CloseDW(IDeskBand *iface, DWORD reserved)
{
    (void)reserved;
    BandObject *band = OwnerOf(iface);
    if (band->view.bandWindow)
        ShowWindow(band->view.bandWindow, SW_HIDE);
    return S_OK;
}

static HRESULT STDMETHODCALLTYPE DeskBand_ResizeBorderDW(IDeskBand *iface, LPCRECT border, IUnknown *site,
                                                         BOOL reserved)
{
    (void)iface;
    (void)border;
    (void)site;
    (void)reserved;
    return E_NOTIMPL;
}

/* The minimum width is deliberately the whole row, not the band's real width. */
static HRESULT STDMETHODCALLTYPE DeskBand_GetBandInfo(IDeskBand *iface, DWORD bandId, DWORD viewMode,
                                                      DESKBANDINFO *info)
{
    (void)iface;
    (void)bandId;
    (void)viewMode;
    if (!info)
        return E_INVALIDARG;
    if (info->dwMask & DBIM_MINSIZE) {
        info->ptMinSize.x = 4096;
        info->ptMinSize.y = ScaleToDpi(BAND_HEIGHT);
    }
    if (info->dwMask & DBIM_MAXSIZE) {
        info->ptMaxSize.x = -1;
        info->ptMaxSize.y = ScaleToDpi(BAND_HEIGHT);
    }
    if (info->dwMask & DBIM_INTEGRAL) {
        info->ptIntegral.x = 1;
        info->ptIntegral.y = 1;
    }
    if (info->dwMask & DBIM_ACTUAL) {
        info->ptActual.x = 0;
        info->ptActual.y = 0;
    }
    if (info->dwMask & DBIM_TITLE)
        info->wszTitle[0] = 0;
    if (info->dwMask & DBIM_MODEFLAGS)
        info->dwModeFlags |= DBIMF_VARIABLEHEIGHT;
    /* The site paints its own background. */
    info->dwMask &= ~(DWORD)DBIM_BKCOLOR;
    return S_OK;
}

const IDeskBandVtbl deskBandTable = {
    BAND_UNKNOWN_SLOTS(IDeskBand),
    DeskBand_GetWindow,
    DeskBand_ContextSensitiveHelp,
    DeskBand_ShowDW,
    DeskBand_CloseDW,
    DeskBand_ResizeBorderDW,
    DeskBand_GetBandInfo,
};

/* ---- DWebBrowserEvents2 ---- */

/* The event sink's methods live with the browser integration; this table
   joins them to the band object's identity. */
const IDispatchVtbl eventSinkTable = {
    BAND_UNKNOWN_SLOTS(IDispatch),
    EventSink_GetTypeInfoCount,
    EventSink_GetTypeInfo,
    EventSink_GetIDsOfNames,
    EventSink_Invoke,
};
