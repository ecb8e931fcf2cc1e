/* A stand-in band site: one browser window (a top-level frame with a real
   site window inside) and the site object a browser hands its bands, with
   IInputObjectSite, IOleWindow and IServiceProvider (SID_STopLevelBrowser,
   then IID_IWebBrowserApp to the browser given). Two of them in one process
   model two tabs. No test framework inside: a stand-in browser program can
   host the band with it as well. */
#ifndef VELMORA_TEST_SITE_STANDIN_H
#define VELMORA_TEST_SITE_STANDIN_H

#include "tests/standins/browser.h"
#include <shobjidl.h>
#include <servprov.h>

/* What the site object answers. */
enum {
    SITE_INPUT_OBJECT_SITE = 0x1,
    SITE_OLE_WINDOW = 0x2,
    SITE_BROWSER = 0x4,
    SITE_ALL = 0x7
};

struct StandInSite;

template <class Interface> struct SitePart {
    Interface iface;
    StandInSite *owner;
};

struct StandInSite {
    /* The frame at (x, y), width wide; browser may be null. */
    StandInSite(IWebBrowser2 *browser, int x = 0, int y = 0, DWORD offers = SITE_ALL, int width = 1060);
    /* Only the site window, a hidden child of a browser program's frame. */
    StandInSite(IWebBrowser2 *browser, HWND parent);
    ~StandInSite();
    StandInSite(const StandInSite &) = delete;
    StandInSite &operator=(const StandInSite &) = delete;

    IUnknown *site() { return (IUnknown *)&inputSite.iface; }
    /* As a browser shows a band: sites it, places its window and shows it. */
    HRESULT Host(IUnknown *band);
    void Resize(int width);

    SitePart<IInputObjectSite> inputSite;
    SitePart<IOleWindow> oleWindow;
    SitePart<IServiceProvider> services;
    IWebBrowser2 *browser;
    DWORD offers;
    LONG refs;          /* references the band holds on the site object */
    int focusChanges;   /* OnFocusChangeIS calls */
    bool bandFocused;   /* what the last of them said */
    HWND frame;         /* null when the site window lives in a program's frame */
    HWND window;        /* the site window, parent of the band's toolbar */

private:
    /* Each interface part pointed at its table and at this site. */
    void Wire();
};

#endif
