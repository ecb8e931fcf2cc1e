/* The stand-in browser program: the local server of the browser's
   application class in the test and demo prefixes, where Wine's own browser
   cannot show browser bars. A frame with an address bar, one band site per
   tab and two tabs; ShowBrowserBar creates the band from its CLSID through
   the registry, sites it in every tab and shows it. Everything runs on the
   one apartment thread. The exit code is 0 when every band's last Release
   gave 0 and the band's DLL could unload, 1 when a band was still held,
   2 when the DLL stayed busy. Never installed; not part of the product. */
#include "tests/standins/site.h"
#include <commctrl.h>

static const char FRAME_CLASS[] = "velmora stand-in browser frame";
static const int TAB_COUNT = 2;
static const int ADDRESS_ID = 100, TABS_ID = 101, PAGE_ID = 102;
static const int BAR_TOP = 34, BAR_HEIGHT = 32, TAB_STRIP_HEIGHT = 26, TAB_WIDTH = 160;
enum { EXIT_CLEAN = 0, EXIT_BAND_HELD = 1, EXIT_DLL_BUSY = 2 };

struct Tab {
    StandInBrowser browser;
    StandInSite *site;
    IUnknown *band;
    std::wstring url;
};

struct BrowserProgram : BrowserHost {
    HWND frame, address, tabs, page;
    Tab tab[TAB_COUNT];
    int current;
    int exitCode;

    HRESULT Navigate(StandInBrowser *browser, const WCHAR *url) override;
    HRESULT ShowBrowserBar(StandInBrowser *browser, const WCHAR *clsid, bool show) override;
    HRESULT SetVisible(bool visible) override;
    HRESULT Quit() override;
};

static BrowserProgram program;

static Tab *TabOf(StandInBrowser *browser)
{
    for (Tab &tab : program.tab)
        if (&tab.browser == browser)
            return &tab;
    return &program.tab[0];
}

static void ShowAddress(const Tab *tab)
{
    SetWindowTextW(program.address, tab->url.c_str());
    SetWindowTextW(program.page, tab->url.c_str());
}

/* The two events after a navigation: the URL by reference, the browser last. */
static void FireCompletion(StandInBrowser *browser, DISPID member, const WCHAR *url)
{
    VARIANT address, args[2];
    V_VT(&address) = VT_BSTR;
    V_BSTR(&address) = SysAllocString(url);
    V_VT(&args[0]) = VT_BYREF | VT_VARIANT;
    V_VARIANTREF(&args[0]) = &address;
    V_VT(&args[1]) = VT_DISPATCH;
    V_DISPATCH(&args[1]) = (IDispatch *)&browser->iface;
    (void)browser->Fire(member, args, 2);
    VariantClear(&address);
}

/* Nothing is fetched: the page shows the address the navigation reached. */
HRESULT BrowserProgram::Navigate(StandInBrowser *browser, const WCHAR *url)
{
    Tab *target = TabOf(browser);
    VARIANT_BOOL cancel = VARIANT_FALSE;
    (void)browser->FireBeforeNavigate2(url, &cancel);
    if (cancel == VARIANT_FALSE) {
        target->url = url;
        FireCompletion(browser, 252, url);     /* NavigateComplete2 */
        FireCompletion(browser, 259, url);     /* DocumentComplete */
    }
    if (target == &tab[current])
        ShowAddress(target);
    return S_OK;
}

/* As a browser shows a toolbar: one band object per tab, created through
   the registry; the current tab's band is sited last. */
HRESULT BrowserProgram::ShowBrowserBar(StandInBrowser *browser, const WCHAR *clsidText, bool show)
{
    (void)browser;
    CLSID clsid;
    HRESULT hr = CLSIDFromString(clsidText, &clsid);
    if (FAILED(hr))
        return hr;
    for (int i = 1; i <= TAB_COUNT; i++) {
        Tab &each = tab[(current + i) % TAB_COUNT];
        if (!show) {
            if (each.band)
                ShowWindow(each.site->window, SW_HIDE);
            continue;
        }
        if (!each.band) {
            hr = CoCreateInstance(clsid, NULL, CLSCTX_INPROC_SERVER, IID_IUnknown, (void **)&each.band);
            if (FAILED(hr))
                return hr;
            hr = each.site->Host(each.band);
            if (FAILED(hr))
                return hr;
        }
    }
    /* No browser event: a browser tells its sinks of a tab switch, a
       minimise or a restore, never of a bar it shows. */
    if (show)
        ShowWindow(tab[current].site->window, SW_SHOW);
    return S_OK;
}

HRESULT BrowserProgram::SetVisible(bool visible)
{
    /* A window the caller opens for the user comes to the front. */
    ShowWindow(frame, visible ? SW_SHOW : SW_HIDE);
    if (visible)
        SetForegroundWindow(frame);
    return S_OK;
}

HRESULT BrowserProgram::Quit()
{
    PostMessageA(frame, WM_CLOSE, 0, 0);
    return S_OK;
}

/* ---- the class object: one browser per process, as a new window ---- */

static HRESULT STDMETHODCALLTYPE Factory_QueryInterface(IClassFactory *iface, REFIID riid, void **ppv)
{
    *ppv = NULL;
    if (!IsEqualIID(riid, IID_IUnknown) && !IsEqualIID(riid, IID_IClassFactory))
        return E_NOINTERFACE;
    *ppv = iface;
    return S_OK;
}

/* The factory is static and lives as long as the process. */
static ULONG STDMETHODCALLTYPE Factory_AddRef(IClassFactory *iface)
{
    (void)iface;
    return 2;
}

static ULONG STDMETHODCALLTYPE Factory_Release(IClassFactory *iface)
{
    (void)iface;
    return 1;
}

static HRESULT STDMETHODCALLTYPE Factory_CreateInstance(IClassFactory *iface, IUnknown *outer, REFIID riid,
                                                        void **ppv)
{
    (void)iface;
    *ppv = NULL;
    if (outer)
        return CLASS_E_NOAGGREGATION;
    return IWebBrowser2_QueryInterface(&program.tab[0].browser.iface, riid, ppv);
}

static HRESULT STDMETHODCALLTYPE Factory_LockServer(IClassFactory *iface, BOOL lock)
{
    (void)iface;
    (void)lock;
    return S_OK;
}

static const IClassFactoryVtbl factoryVtbl = {
    Factory_QueryInterface, Factory_AddRef, Factory_Release, Factory_CreateInstance, Factory_LockServer,
};
static IClassFactory factory = { const_cast<IClassFactoryVtbl *>(&factoryVtbl) };

/* ---- the frame ---- */

static void FrameOnSize(int width, int height)
{
    MoveWindow(program.address, 4, 4, width - 8, 24, TRUE);
    for (Tab &each : program.tab)
        MoveWindow(each.site->window, 0, BAR_TOP, width, BAR_HEIGHT, TRUE);
    int tabsTop = BAR_TOP + BAR_HEIGHT + 2;
    MoveWindow(program.tabs, 2, tabsTop, width - 4, TAB_STRIP_HEIGHT, TRUE);
    int pageTop = tabsTop + TAB_STRIP_HEIGHT + 2;
    MoveWindow(program.page, 2, pageTop, width - 4, height > pageTop + 2 ? height - pageTop - 2 : 0, TRUE);
}

/* The tab the user leaves is hidden, the one chosen becomes visible; each
   tab's browser tells its sinks. */
static void FrameOnTabChange()
{
    const DWORD visible = OLECMDIDF_WINDOWSTATE_USERVISIBLE | OLECMDIDF_WINDOWSTATE_ENABLED;
    int chosen = (int)SendMessageA(program.tabs, TCM_GETCURSEL, 0, 0);
    if (chosen < 0 || chosen == program.current)
        return;
    Tab &left = program.tab[program.current], &shown = program.tab[chosen];
    program.current = chosen;
    ShowWindow(left.site->window, SW_HIDE);
    if (shown.band)
        ShowWindow(shown.site->window, SW_SHOW);
    ShowAddress(&shown);
    (void)left.browser.FireWindowStateChanged(0, visible);
    (void)shown.browser.FireWindowStateChanged(visible, visible);
}

/* As a browser closes a window: every band hidden, closed, unsited and let
   go; the band's last Release and its DLL's unload decide the exit code. */
static void FrameOnClose()
{
    for (Tab &each : program.tab) {
        if (!each.band)
            continue;
        IDeskBand *deskBand = NULL;
        if (SUCCEEDED(IUnknown_QueryInterface(each.band, IID_IDeskBand, (void **)&deskBand))) {
            (void)IDeskBand_ShowDW(deskBand, FALSE);
            (void)IDeskBand_CloseDW(deskBand, 0);
            IDeskBand_Release(deskBand);
        }
        IObjectWithSite *withSite = NULL;
        if (SUCCEEDED(IUnknown_QueryInterface(each.band, IID_IObjectWithSite, (void **)&withSite))) {
            (void)IObjectWithSite_SetSite(withSite, NULL);
            IObjectWithSite_Release(withSite);
        }
        if (IUnknown_Release(each.band) != 0)
            program.exitCode = EXIT_BAND_HELD;
        each.band = NULL;
    }
    DestroyWindow(program.frame);
}

static LRESULT CALLBACK FrameWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_SIZE:
        FrameOnSize(LOWORD(lParam), HIWORD(lParam));
        return 0;
    case WM_NOTIFY:
        if (((NMHDR *)lParam)->idFrom == (UINT_PTR)TABS_ID && ((NMHDR *)lParam)->code == TCN_SELCHANGE)
            FrameOnTabChange();
        return 0;
    case WM_CLOSE:
        FrameOnClose();
        return 0;
    case WM_DESTROY:
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

static HWND Child(const char *windowClass, DWORD style, int id)
{
    return CreateWindowExA(0, windowClass, NULL, WS_CHILD | WS_VISIBLE | style, 0, 0, 0, 0, program.frame,
                           (HMENU)(INT_PTR)id, GetModuleHandleA(NULL), NULL);
}

static bool CreateFrame(bool visible)
{
    INITCOMMONCONTROLSEX controls = { sizeof(controls), ICC_TAB_CLASSES };
    InitCommonControlsEx(&controls);
    WNDCLASSA windowClass = {};
    windowClass.lpfnWndProc = FrameWindowProc;
    windowClass.hInstance = GetModuleHandleA(NULL);
    windowClass.hCursor = LoadCursor(NULL, IDC_ARROW);
    windowClass.hbrBackground = (HBRUSH)(COLOR_BTNFACE + 1);
    windowClass.lpszClassName = FRAME_CLASS;
    RegisterClassA(&windowClass);
    program.frame = CreateWindowExA(0, FRAME_CLASS, "Velmora stand-in browser",
                                    WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN, 0, 0, 1000, 320, NULL, NULL,
                                    windowClass.hInstance, NULL);
    if (!program.frame)
        return false;
    program.address = Child("Edit", WS_BORDER | ES_AUTOHSCROLL, ADDRESS_ID);
    program.tabs = Child(WC_TABCONTROLA, WS_CLIPSIBLINGS | TCS_FIXEDWIDTH, TABS_ID);
    SendMessageA(program.tabs, TCM_SETITEMSIZE, 0, MAKELPARAM(TAB_WIDTH, TAB_STRIP_HEIGHT - 4));
    program.page = Child("Static", SS_LEFT | WS_BORDER, PAGE_ID);
    HFONT font = (HFONT)GetStockObject(DEFAULT_GUI_FONT);
    const WCHAR *names[TAB_COUNT] = { L"Tab 1", L"Tab 2" };
    for (int i = 0; i < TAB_COUNT; i++) {
        TCITEMW item = {};
        item.mask = TCIF_TEXT;
        item.pszText = const_cast<WCHAR *>(names[i]);
        SendMessageW(program.tabs, TCM_INSERTITEMW, i, (LPARAM)&item);
        program.tab[i].browser.host = &program;
        program.tab[i].site = new StandInSite(&program.tab[i].browser.iface, program.frame);
        program.tab[i].url = L"about:blank";
    }
    for (HWND child : { program.address, program.tabs, program.page })
        SendMessageA(child, WM_SETFONT, (WPARAM)font, FALSE);
    RECT client;
    GetClientRect(program.frame, &client);
    FrameOnSize(client.right, client.bottom);
    ShowAddress(&program.tab[0]);
    if (visible)
        ShowWindow(program.frame, SW_SHOW);
    return true;
}

/* Enter in the address bar navigates the current tab, about pages included. */
static bool IsAddressEnter(const MSG &msg)
{
    return msg.hwnd == program.address && msg.message == WM_KEYDOWN && msg.wParam == VK_RETURN;
}

static void NavigateFromAddressBar()
{
    WCHAR text[2048];
    GetWindowTextW(program.address, text, 2048);
    BSTR url = SysAllocString(text);
    if (!url)
        return;
    VARIANT empty;
    VariantInit(&empty);
    (void)IWebBrowser2_Navigate(&program.tab[program.current].browser.iface, url, &empty, &empty, &empty, &empty);
    SysFreeString(url);
}

/* The keys as a browser routes them: the band that has the focus is offered
   each key first; Tab or F6 in the address bar moves the focus into the
   current tab's band, and a Tab the band gives back returns it here. */
static bool RouteKeyToBand(MSG &msg)
{
    if (msg.message < WM_KEYFIRST || msg.message > WM_KEYLAST)
        return false;
    Tab &tab = program.tab[program.current];
    IInputObject *input = NULL;
    if (!tab.band || FAILED(IUnknown_QueryInterface(tab.band, IID_IInputObject, (void **)&input)))
        return false;
    bool handled = false;
    bool cycleKey = msg.message == WM_KEYDOWN && (msg.wParam == VK_TAB || msg.wParam == VK_F6);
    if (tab.site->bandFocused && IInputObject_HasFocusIO(input) == S_OK) {
        handled = IInputObject_TranslateAcceleratorIO(input, &msg) == S_OK;
        if (!handled && cycleKey) {
            SetFocus(program.address);
            handled = true;
        }
    } else if (cycleKey && GetFocus() == program.address) {
        handled = IInputObject_UIActivateIO(input, TRUE, &msg) == S_OK;
    }
    IInputObject_Release(input);
    return handled;
}

/* Waits, pumping, until the band's DLL says it can unload. */
static bool BandDllUnloads()
{
    HMODULE dll = GetModuleHandleA("velmora.dll");
    typedef HRESULT(STDAPICALLTYPE * CanUnload)(void);
    CanUnload canUnload = dll ? (CanUnload)(void (*)(void))GetProcAddress(dll, "DllCanUnloadNow") : NULL;
    if (!canUnload)
        return true;
    DWORD start = GetTickCount();
    while (canUnload() != S_OK) {
        if (GetTickCount() - start > 15000)
            return false;
        MSG msg;
        while (PeekMessageA(&msg, NULL, 0, 0, PM_REMOVE))
            DispatchMessageA(&msg);
        MsgWaitForMultipleObjects(0, NULL, FALSE, 20, QS_ALLINPUT);
    }
    return true;
}

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR commandLine, int show)
{
    (void)instance;
    (void)previous;
    (void)show;
    bool embedded = strstr(commandLine, "Embedding") != NULL;
    if (FAILED(CoInitialize(NULL)))
        return 3;
    DWORD cookie = 0;
    if (CreateFrame(!embedded)) {
        /* One instance per process: each new browser window is a new process. */
        (void)CoRegisterClassObject(CLSID_InternetExplorer, (IUnknown *)&factory, CLSCTX_LOCAL_SERVER,
                                    REGCLS_SINGLEUSE, &cookie);
        MSG msg;
        while (GetMessageW(&msg, NULL, 0, 0) > 0) {
            if (IsAddressEnter(msg)) {
                NavigateFromAddressBar();
                continue;
            }
            if (RouteKeyToBand(msg))
                continue;
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
    }
    if (cookie)
        (void)CoRevokeClassObject(cookie);
    for (Tab &each : program.tab)
        delete each.site;
    if (program.exitCode == EXIT_CLEAN && !BandDllUnloads())
        program.exitCode = EXIT_DLL_BUSY;
    CoUninitialize();
    return program.exitCode;
}
