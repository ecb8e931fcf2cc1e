/* The browser event sink of a band object (IDispatch for DWebBrowserEvents2)
   and its connection to the browser. Runs on the browser's window thread,
   where the browser fires its events. */
#ifndef VELMORA_BROWSER_EVENTS_H
#define VELMORA_BROWSER_EVENTS_H

#include <windows.h>
#include <ole2.h>
#include <ocidl.h>

/* A browser that cannot be listened to only sends no events. */
void ConnectBrowserEvents(IUnknown *band, IUnknown *browser, DWORD *cookie,
                             IConnectionPoint **connectionPoint);
void DisconnectBrowserEvents(IConnectionPoint *connectionPoint, DWORD cookie);

/* The sink's IDispatch methods; the band object's table puts its own
   QueryInterface, AddRef and Release before them. */
HRESULT STDMETHODCALLTYPE EventSink_GetTypeInfoCount(IDispatch *iface, UINT *count);
HRESULT STDMETHODCALLTYPE EventSink_GetTypeInfo(IDispatch *iface, UINT index, LCID lcid, ITypeInfo **info);
HRESULT STDMETHODCALLTYPE EventSink_GetIDsOfNames(IDispatch *iface, REFIID riid, LPOLESTR *names,
                                                  UINT count, LCID lcid, DISPID *ids);
HRESULT STDMETHODCALLTYPE EventSink_Invoke(IDispatch *iface, DISPID member, REFIID riid, LCID lcid,
                                           WORD flags, DISPPARAMS *params, VARIANT *result,
                                           EXCEPINFO *exception, UINT *argumentError);

#endif
