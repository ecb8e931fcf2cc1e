/* The band in a browser window: siting and leaving through the band-site
   interfaces. Band objects of the product code in stand-in sites. */
#include "tests/support/site_rig.h"
#include "tests/support/leak_check.h"
#include "tests/support/hresult.h"
#include "toolbar/toolbar.h"
#include "core/ids.h"
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
typedef SiteRig BandSiteCycles;

TEST_F(BandSite, SitingBuildsInOrderAndLeavingTakesItDownAgain)
{
    StandInBrowser browser;
    StandInSite site(browser.browser());
    InterfaceEntry *band = bands[0];
    IObjectWithSite *withSite = QueryBand<IObjectWithSite>(band, IID_IObjectWithSite);
    void *out = (void *)1;
    EXPECT_HR(E_FAIL, IObjectWithSite_GetSite(withSite, IID_IUnknown, &out)) << "before siting";
    EXPECT_EQ((void *)1, out);
    EXPECT_EQ(nullptr, BandWindow(band));
    LONG_PTR siteProc = GetWindowLongPtrA(site.window, GWLP_WNDPROC);
    SetWindowLongPtrA(site.window, GWLP_USERDATA, 0x5EED);

    WindowLog log = { {}, &browser };
    windowLog = &log;
    HHOOK hook = SetWindowsHookExA(WH_CBT, LogWindows, NULL, GetCurrentThreadId());
    ASSERT_HR(S_OK, site.Host((IUnknown *)band));
    HWND toolbar = BandWindow(band);
    EXPECT_NE(siteProc, GetWindowLongPtrA(site.window, GWLP_WNDPROC)) << "subclassed";
    EXPECT_EQ(1u, browser.AdvisedSinks());
    EXPECT_EQ(toolbar, rig.band()->bandWindow) << "the band sited last is the active one";
    EXPECT_EQ(site.frame, rig.band()->topWindow);
    EXPECT_EQ(browser.browser(), rig.band()->browser);
    EXPECT_TRUE(IsWindowVisible(toolbar));
    EXPECT_HR(S_OK, IObjectWithSite_GetSite(withSite, IID_IOleWindow, &out));
    EXPECT_EQ((void *)&site.oleWindow.iface, out);
    IUnknown_Release((IUnknown *)out);

    EXPECT_HR(S_OK, IObjectWithSite_SetSite(withSite, NULL));
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
    EXPECT_HR(E_FAIL, IObjectWithSite_GetSite(withSite, IID_IUnknown, &out));
    EXPECT_EQ(nullptr, rig.band()->browser) << "the active band's browser is forgotten";
    EXPECT_EQ(nullptr, rig.band()->bandWindow);
    IObjectWithSite_Release(withSite);
    ExpectAllReleased();
}

TEST_F(BandSite, SitesThatLackAPartGetWhatTheyOffer)
{
    StandInBrowser browser;
    StandInSite noInput(browser.browser(), 0, 0, SITE_OLE_WINDOW | SITE_BROWSER);
    EXPECT_HR(E_NOINTERFACE, SetSite(bands[0], noInput.site()));
    EXPECT_EQ(nullptr, BandWindow(bands[0]));
    EXPECT_EQ(nullptr, GetWindow(noInput.window, GW_CHILD)) << "nothing created";
    EXPECT_EQ(0, noInput.refs);

    StandInSite noBrowser(browser.browser(), 0, 0, SITE_INPUT_OBJECT_SITE | SITE_OLE_WINDOW);
    ASSERT_HR(S_OK, noBrowser.Host((IUnknown *)bands[0]));
    EXPECT_NE(nullptr, BandWindow(bands[0])) << "the band is built without a browser";
    EXPECT_EQ(0u, browser.AdvisedSinks());
    EXPECT_EQ(nullptr, rig.band()->browser);

    /* A new site while sited leaves the old one first. */
    StandInSite other(browser.browser(), 0, 100);
    ASSERT_HR(S_OK, SetSite(bands[0], other.site()));
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
    ASSERT_HR(S_OK, IDeskBand_GetBandInfo(deskBand, 7, 0, &info));
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
    EXPECT_HR(S_OK, IDeskBand_GetBandInfo(deskBand, 0, 0, &info));
    EXPECT_EQ((DWORD)DBIM_MINSIZE, info.dwMask);
    EXPECT_HR(E_INVALIDARG, IDeskBand_GetBandInfo(deskBand, 0, 0, NULL));
    EXPECT_HR(E_INVALIDARG, IDeskBand_GetWindow(deskBand, NULL));

    /* Shown without any resize of the site window, the combo box is not covered. */
    StandInBrowser browser;
    StandInSite site(browser.browser());
    ASSERT_HR(S_OK, site.Host((IUnknown *)bands[0]));
    HWND toolbar = BandWindow(bands[0]);
    RECT ticker, combo;
    GetWindowRect(GetDlgItem(toolbar, TICKER_ID), &ticker);
    GetWindowRect(GetDlgItem(toolbar, FEED_COMBO_ID), &combo);
    EXPECT_LE(ticker.right, combo.left);
    EXPECT_HR(S_OK, IDeskBand_CloseDW(deskBand, 0));
    EXPECT_FALSE(IsWindowVisible(toolbar));
    EXPECT_HR(S_OK, IDeskBand_ShowDW(deskBand, TRUE));
    EXPECT_TRUE(IsWindowVisible(toolbar));
    EXPECT_EQ(toolbar, BandWindow(bands[0])) << "the same toolbar";
    EXPECT_HR(E_NOTIMPL, IDeskBand_ContextSensitiveHelp(deskBand, TRUE));
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
    ASSERT_HR(S_OK, site.Host((IUnknown *)bands[0]));
    TickerState *ticker = rig.band()->ticker;
    ASSERT_TRUE(PumpUntil([ticker] { return ticker->itemCount == 3; }, 10000));
    IInputObject *input = QueryBand<IInputObject>(bands[0], IID_IInputObject);
    HWND toolbar = BandWindow(bands[0]);
    HWND tickerWindow = GetDlgItem(toolbar, TICKER_ID), combo = GetDlgItem(toolbar, FEED_COMBO_ID);
    SetFocus(site.frame);
    EXPECT_HR(S_FALSE, IInputObject_HasFocusIO(input)) << "the focus is the browser's";
    EXPECT_EQ(0, site.focusChanges);

    EXPECT_HR(S_OK, IInputObject_UIActivateIO(input, TRUE, NULL));
    EXPECT_EQ(toolbar, GetFocus()) << "the menu button first";
    EXPECT_HR(S_OK, IInputObject_HasFocusIO(input));
    EXPECT_TRUE(site.bandFocused);
    EXPECT_EQ(1, site.focusChanges);
    MSG tab = KeyFor(toolbar, WM_KEYDOWN, VK_TAB);
    EXPECT_HR(S_OK, IInputObject_TranslateAcceleratorIO(input, &tab));
    EXPECT_EQ(tickerWindow, GetFocus());
    tab.hwnd = tickerWindow;
    EXPECT_HR(S_OK, IInputObject_TranslateAcceleratorIO(input, &tab));
    HWND comboFocus = GetFocus();
    char focusClass[64] = "";
    GetClassNameA(comboFocus, focusClass, sizeof(focusClass));
    EXPECT_TRUE(comboFocus == combo || IsChild(combo, comboFocus))
        << focusClass << " visible " << IsWindowVisible(combo) << " enabled " << IsWindowEnabled(combo);
    tab.hwnd = comboFocus;
    EXPECT_HR(S_FALSE, IInputObject_TranslateAcceleratorIO(input, &tab)) << "past the last stop";
    {
        HeldKey shift(VK_SHIFT);
        EXPECT_HR(S_OK, IInputObject_TranslateAcceleratorIO(input, &tab));
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
    EXPECT_HR(S_FALSE, IInputObject_TranslateAcceleratorIO(input, &elsewhere));

    MSG escape = KeyFor(tickerWindow, WM_KEYDOWN, VK_ESCAPE);
    EXPECT_HR(S_OK, IInputObject_TranslateAcceleratorIO(input, &escape));
    EXPECT_EQ(site.frame, GetFocus()) << "Esc hands the focus back";
    EXPECT_FALSE(site.bandFocused);
    EXPECT_EQ(2, site.focusChanges);
    EXPECT_EQ(-1, ticker->focusIndex) << "the row moves on";
    EXPECT_HR(S_FALSE, IInputObject_HasFocusIO(input));
    {
        HeldKey shift(VK_SHIFT);
        MSG back = KeyFor(site.frame, WM_KEYDOWN, VK_TAB);
        EXPECT_HR(S_OK, IInputObject_UIActivateIO(input, TRUE, &back));
    }
    EXPECT_TRUE(GetFocus() == combo || IsChild(combo, GetFocus())) << "Shift+Tab comes in at the end";
    SetFocus(site.frame);
    EXPECT_TRUE(PumpUntil([&site] { return !site.bandFocused; }, 2000)) << "a focus taken away is reported";
    IInputObject_Release(input);
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
    ASSERT_HR(S_OK, site.Host((IUnknown *)bands[0]));
    SetForegroundWindow(site.frame);
    rig.band()->backColor = MARK;
    ASSERT_TRUE(TickerDrawsIn(BandWindow(bands[0])));
    ASSERT_HR(S_OK, SetSite(bands[0], NULL));
    InterfaceEntry *band = bands[0];
    auto cycle = [&] {
        ASSERT_HR(S_OK, site.Host((IUnknown *)band));
        PumpUntil([] { return false; }, 40);
        ASSERT_HR(S_OK, SetSite(band, NULL));
    };
    /* Each fill downloads on threads of its own; the HTTP stack's tables
       grow once to the most downloads that ever overlapped. Wine's text
       statics never free the 24 bytes that hold their font, three in each
       siting's source dialog: 72 bytes a cycle here, none on Windows. */
    for (int i = 0; i < 40; i++)
        cycle();
    ExpectCyclesFlat(cycle, 200, 16384);
    EXPECT_EQ(1, browser.refs);
    EXPECT_EQ(0, site.refs);
    ExpectAllReleased();
    FreeLibrary(store);
}

}  // namespace
