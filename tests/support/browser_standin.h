/* A stand-in for the browser: an IWebBrowser2 that records each Navigate
   and answers everything else with E_NOTIMPL, counting those calls. */
#ifndef VELMORA_TEST_BROWSER_STANDIN_H
#define VELMORA_TEST_BROWSER_STANDIN_H

#include <windows.h>
#include <exdisp.h>
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

struct StandInBrowser {
    IWebBrowser2 iface;
    LONG refs;
    std::vector<NavigateCall> navigations;
    int unexpectedCalls;

    StandInBrowser();
    IWebBrowser2 *browser() { return &iface; }
};

#endif
