/* The browser event sink: the events that move the ticker between tabs and
   windows and show the about box, from stand-in browsers and from Wine's own.
   Band objects of the product code in stand-in sites. */
#include "tests/support/site_rig.h"
#include "tests/support/boxes.h"
#include "tests/support/hresult.h"
#include "core/ids.h"
#include "browser/browser.h"
#include "resources/resource.h"

namespace {

typedef SiteRig BrowserEvents;

/* Two browser windows, one band each. The ticker follows the band sited
   last, the window brought to the front and the tab made visible, with no
   event beyond those the browser fires. Each step draws in a colour of its
   own, so that a ticker drawn in an earlier step cannot pass for it. */
TEST_F(BrowserEvents, TheTickerFollowsTheVisibleTab)
{
    StandInBrowser firstBrowser, secondBrowser;
    StandInSite first(firstBrowser.browser(), 0, 0), second(secondBrowser.browser(), 0, 200);
    InterfaceEntry *firstBand = bands[0], *secondBand = NewBand();
    ASSERT_HR(S_OK, first.Host((IUnknown *)firstBand));
    ASSERT_HR(S_OK, second.Host((IUnknown *)secondBand));
    HWND firstBar = BandWindow(firstBand), secondBar = BandWindow(secondBand);
    EXPECT_EQ(secondBar, rig.band()->bandWindow) << "the band sited last";
    auto drawsIn = [&](HWND bar, COLORREF color) {
        rig.band()->backColor = color;
        return TickerDrawsIn(bar, color);
    };
    EXPECT_EQ(second.frame, GetForegroundWindow()) << "siting leaves the browser window in front";
    EXPECT_TRUE(drawsIn(secondBar, MARK)) << "sited in the window in front, the ticker scrolls at once";

    /* Another browser window brought to the front fires no browser event. */
    SetForegroundWindow(first.frame);
    EXPECT_TRUE(drawsIn(firstBar, RGB(0, 0, 200))) << "the ticker follows the window in front";
    EXPECT_EQ(firstBar, rig.band()->bandWindow);
    EXPECT_EQ(first.frame, rig.band()->topWindow);
    OpenLink(L"http://127.0.0.1/headline", 0);
    EXPECT_EQ(1u, firstBrowser.navigations.size()) << "links open in the front window's browser";
    EXPECT_EQ(0u, secondBrowser.navigations.size());

    EXPECT_HR(S_OK, secondBrowser.FireWindowStateChanged(0x3, 0x2)) << "a mask without the visible bit";
    EXPECT_EQ(firstBar, rig.band()->bandWindow);
    EXPECT_HR(S_OK, secondBrowser.FireWindowStateChanged(0x1, 0x3));
    EXPECT_EQ(secondBar, rig.band()->bandWindow);
    EXPECT_EQ(second.frame, rig.band()->topWindow);
    SetForegroundWindow(second.frame);
    EXPECT_TRUE(drawsIn(secondBar, RGB(200, 0, 200)));
    EXPECT_HR(S_OK, firstBrowser.FireWindowStateChanged(0x1, 0x1));
    SetForegroundWindow(first.frame);
    EXPECT_TRUE(drawsIn(firstBar, RGB(200, 200, 0)));

    EXPECT_HR(DISP_E_MEMBERNOTFOUND, firstBrowser.Fire(261, NULL, 0));
    EXPECT_HR(DISP_E_MEMBERNOTFOUND, firstBrowser.Fire(273, NULL, 0));
    EXPECT_HR(S_OK, firstBrowser.Fire(271, NULL, 0));

    /* Arguments the event does not carry, or of another type, do nothing. */
    VARIANT one;
    V_VT(&one) = VT_I4;
    V_I4(&one) = 1;
    EXPECT_HR(S_OK, secondBrowser.Fire(283, &one, 1));
    VARIANT texts[2];
    for (VARIANT &text : texts) {
        V_VT(&text) = VT_BSTR;
        V_BSTR(&text) = NULL;
    }
    EXPECT_HR(S_OK, secondBrowser.Fire(283, texts, 2));
    EXPECT_EQ(firstBar, rig.band()->bandWindow);

    /* The active band leaves: its browser is never navigated again. */
    HWND firstTicker = GetDlgItem(firstBar, TICKER_ID);
    POINT inside = { 100, 10 };
    ClientToScreen(firstTicker, &inside);
    SetCursorPos(inside.x, inside.y);
    ASSERT_HR(S_OK, SetSite(firstBand, NULL));
    EXPECT_EQ(1, firstBrowser.refs);
    SendMessageA(GetDlgItem(secondBar, TICKER_ID), WM_LBUTTONUP, 0, MAKELPARAM(100, 10));
    OpenLink(L"http://127.0.0.1/after", 0);
    EXPECT_EQ(1u, firstBrowser.navigations.size());
    EXPECT_EQ(0u, secondBrowser.navigations.size());

    /* A later WindowStateChanged of the other band restores everything. */
    EXPECT_HR(S_OK, secondBrowser.FireWindowStateChanged(0x1, 0x1));
    SetForegroundWindow(second.frame);
    EXPECT_TRUE(drawsIn(secondBar, RGB(0, 200, 200)));
    OpenLink(L"http://127.0.0.1/again", 0);
    EXPECT_EQ(1u, secondBrowser.navigations.size());
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
    ASSERT_HR(S_OK, site.Host((IUnknown *)bands[0]));
    BoxWatcher boxes;
    for (const WCHAR *url : { L"about:velmora", L"ABOUT:Velmora" }) {
        VARIANT_BOOL cancel = VARIANT_FALSE;
        int before = boxes.Count();
        EXPECT_HR(S_OK, browser.FireBeforeNavigate2(url, &cancel));
        EXPECT_EQ(before + 1, boxes.Count());
        EXPECT_EQ(AboutText(), boxes.LastText());
        EXPECT_EQ(site.frame, boxes.LastOwner()) << "in front of its browser window";
        EXPECT_EQ(VARIANT_TRUE, cancel);
    }
    EXPECT_EQ(ExpectedLanguage() == "de", AboutText().find("Datum") != std::string::npos);
    for (const WCHAR *url : { L"about:velmora/", L"about:velmora?x", L"http://127.0.0.1/" }) {
        VARIANT_BOOL cancel = VARIANT_FALSE;
        EXPECT_HR(S_OK, browser.FireBeforeNavigate2(url, &cancel));
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
    EXPECT_HR(S_OK, browser.Fire(250, args, 7));
    EXPECT_HR(S_OK, browser.Fire(250, args + 1, 6));
    EXPECT_EQ(2, boxes.Count());
    VariantClear(&url);
    ExpectAllReleased();
}

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
    ASSERT_HR(S_OK, CLSIDFromProgID(L"Internetexplorer.Application", &clsid));
    IWebBrowser2 *wine = NULL;
    /* Wine's own browser server, still ending from the test before, can
       answer for a moment that its class is missing. */
    HRESULT created = E_FAIL;
    PumpUntil([&] {
        created = CoCreateInstance(clsid, NULL, CLSCTX_LOCAL_SERVER, IID_IWebBrowser2, (void **)&wine);
        return created != REGDB_E_KEYMISSING;
    }, 5000);
    ASSERT_HR(S_OK, created);
    StandInSite site(wine);
    ASSERT_HR(S_OK, site.Host((IUnknown *)bands[0]));
    NavigationRecorder recorder = { { const_cast<IDispatchVtbl *>(&recorderVtbl) }, {} };
    IConnectionPointContainer *container = NULL;
    IConnectionPoint *point = NULL;
    DWORD cookie = 0;
    ASSERT_HR(S_OK, IWebBrowser2_QueryInterface(wine, IID_IConnectionPointContainer, (void **)&container));
    ASSERT_HR(S_OK, IConnectionPointContainer_FindConnectionPoint(container, DIID_DWebBrowserEvents2, &point));
    ASSERT_HR(S_OK, IConnectionPoint_Advise(point, (IUnknown *)&recorder.iface, &cookie));

    {
        BoxWatcher boxes;
        VARIANT empty;
        VariantInit(&empty);
        for (const WCHAR *url : { L"about:velmora", L"about:blank" }) {
            BSTR address = SysAllocString(url);
            EXPECT_HR(S_OK, IWebBrowser2_Navigate(wine, address, &empty, &empty, &empty, &empty));
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
    ASSERT_HR(S_OK, SetSite(bands[0], NULL));
    IWebBrowser2_Release(wine);
    CloseBrowserFrames();
    /* The other process lets go of the band's sink through this apartment. */
    BandObject *band = bands[0]->owner;
    EXPECT_TRUE(PumpUntil([band] { return band->refCount == 1; }, 10000));
    ExpectAllReleased();
}

}  // namespace
