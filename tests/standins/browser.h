/* A stand-in for the browser: an IWebBrowser2 that records each Navigate
   and answers everything else with E_NOTIMPL, counting those calls, with a
   connection point container whose DWebBrowserEvents2 point fires events
   into the sinks advised to it. No test framework inside: the stand-in
   browser program gives it a host, which then also answers Navigate,
   Stop, Quit, put_Visible and ShowBrowserBar. */
#ifndef VELMORA_TEST_BROWSER_STANDIN_H
#define VELMORA_TEST_BROWSER_STANDIN_H

#include <windows.h>
#include <exdisp.h>
#include <ocidl.h>
#include <string>
#include <vector>

struct NavigateCall {
    std::wstring url;
    VARTYPE flagsType;
    VARTYPE targetType;
    std::wstring target;
    VARTYPE postDataType;
    VARTYPE headersType;
};

struct StandInBrowser;

/* What a browser program does behind the interface. */
struct BrowserHost {
    virtual HRESULT Navigate(StandInBrowser *browser, const WCHAR *url) = 0;
    virtual HRESULT ShowBrowserBar(StandInBrowser *browser, const WCHAR *clsid, bool show) = 0;
    virtual HRESULT SetVisible(bool visible) = 0;
    virtual HRESULT Quit() = 0;
};

/* An interface of the stand-in with the way back to it. */
template <class Interface> struct StandInPart {
    Interface iface;
    StandInBrowser *owner;
};

struct StandInBrowser {
    IWebBrowser2 iface;
    StandInPart<IConnectionPointContainer> container;
    StandInPart<IConnectionPoint> point;
    LONG refs;          /* one count for all three interfaces */
    std::vector<NavigateCall> navigations;
    std::vector<IDispatch *> sinks;     /* cookie n is sinks[n - 1]; null once unadvised */
    BrowserHost *host;  /* null in the tests: only Navigate is recorded */

    StandInBrowser();
    IWebBrowser2 *browser() { return &iface; }
    size_t AdvisedSinks() const;

    /* Fires into every advised sink; the result is the last sink's. */
    HRESULT Fire(DISPID member, VARIANT *args, UINT count);
    /* BeforeNavigate2 with its seven arguments; *cancel as the sinks left it. */
    HRESULT FireBeforeNavigate2(const WCHAR *url, VARIANT_BOOL *cancel);
    HRESULT FireWindowStateChanged(DWORD flags, DWORD mask);
};

/* Calls no real host would make of a stand-in, or that only a browser
   program answers: one count for every stand-in of the process, which the
   test rigs check in their teardown. */
void CountUnexpectedCall();
LONG UnexpectedStandInCalls();

#endif
