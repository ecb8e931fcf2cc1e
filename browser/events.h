/* The browser event sink of a band object (IDispatch for DWebBrowserEvents2)
   and its connection to the browser. Runs on the browser's window thread,
   where the browser fires its events. */
#ifndef VELMORA_BROWSER_EVENTS_H
#define VELMORA_BROWSER_EVENTS_H

#include <windows.h>
#include <ole2.h>
#include <ocidl.h>

/* Always S_OK: a browser that cannot be listened to only sends no events. */
HRESULT ConnectBrowserEvents(IUnknown *band, IUnknown *browser, DWORD *cookie,
                             IConnectionPoint **connectionPoint);
HRESULT DisconnectBrowserEvents(IConnectionPoint *connectionPoint, DWORD cookie);

extern const IDispatchVtbl eventSinkTable;

#endif
