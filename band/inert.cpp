/* The three interfaces the band answers but that do no work: IPersistStream
   (the band keeps no state in the browser's stream), IDocHostUIHandler and
   IBindStatusCallback (nothing hosts a document or binds with the band). */
#include "band/band.h"
#include <urlmon.h>
#include <mshtmhst.h>

/* IPersistStream */

static HRESULT STDMETHODCALLTYPE PersistStream_GetClassID(IPersistStream *iface, CLSID *clsid)
{
    if (!clsid)
        return E_INVALIDARG;
    *clsid = OwnerOf(iface)->classIdCopy;
    return S_OK;
}

static HRESULT STDMETHODCALLTYPE PersistStream_IsDirty(IPersistStream *iface)
{
    (void)iface;
    return S_FALSE;
}

static HRESULT STDMETHODCALLTYPE PersistStream_Load(IPersistStream *iface, IStream *stream)
{
    (void)iface;
    (void)stream;
    return S_OK;
}

static HRESULT STDMETHODCALLTYPE PersistStream_Save(IPersistStream *iface, IStream *stream, BOOL clearDirty)
{
    (void)iface;
    (void)stream;
    (void)clearDirty;
    return S_OK;
}

static HRESULT STDMETHODCALLTYPE PersistStream_GetSizeMax(IPersistStream *iface, ULARGE_INTEGER *size)
{
    (void)iface;
    (void)size;
    return E_NOTIMPL;
}

const IPersistStreamVtbl persistStreamTable = {
    BAND_UNKNOWN_SLOTS(IPersistStream),
    PersistStream_GetClassID,
    PersistStream_IsDirty,
    PersistStream_Load,
    PersistStream_Save,
    PersistStream_GetSizeMax
};

/* IDocHostUIHandler */

static HRESULT STDMETHODCALLTYPE DocHost_ShowContextMenu(IDocHostUIHandler *iface, DWORD id, POINT *point,
                                                         IUnknown *target, IDispatch *object)
{
    (void)iface; (void)id; (void)point; (void)target; (void)object;
    return S_OK;   /* handled: no context menu */
}

static HRESULT STDMETHODCALLTYPE DocHost_GetHostInfo(IDocHostUIHandler *iface, DOCHOSTUIINFO *info)
{
    (void)iface;
    if (!info)
        return E_INVALIDARG;
    info->cbSize = 20;
    info->dwFlags = DOCHOSTUIFLAG_NO3DBORDER | DOCHOSTUIFLAG_SCROLL_NO | DOCHOSTUIFLAG_THEME;
    return S_OK;
}

static HRESULT STDMETHODCALLTYPE DocHost_ShowUI(IDocHostUIHandler *iface, DWORD id, IOleInPlaceActiveObject *active,
                                                IOleCommandTarget *target, IOleInPlaceFrame *frame,
                                                IOleInPlaceUIWindow *document)
{
    (void)iface; (void)id; (void)active; (void)target; (void)frame; (void)document;
    return E_NOTIMPL;
}

static HRESULT STDMETHODCALLTYPE DocHost_NoArguments(IDocHostUIHandler *iface)
{
    (void)iface;
    return E_NOTIMPL;
}

static HRESULT STDMETHODCALLTYPE DocHost_Flag(IDocHostUIHandler *iface, BOOL flag)
{
    (void)iface; (void)flag;
    return E_NOTIMPL;
}

static HRESULT STDMETHODCALLTYPE DocHost_ResizeBorder(IDocHostUIHandler *iface, LPCRECT border,
                                                      IOleInPlaceUIWindow *window, BOOL frameWindow)
{
    (void)iface; (void)border; (void)window; (void)frameWindow;
    return E_NOTIMPL;
}

static HRESULT STDMETHODCALLTYPE DocHost_TranslateAccelerator(IDocHostUIHandler *iface, MSG *msg,
                                                              const GUID *group, DWORD command)
{
    (void)iface; (void)msg; (void)group; (void)command;
    return E_NOTIMPL;
}

static HRESULT STDMETHODCALLTYPE DocHost_GetOptionKeyPath(IDocHostUIHandler *iface, LPOLESTR *key, DWORD reserved)
{
    (void)iface; (void)reserved;
    if (key)
        *key = NULL;
    return E_NOTIMPL;
}

static HRESULT STDMETHODCALLTYPE DocHost_GetDropTarget(IDocHostUIHandler *iface, IDropTarget *target,
                                                       IDropTarget **replacement)
{
    (void)iface; (void)target;
    if (replacement)
        *replacement = NULL;
    return E_NOTIMPL;
}

/* There is no external object; handing out a pointer without a reference
   would let the caller's Release free the band. */
static HRESULT STDMETHODCALLTYPE DocHost_GetExternal(IDocHostUIHandler *iface, IDispatch **external)
{
    (void)iface;
    if (external)
        *external = NULL;
    return E_NOTIMPL;
}

static HRESULT STDMETHODCALLTYPE DocHost_TranslateUrl(IDocHostUIHandler *iface, DWORD translate, LPWSTR url,
                                                      LPWSTR *translated)
{
    (void)iface; (void)translate; (void)url;
    if (translated)
        *translated = NULL;
    return E_NOTIMPL;
}

static HRESULT STDMETHODCALLTYPE DocHost_FilterDataObject(IDocHostUIHandler *iface, IDataObject *data,
                                                          IDataObject **replacement)
{
    (void)iface; (void)data;
    if (replacement)
        *replacement = NULL;
    return E_NOTIMPL;
}

const IDocHostUIHandlerVtbl docHostUIHandlerTable = {
    BAND_UNKNOWN_SLOTS(IDocHostUIHandler),
    DocHost_ShowContextMenu,
    DocHost_GetHostInfo,
    DocHost_ShowUI,
    DocHost_NoArguments,            /* HideUI */
    DocHost_NoArguments,            /* UpdateUI */
    DocHost_Flag,                   /* EnableModeless */
    DocHost_Flag,                   /* OnDocWindowActivate */
    DocHost_Flag,                   /* OnFrameWindowActivate */
    DocHost_ResizeBorder,
    DocHost_TranslateAccelerator,
    DocHost_GetOptionKeyPath,
    DocHost_GetDropTarget,
    DocHost_GetExternal,
    DocHost_TranslateUrl,
    DocHost_FilterDataObject
};

/* IBindStatusCallback */

static HRESULT STDMETHODCALLTYPE Bind_OnStartBinding(IBindStatusCallback *iface, DWORD reserved, IBinding *binding)
{
    (void)iface; (void)reserved; (void)binding;
    return S_OK;
}

static HRESULT STDMETHODCALLTYPE Bind_GetPriority(IBindStatusCallback *iface, LONG *priority)
{
    (void)iface; (void)priority;
    return E_NOTIMPL;
}

static HRESULT STDMETHODCALLTYPE Bind_OnLowResource(IBindStatusCallback *iface, DWORD reserved)
{
    (void)iface; (void)reserved;
    return S_OK;
}

static HRESULT STDMETHODCALLTYPE Bind_OnProgress(IBindStatusCallback *iface, ULONG progress, ULONG progressMax,
                                                 ULONG status, LPCWSTR text)
{
    (void)iface; (void)progress; (void)progressMax; (void)status; (void)text;
    return S_OK;
}

static HRESULT STDMETHODCALLTYPE Bind_OnStopBinding(IBindStatusCallback *iface, HRESULT result, LPCWSTR error)
{
    (void)iface; (void)result; (void)error;
    return S_OK;
}

static HRESULT STDMETHODCALLTYPE Bind_GetBindInfo(IBindStatusCallback *iface, DWORD *flags, BINDINFO *info)
{
    (void)iface; (void)flags; (void)info;
    return E_NOTIMPL;
}

/* Nothing binds with this callback, so data and objects are never wanted. */
static HRESULT STDMETHODCALLTYPE Bind_OnDataAvailable(IBindStatusCallback *iface, DWORD flags, DWORD size,
                                                      FORMATETC *format, STGMEDIUM *medium)
{
    (void)iface; (void)flags; (void)size; (void)format; (void)medium;
    return E_NOTIMPL;
}

static HRESULT STDMETHODCALLTYPE Bind_OnObjectAvailable(IBindStatusCallback *iface, REFIID riid, IUnknown *object)
{
    (void)iface; (void)riid; (void)object;
    return E_NOTIMPL;
}

const IBindStatusCallbackVtbl bindStatusCallbackTable = {
    BAND_UNKNOWN_SLOTS(IBindStatusCallback),
    Bind_OnStartBinding,
    Bind_GetPriority,
    Bind_OnLowResource,
    Bind_OnProgress,
    Bind_OnStopBinding,
    Bind_GetBindInfo,
    Bind_OnDataAvailable,
    Bind_OnObjectAvailable
};
