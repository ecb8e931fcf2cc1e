/* The band-site protocol: IObjectWithSite (siting builds the band's windows
   and event connection, leaving the site takes them down), IDeskBand with
   IDockingWindow and IOleWindow, and IInputObject. Every method runs on the
   browser's apartment thread. */
#include "band/band.h"
#include "browser/events.h"
#include "settings/dialog.h"
#include "ticker/ticker.h"
#include "toolbar/toolbar.h"
#include <commctrl.h>
#include <shlguid.h>

#define BAND_HEIGHT 28

/* The shared state forgets a band's windows and browser when that band
   leaves while active: its browser is released here, and links must not
   reach it. The rendering thread then idles until another band becomes
   active. */
static void ForgetActiveBand(const BandObject *band)
{
    BandState *state = processBandState;
    if (!state || state->bandWindow != band->bandWindow || state->browser != band->browser ||
        state->topWindow != band->browserTopWindow)
        return;
    state->bandWindow = NULL;
    state->topWindow = NULL;
    state->browser = NULL;
}

/* The window thread's half of sitedBands: the band object of each entry. */
static const BandObject *sitedBandObjects[SITED_BAND_LIMIT];

/* The top window is written last and cleared first: the rendering thread
   counts an entry only while it has one. A band beyond the limit is
   followed only through its browser's events. */
static void RecordSitedBand(const BandObject *band)
{
    if (!band->bandWindow || !band->browserTopWindow)
        return;
    for (int i = 0; i < SITED_BAND_LIMIT; i++) {
        if (sitedBandObjects[i])
            continue;
        sitedBandObjects[i] = band;
        sitedBands[i].bandWindow = band->bandWindow;
        sitedBands[i].topWindow = band->browserTopWindow;
        return;
    }
}

void ForgetSitedBand(const BandObject *band)
{
    for (int i = 0; i < SITED_BAND_LIMIT; i++) {
        if (sitedBandObjects[i] != band)
            continue;
        sitedBands[i].topWindow = NULL;
        sitedBands[i].bandWindow = NULL;
        sitedBandObjects[i] = NULL;
    }
}

/* Asked by the rendering thread, which read the entry without a lock: the
   band must still be sited, shown, and in front. */
void ActivateSitedBand(HWND bandWindow)
{
    BandState *state = processBandState;
    if (!state || !bandWindow || state->bandWindow == bandWindow)
        return;
    HWND front = GetForegroundWindow();
    for (int i = 0; i < SITED_BAND_LIMIT; i++) {
        const BandObject *band = sitedBandObjects[i];
        if (band && band->bandWindow == bandWindow && band->browserTopWindow == front &&
            IsWindowVisible(bandWindow)) {
            MakeActiveBand(band);
            return;
        }
    }
}

/* The ticker moves there at once: a band sited in the window the user
   already sees gets no other event that would tell the rendering thread. */
void MakeActiveBand(const BandObject *band)
{
    BandState *state = processBandState;
    if (!state)
        return;
    state->bandWindow = band->bandWindow;
    state->topWindow = band->browserTopWindow;
    state->browser = band->browser;
    if (state->ticker)
        SetEvent(state->ticker->targetEvent);
}

static void LeaveSite(BandObject *band)
{
    if (band->inputObjectSite) {
        ForgetSitedBand(band);
        ForgetActiveBand(band);
        DisconnectBrowserEvents(band->eventConnectionPoint, band->eventCookie);
        band->eventConnectionPoint = NULL;
        band->eventCookie = 0;
        if (band->bandWindow)
            DestroyWindow(band->bandWindow);
        band->bandWindow = NULL;
        if (band->commandWindow)
            DestroyWindow(band->commandWindow);
        band->commandWindow = NULL;
        UnsubclassSiteWindow(band->siteWindow, (UINT_PTR)band);
        band->siteWindow = NULL;
        band->browserTopWindow = NULL;
        IInputObjectSite_Release(band->inputObjectSite);
        band->inputObjectSite = NULL;
    }
    if (band->browser) {
        IWebBrowser2_Release(band->browser);
        band->browser = NULL;
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
    band->browserTopWindow = GetAncestor(band->siteWindow, GA_ROOT);
    ActivateModuleContext();
    (void)InitSettingsAndDialog(state, band->browserTopWindow, &band->commandWindow);
    CreateBandWindows(state, band->siteWindow, &band->bandWindow);
    if (band->bandWindow)
        SendMessageA(band->bandWindow, TB_SETPARENT, (WPARAM)band->commandWindow, 0);
    if (band->browser)
        (void)ConnectBrowserEvents((IUnknown *)entry, (IUnknown *)band->browser, &band->eventCookie,
                                   &band->eventConnectionPoint);
    DeactivateModuleContext();
    RecordSitedBand(band);
    MakeActiveBand(band);
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
    band->browser = FindBrowser(band->inputObjectSite);
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
    *window = OwnerOf(iface)->bandWindow;
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
    if (!band->bandWindow)
        return S_OK;
    if (show && band->siteWindow)
        LayoutBandWindows(band->siteWindow, band->bandWindow);
    ShowWindow(band->bandWindow, show ? SW_SHOW : SW_HIDE);
    return S_OK;
}

/* Only hides: leaving the site destroys the windows. */
static HRESULT STDMETHODCALLTYPE DeskBand_CloseDW(IDeskBand *iface, DWORD reserved)
{
    (void)reserved;
    BandObject *band = OwnerOf(iface);
    if (band->bandWindow)
        ShowWindow(band->bandWindow, SW_HIDE);
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
        info->ptMinSize.y = BAND_HEIGHT;
    }
    if (info->dwMask & DBIM_MAXSIZE) {
        info->ptMaxSize.x = -1;
        info->ptMaxSize.y = BAND_HEIGHT;
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

/* ---- IInputObject ---- */

static HRESULT STDMETHODCALLTYPE InputObject_UIActivateIO(IInputObject *iface, BOOL activate, MSG *msg)
{
    (void)msg;
    BandObject *band = OwnerOf(iface);
    if (activate && band->bandWindow)
        SetFocus(band->bandWindow);
    return S_OK;
}

/* Always "has the focus": the site then offers every key, and
   TranslateAcceleratorIO hands back what is not the band's. */
static HRESULT STDMETHODCALLTYPE InputObject_HasFocusIO(IInputObject *iface)
{
    (void)iface;
    return S_OK;
}

/* Keys that move the focus or carry Ctrl or Alt are the browser's (Tab, F6,
   Ctrl+L, Alt+D ...), and so is anything for a window outside the band. */
static BOOL IsBandKey(const BandObject *band, const MSG *msg)
{
    if (msg->message < WM_KEYFIRST || msg->message > WM_KEYLAST || !band->bandWindow)
        return FALSE;
    if (msg->hwnd != band->bandWindow && !IsChild(band->bandWindow, msg->hwnd))
        return FALSE;
    if (msg->message == WM_SYSKEYDOWN || msg->message == WM_SYSKEYUP || msg->message == WM_SYSCHAR)
        return FALSE;
    if (GetKeyState(VK_CONTROL) < 0 || GetKeyState(VK_MENU) < 0)
        return FALSE;
    if (msg->message == WM_KEYDOWN || msg->message == WM_KEYUP)
        return msg->wParam != VK_TAB && msg->wParam != VK_F6;
    return msg->wParam != '\t';
}

static HRESULT STDMETHODCALLTYPE InputObject_TranslateAcceleratorIO(IInputObject *iface, MSG *msg)
{
    if (!msg || !IsBandKey(OwnerOf(iface), msg))
        return S_FALSE;
    TranslateMessage(msg);
    DispatchMessageA(msg);
    return S_OK;
}

const IInputObjectVtbl inputObjectTable = {
    BAND_UNKNOWN_SLOTS(IInputObject),
    InputObject_UIActivateIO,
    InputObject_HasFocusIO,
    InputObject_TranslateAcceleratorIO,
};
