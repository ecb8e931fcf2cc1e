/* The band in a browser window: siting and leaving through the band-site
   interfaces, and the browser events that move the ticker between tabs and
   show the about box. Band objects of the product code in stand-in sites. */
#include "tests/support/site_rig.h"
#include "tests/support/leak_check.h"
#include "toolbar/toolbar.h"
#include "core/ids.h"
#include "browser/browser.h"
#include "resources/resource.h"
#include <commctrl.h>

namespace {

/* What windows the calling thread creates and destroys, by class, with the
   number of advised sinks of browser at that moment. */
struct WindowLog {
    std::vector<std::string> events;
    StandInBrowser *browser;
};
WindowLog *windowLog;

LRESULT CALLBACK LogWindows(int code, WPARAM wParam, LPARAM lParam)
{
    if (windowLog && (code == HCBT_CREATEWND || code == HCBT_DESTROYWND)) {
        char name[64] = "";
        if (code == HCBT_CREATEWND) {
            const CREATESTRUCTA *create = ((CBT_CREATEWNDA *)lParam)->lpcs;
            if (!IS_INTRESOURCE(create->lpszClass))
                lstrcpynA(name, create->lpszClass, sizeof(name));
            else
                lstrcpyA(name, "#32770");
        } else {
            GetClassNameA((HWND)wParam, name, sizeof(name));
        }
        std::string kind = name;
        if (kind == "#32770" || kind == TOOLBARCLASSNAMEA || kind == TICKER_WINDOW_CLASS || kind == WC_COMBOBOXEXA)
            windowLog->events.push_back(std::string(code == HCBT_CREATEWND ? "+" : "-") + kind + " sinks " +
                                        std::to_string(windowLog->browser->AdvisedSinks()));
    }
    return CallNextHookEx(NULL, code, wParam, lParam);
}

typedef SiteRig BandSite;
typedef SiteRig BrowserEvents;
typedef SiteRig BandSiteCycles;

TEST_F(BandSite, SitingBuildsInOrderAndLeavingTakesItDownAgain)
{
    StandInBrowser browser;
    StandInSite site(browser.browser());
    InterfaceEntry *band = bands[0];
    IObjectWithSite *withSite = QueryBand<IObjectWithSite>(band, IID_IObjectWithSite);
    void *out = (void *)1;
    EXPECT_EQ(E_FAIL, IObjectWithSite_GetSite(withSite, IID_IUnknown, &out)) << "before siting";
    EXPECT_EQ((void *)1, out);
    EXPECT_EQ(nullptr, BandWindow(band));
    LONG_PTR siteProc = GetWindowLongPtrA(site.window, GWLP_WNDPROC);
    SetWindowLongPtrA(site.window, GWLP_USERDATA, 0x5EED);

    WindowLog log = { {}, &browser };
    windowLog = &log;
    HHOOK hook = SetWindowsHookExA(WH_CBT, LogWindows, NULL, GetCurrentThreadId());
    ASSERT_EQ(S_OK, site.Host((IUnknown *)band));
    HWND toolbar = BandWindow(band);
    EXPECT_NE(siteProc, GetWindowLongPtrA(site.window, GWLP_WNDPROC)) << "subclassed";
    EXPECT_EQ(1u, browser.AdvisedSinks());
    EXPECT_EQ(toolbar, rig.band()->bandWindow) << "the band sited last is the active one";
    EXPECT_EQ(site.frame, rig.band()->topWindow);
    EXPECT_EQ(browser.browser(), rig.band()->browser);
    EXPECT_TRUE(IsWindowVisible(toolbar));
    EXPECT_EQ(S_OK, IObjectWithSite_GetSite(withSite, IID_IOleWindow, &out));
    EXPECT_EQ((void *)&site.oleWindow.iface, out);
    IUnknown_Release((IUnknown *)out);

    EXPECT_EQ(S_OK, IObjectWithSite_SetSite(withSite, NULL));
    UnhookWindowsHookEx(hook);
    windowLog = NULL;
    std::vector<std::string> expected = {
        "+#32770 sinks 0", "+ToolbarWindow32 sinks 0", "+" TICKER_WINDOW_CLASS " sinks 0", "+ComboBoxEx32 sinks 0",
        "-ToolbarWindow32 sinks 0", "-" TICKER_WINDOW_CLASS " sinks 0", "-ComboBoxEx32 sinks 0", "-#32770 sinks 0",
    };
    EXPECT_EQ(expected, log.events) << "the sink is connected after the windows and disconnected before";
    EXPECT_FALSE(IsWindow(toolbar));
    EXPECT_EQ(siteProc, GetWindowLongPtrA(site.window, GWLP_WNDPROC)) << "the site window's own procedure is back";
    EXPECT_EQ(0x5EED, GetWindowLongPtrA(site.window, GWLP_USERDATA)) << "the host's user data is its own";
    EXPECT_EQ(0, site.refs);
    EXPECT_EQ(1, browser.refs);
    EXPECT_EQ(E_FAIL, IObjectWithSite_GetSite(withSite, IID_IUnknown, &out));
    EXPECT_EQ(nullptr, rig.band()->browser) << "the active band's browser is forgotten";
    EXPECT_EQ(nullptr, rig.band()->bandWindow);
    IObjectWithSite_Release(withSite);
    EXPECT_EQ(0, browser.unexpectedCalls + site.unexpectedCalls);
    ExpectAllReleased();
}

TEST_F(BandSite, SitesThatLackAPartGetWhatTheyOffer)
{
    StandInBrowser browser;
    StandInSite noInput(browser.browser(), 0, 0, SITE_OLE_WINDOW | SITE_BROWSER);
    EXPECT_EQ(E_NOINTERFACE, SetSite(bands[0], noInput.site()));
    EXPECT_EQ(nullptr, BandWindow(bands[0]));
    EXPECT_EQ(nullptr, GetWindow(noInput.window, GW_CHILD)) << "nothing created";
    EXPECT_EQ(0, noInput.refs);

    StandInSite noBrowser(browser.browser(), 0, 0, SITE_INPUT_OBJECT_SITE | SITE_OLE_WINDOW);
    ASSERT_EQ(S_OK, noBrowser.Host((IUnknown *)bands[0]));
    EXPECT_NE(nullptr, BandWindow(bands[0])) << "the band is built without a browser";
    EXPECT_EQ(0u, browser.AdvisedSinks());
    EXPECT_EQ(nullptr, rig.band()->browser);

    /* A new site while sited leaves the old one first. */
    StandInSite other(browser.browser(), 0, 100);
    ASSERT_EQ(S_OK, SetSite(bands[0], other.site()));
    EXPECT_EQ(0, noBrowser.refs);
    EXPECT_EQ(GetClassLongPtrA(noBrowser.window, GCLP_WNDPROC), GetWindowLongPtrA(noBrowser.window, GWLP_WNDPROC));
    EXPECT_EQ(nullptr, GetWindow(noBrowser.window, GW_CHILD)) << "the old site's band windows are gone";
    EXPECT_EQ(GetParent(BandWindow(bands[0])), other.window);
    EXPECT_EQ(1u, browser.AdvisedSinks());
    ExpectAllReleased();
    EXPECT_EQ(0, other.refs);
    EXPECT_EQ(1, browser.refs);
    EXPECT_EQ(0u, browser.AdvisedSinks());
}

TEST_F(BandSite, BandInfoAndTheDockingWindow)
{
    IDeskBand *deskBand = QueryBand<IDeskBand>(bands[0], IID_IDeskBand);
    DESKBANDINFO info;
    memset(&info, 0x55, sizeof(info));
    info.dwMask = 0x7F;
    info.dwModeFlags = 0x1;
    ASSERT_EQ(S_OK, IDeskBand_GetBandInfo(deskBand, 7, 0, &info));
    EXPECT_EQ(0x3Fu, info.dwMask);
    EXPECT_EQ(4096, info.ptMinSize.x);
    EXPECT_EQ(28, info.ptMinSize.y);
    EXPECT_EQ(-1, info.ptMaxSize.x);
    EXPECT_EQ(28, info.ptMaxSize.y);
    EXPECT_EQ(1, info.ptIntegral.x);
    EXPECT_EQ(1, info.ptIntegral.y);
    EXPECT_EQ(0, info.ptActual.x);
    EXPECT_EQ(0, info.ptActual.y);
    EXPECT_EQ(0, info.wszTitle[0]);
    EXPECT_EQ(0x9u, info.dwModeFlags);
    EXPECT_EQ(0x55555555u, info.crBkgnd) << "the site paints its own background";
    info.dwMask = DBIM_MINSIZE;
    EXPECT_EQ(S_OK, IDeskBand_GetBandInfo(deskBand, 0, 0, &info));
    EXPECT_EQ((DWORD)DBIM_MINSIZE, info.dwMask);
    EXPECT_EQ(E_INVALIDARG, IDeskBand_GetBandInfo(deskBand, 0, 0, NULL));
    EXPECT_EQ(E_INVALIDARG, IDeskBand_GetWindow(deskBand, NULL));

    /* Shown without any resize of the site window, the combo box is not covered. */
    StandInBrowser browser;
    StandInSite site(browser.browser());
    ASSERT_EQ(S_OK, site.Host((IUnknown *)bands[0]));
    HWND toolbar = BandWindow(bands[0]);
    RECT ticker, combo;
    GetWindowRect(GetDlgItem(toolbar, TICKER_ID), &ticker);
    GetWindowRect(GetDlgItem(toolbar, FEED_COMBO_ID), &combo);
    EXPECT_LE(ticker.right, combo.left);
    EXPECT_EQ(S_OK, IDeskBand_CloseDW(deskBand, 0));
    EXPECT_FALSE(IsWindowVisible(toolbar));
    EXPECT_EQ(S_OK, IDeskBand_ShowDW(deskBand, TRUE));
    EXPECT_TRUE(IsWindowVisible(toolbar));
    EXPECT_EQ(toolbar, BandWindow(bands[0])) << "the same toolbar";
    EXPECT_EQ(E_NOTIMPL, IDeskBand_ContextSensitiveHelp(deskBand, TRUE));
    IDeskBand_Release(deskBand);
    ExpectAllReleased();
}

MSG KeyFor(HWND window, UINT message, WPARAM key)
{
    MSG msg = {};
    msg.hwnd = window;
    msg.message = message;
    msg.wParam = key;
    return msg;
}

/* Holds Shift, Ctrl or Alt for the keys given to the band while it lives. */
struct HeldKey {
    BYTE saved[256];
    explicit HeldKey(int key)
    {
        BYTE held[256];
        GetKeyboardState(saved);
        memcpy(held, saved, sizeof(held));
        held[key] = 0x80;
        SetKeyboardState(held);
    }
    ~HeldKey() { SetKeyboardState(saved); }
};

struct KeyCase {
    const char *what;
    int held;          /* 0, VK_SHIFT, VK_CONTROL */
    UINT message;
    WPARAM key;
    HRESULT taken;     /* S_OK: the band's; S_FALSE: the browser's */
};

/* The browser's Tab cycle through the band and back, with the site told
   of each change of the focus; the keys of each stop are the band's only
   where the band uses them. */
TEST_F(BandSite, KeyboardCyclesThroughTheBandAndLeavesTheBrowserItsKeys)
{
    StandInBrowser browser;
    StandInSite site(browser.browser());
    ASSERT_EQ(S_OK, site.Host((IUnknown *)bands[0]));
    TickerState *ticker = rig.band()->ticker;
    ASSERT_TRUE(PumpUntil([ticker] { return ticker->itemCount == 3; }, 10000));
    IInputObject *input = QueryBand<IInputObject>(bands[0], IID_IInputObject);
    HWND toolbar = BandWindow(bands[0]);
    HWND tickerWindow = GetDlgItem(toolbar, TICKER_ID), combo = GetDlgItem(toolbar, FEED_COMBO_ID);
    SetFocus(site.frame);
    EXPECT_EQ(S_FALSE, IInputObject_HasFocusIO(input)) << "the focus is the browser's";
    EXPECT_EQ(0, site.focusChanges);

    EXPECT_EQ(S_OK, IInputObject_UIActivateIO(input, TRUE, NULL));
    EXPECT_EQ(toolbar, GetFocus()) << "the menu button first";
    EXPECT_EQ(S_OK, IInputObject_HasFocusIO(input));
    EXPECT_TRUE(site.bandFocused);
    EXPECT_EQ(1, site.focusChanges);
    MSG tab = KeyFor(toolbar, WM_KEYDOWN, VK_TAB);
    EXPECT_EQ(S_OK, IInputObject_TranslateAcceleratorIO(input, &tab));
    EXPECT_EQ(tickerWindow, GetFocus());
    tab.hwnd = tickerWindow;
    EXPECT_EQ(S_OK, IInputObject_TranslateAcceleratorIO(input, &tab));
    HWND comboFocus = GetFocus();
    char focusClass[64] = "";
    GetClassNameA(comboFocus, focusClass, sizeof(focusClass));
    EXPECT_TRUE(comboFocus == combo || IsChild(combo, comboFocus))
        << focusClass << " visible " << IsWindowVisible(combo) << " enabled " << IsWindowEnabled(combo);
    tab.hwnd = comboFocus;
    EXPECT_EQ(S_FALSE, IInputObject_TranslateAcceleratorIO(input, &tab)) << "past the last stop";
    {
        HeldKey shift(VK_SHIFT);
        EXPECT_EQ(S_OK, IInputObject_TranslateAcceleratorIO(input, &tab));
    }
    EXPECT_EQ(tickerWindow, GetFocus()) << "Shift+Tab goes back";
    EXPECT_EQ(1, site.focusChanges) << "moves inside the band tell the site nothing";

    const KeyCase keys[] = {
        { "Right steps to a headline", 0, WM_KEYDOWN, VK_RIGHT, S_OK },
        { "Space pauses", 0, WM_KEYDOWN, VK_SPACE, S_OK },
        { "its character", 0, WM_CHAR, ' ', S_OK },
        { "the context-menu key's release", 0, WM_KEYUP, VK_APPS, S_OK },
        { "Up is not the ticker's", 0, WM_KEYDOWN, VK_UP, S_FALSE },
        { "F5 reloads the page", 0, WM_KEYDOWN, VK_F5, S_FALSE },
        { "Backspace goes back", 0, WM_KEYDOWN, VK_BACK, S_FALSE },
        { "a letter", 0, WM_KEYDOWN, 'A', S_FALSE },
        { "F6", 0, WM_KEYDOWN, VK_F6, S_FALSE },
        { "Ctrl+Tab", VK_CONTROL, WM_KEYDOWN, VK_TAB, S_FALSE },
        { "Ctrl+Right", VK_CONTROL, WM_KEYDOWN, VK_RIGHT, S_FALSE },
        { "Alt+D", 0, WM_SYSKEYDOWN, 'D', S_FALSE },
    };
    for (const KeyCase &c : keys) {
        MSG msg = KeyFor(tickerWindow, c.message, c.key);
        if (c.held) {
            HeldKey held(c.held);
            EXPECT_EQ(c.taken, IInputObject_TranslateAcceleratorIO(input, &msg)) << c.what;
        } else {
            EXPECT_EQ(c.taken, IInputObject_TranslateAcceleratorIO(input, &msg)) << c.what;
        }
    }
    EXPECT_EQ(0, ticker->focusIndex) << "the head, whole";
    EXPECT_EQ(PAUSE_BY_KEY, ticker->pauseFlags);
    MSG down = KeyFor(comboFocus, WM_KEYDOWN, VK_DOWN), f5 = KeyFor(comboFocus, WM_KEYDOWN, VK_F5);
    EXPECT_EQ(S_OK, IInputObject_TranslateAcceleratorIO(input, &down)) << "the combo box's arrows";
    EXPECT_EQ(S_FALSE, IInputObject_TranslateAcceleratorIO(input, &f5));
    MSG elsewhere = KeyFor(site.frame, WM_KEYDOWN, VK_DOWN);
    EXPECT_EQ(S_FALSE, IInputObject_TranslateAcceleratorIO(input, &elsewhere));

    MSG escape = KeyFor(tickerWindow, WM_KEYDOWN, VK_ESCAPE);
    EXPECT_EQ(S_OK, IInputObject_TranslateAcceleratorIO(input, &escape));
    EXPECT_EQ(site.frame, GetFocus()) << "Esc hands the focus back";
    EXPECT_FALSE(site.bandFocused);
    EXPECT_EQ(2, site.focusChanges);
    EXPECT_EQ(-1, ticker->focusIndex) << "the row moves on";
    EXPECT_EQ(S_FALSE, IInputObject_HasFocusIO(input));
    {
        HeldKey shift(VK_SHIFT);
        MSG back = KeyFor(site.frame, WM_KEYDOWN, VK_TAB);
        EXPECT_EQ(S_OK, IInputObject_UIActivateIO(input, TRUE, &back));
    }
    EXPECT_TRUE(GetFocus() == combo || IsChild(combo, GetFocus())) << "Shift+Tab comes in at the end";
    SetFocus(site.frame);
    EXPECT_TRUE(PumpUntil([&site] { return !site.bandFocused; }, 2000)) << "a focus taken away is reported";
    EXPECT_EQ(0, site.unexpectedCalls);
    IInputObject_Release(input);
    ExpectAllReleased();
}

/* ---- browser events ---- */

/* Two browser windows, one band each. The ticker follows the band sited
   last, the window brought to the front and the tab made visible, with no
   event beyond those the browser fires. Each step draws in a colour of its
   own, so that a ticker drawn in an earlier step cannot pass for it. */
TEST_F(BrowserEvents, TheTickerFollowsTheVisibleTab)
{
    StandInBrowser firstBrowser, secondBrowser;
    StandInSite first(firstBrowser.browser(), 0, 0), second(secondBrowser.browser(), 0, 200);
    InterfaceEntry *firstBand = bands[0], *secondBand = NewBand();
    ASSERT_EQ(S_OK, first.Host((IUnknown *)firstBand));
    ASSERT_EQ(S_OK, second.Host((IUnknown *)secondBand));
    HWND firstBar = BandWindow(firstBand), secondBar = BandWindow(secondBand);
    EXPECT_EQ(secondBar, rig.band()->bandWindow) << "the band sited last";
    auto drawsIn = [&](HWND bar, COLORREF color) {
        rig.band()->backColor = color;
        return TickerDrawsIn(bar, color);
    };
    SetForegroundWindow(second.frame);
    EXPECT_TRUE(drawsIn(secondBar, MARK)) << "sited in the window in front, the ticker scrolls at once";

    /* Another browser window brought to the front fires no browser event. */
    SetForegroundWindow(first.frame);
    EXPECT_TRUE(drawsIn(firstBar, RGB(0, 0, 200))) << "the ticker follows the window in front";
    EXPECT_EQ(firstBar, rig.band()->bandWindow);
    EXPECT_EQ(first.frame, rig.band()->topWindow);
    OpenLink(L"http://127.0.0.1/headline", 0);
    EXPECT_EQ(1u, firstBrowser.navigations.size()) << "links open in the front window's browser";
    EXPECT_EQ(0u, secondBrowser.navigations.size());

    EXPECT_EQ(S_OK, secondBrowser.FireWindowStateChanged(0x3, 0x2)) << "a mask without the visible bit";
    EXPECT_EQ(firstBar, rig.band()->bandWindow);
    EXPECT_EQ(S_OK, secondBrowser.FireWindowStateChanged(0x1, 0x3));
    EXPECT_EQ(secondBar, rig.band()->bandWindow);
    EXPECT_EQ(second.frame, rig.band()->topWindow);
    SetForegroundWindow(second.frame);
    EXPECT_TRUE(drawsIn(secondBar, RGB(200, 0, 200)));
    EXPECT_EQ(S_OK, firstBrowser.FireWindowStateChanged(0x1, 0x1));
    SetForegroundWindow(first.frame);
    EXPECT_TRUE(drawsIn(firstBar, RGB(200, 200, 0)));

    EXPECT_EQ(DISP_E_MEMBERNOTFOUND, firstBrowser.Fire(261, NULL, 0));
    EXPECT_EQ(DISP_E_MEMBERNOTFOUND, firstBrowser.Fire(273, NULL, 0));
    EXPECT_EQ(S_OK, firstBrowser.Fire(271, NULL, 0));

    /* Arguments the event does not carry, or of another type, do nothing. */
    VARIANT one;
    V_VT(&one) = VT_I4;
    V_I4(&one) = 1;
    EXPECT_EQ(S_OK, secondBrowser.Fire(283, &one, 1));
    VARIANT texts[2];
    for (VARIANT &text : texts) {
        V_VT(&text) = VT_BSTR;
        V_BSTR(&text) = NULL;
    }
    EXPECT_EQ(S_OK, secondBrowser.Fire(283, texts, 2));
    EXPECT_EQ(firstBar, rig.band()->bandWindow);

    /* The active band leaves: its browser is never navigated again. */
    HWND firstTicker = GetDlgItem(firstBar, TICKER_ID);
    POINT inside = { 100, 10 };
    ClientToScreen(firstTicker, &inside);
    SetCursorPos(inside.x, inside.y);
    ASSERT_EQ(S_OK, SetSite(firstBand, NULL));
    EXPECT_EQ(1, firstBrowser.refs);
    SendMessageA(GetDlgItem(secondBar, TICKER_ID), WM_LBUTTONUP, 0, MAKELPARAM(100, 10));
    OpenLink(L"http://127.0.0.1/after", 0);
    EXPECT_EQ(1u, firstBrowser.navigations.size());
    EXPECT_EQ(0u, secondBrowser.navigations.size());

    /* A later WindowStateChanged of the other band restores everything. */
    EXPECT_EQ(S_OK, secondBrowser.FireWindowStateChanged(0x1, 0x1));
    SetForegroundWindow(second.frame);
    EXPECT_TRUE(drawsIn(secondBar, RGB(0, 200, 200)));
    OpenLink(L"http://127.0.0.1/again", 0);
    EXPECT_EQ(1u, secondBrowser.navigations.size());
    EXPECT_EQ(0, firstBrowser.unexpectedCalls + secondBrowser.unexpectedCalls);
    ExpectAllReleased();
}

std::string AboutText()
{
    char text[128];
    LoadStringA(moduleHandle, IDS_ABOUT_TEXT, text, sizeof(text));
    return std::string(text) + "2";
}

TEST_F(BrowserEvents, AboutPageShowsTheVersionAndIsCancelled)
{
    StandInBrowser browser;
    StandInSite site(browser.browser());
    ASSERT_EQ(S_OK, site.Host((IUnknown *)bands[0]));
    BoxWatcher boxes;
    for (const WCHAR *url : { L"about:velmora", L"ABOUT:Velmora" }) {
        VARIANT_BOOL cancel = VARIANT_FALSE;
        int before = boxes.Count();
        EXPECT_EQ(S_OK, browser.FireBeforeNavigate2(url, &cancel));
        EXPECT_EQ(before + 1, boxes.Count());
        EXPECT_EQ(AboutText(), boxes.LastText());
        EXPECT_EQ(site.frame, boxes.LastOwner()) << "in front of its browser window";
        EXPECT_EQ(VARIANT_TRUE, cancel);
    }
    EXPECT_EQ(ExpectedLanguage() == "de", AboutText().find("Datum") != std::string::npos);
    for (const WCHAR *url : { L"about:velmora/", L"about:velmora?x", L"http://127.0.0.1/" }) {
        VARIANT_BOOL cancel = VARIANT_FALSE;
        EXPECT_EQ(S_OK, browser.FireBeforeNavigate2(url, &cancel));
        EXPECT_EQ(VARIANT_FALSE, cancel);
    }
    EXPECT_EQ(2, boxes.Count());

    /* Cancel missing or null, or too few arguments: nothing is read. */
    VARIANT args[7];
    for (VARIANT &arg : args)
        VariantInit(&arg);
    VARIANT url;
    V_VT(&url) = VT_BSTR;
    V_BSTR(&url) = SysAllocString(L"about:velmora");
    V_VT(&args[5]) = VT_BYREF | VT_VARIANT;
    V_VARIANTREF(&args[5]) = &url;
    V_VT(&args[0]) = VT_BYREF | VT_BOOL;
    V_BOOLREF(&args[0]) = NULL;
    EXPECT_EQ(S_OK, browser.Fire(250, args, 7));
    EXPECT_EQ(S_OK, browser.Fire(250, args + 1, 6));
    EXPECT_EQ(2, boxes.Count());
    VariantClear(&url);
    ExpectAllReleased();
}

TEST_F(BandSiteCycles, TwoHundredSitingsInAScrollingBrowserLeaveTheProcessFlat)
{
    /* Every fill loads the stand-in feed store on a thread of its own; its
       static runtime leaves some 40 KB behind each time it is unloaded, so it
       stays loaded here. */
    HMODULE store = LoadLibraryA((TestProgramFolder() + "\\feedstore.dll").c_str());
    ASSERT_NE(nullptr, store);
    StandInBrowser browser;
    StandInSite site(browser.browser());
    ASSERT_EQ(S_OK, site.Host((IUnknown *)bands[0]));
    SetForegroundWindow(site.frame);
    rig.band()->backColor = MARK;
    ASSERT_TRUE(TickerDrawsIn(BandWindow(bands[0])));
    ASSERT_EQ(S_OK, SetSite(bands[0], NULL));
    InterfaceEntry *band = bands[0];
    auto cycle = [&] {
        ASSERT_EQ(S_OK, site.Host((IUnknown *)band));
        PumpUntil([] { return false; }, 40);
        ASSERT_EQ(S_OK, SetSite(band, NULL));
    };
    ExpectCyclesFlat(cycle, 200, 16384);
    EXPECT_EQ(1, browser.refs);
    EXPECT_EQ(0, site.refs);
    ExpectAllReleased();
    FreeLibrary(store);
}

}  // namespace

namespace {

/* A sink of the test's own, advised after the band's: it sees each
   BeforeNavigate2 with Cancel as the band's sink left it. */
struct NavigationRecorder {
    IDispatch iface;
    std::vector<std::pair<std::wstring, VARIANT_BOOL>> seen;
};

HRESULT STDMETHODCALLTYPE Recorder_QueryInterface(IDispatch *iface, REFIID riid, void **ppv)
{
    *ppv = NULL;
    if (!IsEqualIID(riid, IID_IUnknown) && !IsEqualIID(riid, IID_IDispatch) &&
        !IsEqualIID(riid, DIID_DWebBrowserEvents2))
        return E_NOINTERFACE;
    *ppv = iface;
    return S_OK;
}
ULONG STDMETHODCALLTYPE Recorder_AddRef(IDispatch *) { return 2; }
ULONG STDMETHODCALLTYPE Recorder_Release(IDispatch *) { return 1; }
HRESULT STDMETHODCALLTYPE Recorder_GetTypeInfoCount(IDispatch *, UINT *) { return E_NOTIMPL; }
HRESULT STDMETHODCALLTYPE Recorder_GetTypeInfo(IDispatch *, UINT, LCID, ITypeInfo **) { return E_NOTIMPL; }
HRESULT STDMETHODCALLTYPE Recorder_GetIDsOfNames(IDispatch *, REFIID, LPOLESTR *, UINT, LCID, DISPID *)
{
    return E_NOTIMPL;
}
HRESULT STDMETHODCALLTYPE Recorder_Invoke(IDispatch *iface, DISPID member, REFIID, LCID, WORD, DISPPARAMS *params,
                                          VARIANT *, EXCEPINFO *, UINT *)
{
    if (member != 250 || !params || params->cArgs != 7)
        return S_OK;
    VARIANT *url = &params->rgvarg[5];
    VARIANT *cancel = &params->rgvarg[0];
    std::wstring text;
    if (V_VT(url) == (VT_BYREF | VT_VARIANT) && V_VT(V_VARIANTREF(url)) == VT_BSTR)
        text = V_BSTR(V_VARIANTREF(url));
    VARIANT_BOOL value = V_VT(cancel) == (VT_BYREF | VT_BOOL) ? *V_BOOLREF(cancel) : (VARIANT_BOOL)7;
    ((NavigationRecorder *)iface)->seen.push_back({ text, value });
    return S_OK;
}
const IDispatchVtbl recorderVtbl = {
    Recorder_QueryInterface, Recorder_AddRef, Recorder_Release, Recorder_GetTypeInfoCount,
    Recorder_GetTypeInfo, Recorder_GetIDsOfNames, Recorder_Invoke,
};

/* Wine's own browser (the "Internetexplorer.Application" server) fires
   BeforeNavigate2 from its Navigate, with arguments built by code outside
   this project, marshalled into this apartment. */
TEST_F(BrowserEvents, WinesBrowserIsCancelledOnlyForTheAboutPage)
{
    CLSID clsid;
    ASSERT_EQ(S_OK, CLSIDFromProgID(L"Internetexplorer.Application", &clsid));
    IWebBrowser2 *wine = NULL;
    ASSERT_EQ(S_OK, CoCreateInstance(clsid, NULL, CLSCTX_LOCAL_SERVER, IID_IWebBrowser2, (void **)&wine));
    StandInSite site(wine);
    ASSERT_EQ(S_OK, site.Host((IUnknown *)bands[0]));
    NavigationRecorder recorder = { { const_cast<IDispatchVtbl *>(&recorderVtbl) }, {} };
    IConnectionPointContainer *container = NULL;
    IConnectionPoint *point = NULL;
    DWORD cookie = 0;
    ASSERT_EQ(S_OK, IWebBrowser2_QueryInterface(wine, IID_IConnectionPointContainer, (void **)&container));
    ASSERT_EQ(S_OK, IConnectionPointContainer_FindConnectionPoint(container, DIID_DWebBrowserEvents2, &point));
    ASSERT_EQ(S_OK, IConnectionPoint_Advise(point, (IUnknown *)&recorder.iface, &cookie));

    {
        BoxWatcher boxes;
        VARIANT empty;
        VariantInit(&empty);
        for (const WCHAR *url : { L"about:velmora", L"about:blank" }) {
            BSTR address = SysAllocString(url);
            EXPECT_EQ(S_OK, IWebBrowser2_Navigate(wine, address, &empty, &empty, &empty, &empty));
            SysFreeString(address);
            EXPECT_TRUE(PumpUntil([&] { return !recorder.seen.empty() && recorder.seen.back().first == url; },
                                  10000)) << "BeforeNavigate2 for " << testing::PrintToString(std::wstring(url));
        }
        ASSERT_EQ(2u, recorder.seen.size());
        EXPECT_EQ(VARIANT_TRUE, recorder.seen[0].second) << "the about page is cancelled";
        EXPECT_EQ(VARIANT_FALSE, recorder.seen[1].second) << "another address goes through";
        EXPECT_EQ(1, boxes.Count());
        EXPECT_EQ(AboutText(), boxes.LastText());
    }

    IConnectionPoint_Unadvise(point, cookie);
    IConnectionPoint_Release(point);
    IConnectionPointContainer_Release(container);
    ASSERT_EQ(S_OK, SetSite(bands[0], NULL));
    IWebBrowser2_Release(wine);
    CloseBrowserFrames();
    /* The other process lets go of the band's sink through this apartment. */
    BandObject *band = bands[0]->owner;
    EXPECT_TRUE(PumpUntil([band] { return band->refCount == 1; }, 10000));
    ExpectAllReleased();
}

}  // namespace
