/* The ticker window as Active Accessibility shows it: a list named after
   the feed whose children are the headlines, each a link named by its
   title, described by its clean description, opened by its default action;
   the headline the keys chose has the focus. Children are the list's
   items, so they change only when a new list loads, never with a frame.
   Calls arrive on the window thread (the object lives in its apartment);
   the object keeps only the window and finds the live ticker at each call,
   so a screen reader that holds it past the band gets a failure, and the
   module stays loaded while it is held. Item slots are read as the window
   thread reads the hover: a reload keeps the list it replaced alive one
   reload longer. */
#include "ticker/access.h"
#include "ticker/ticker.h"
#include "feeds/feeds.h"
#include "core/module.h"
#include "core/handoff.h"
#include "resources/resource.h"
#include <oleacc.h>

struct TickerAccessible {
    IAccessible iface;
    volatile LONG refCount;
    HWND window;
    IAccessible *standard;   /* the system's object for the window: parent, place, siblings */
};

static TickerAccessible *AccessibleOf(IAccessible *iface)
{
    return (TickerAccessible *)iface;
}

/* The ticker and the child's item index (-1: the list itself). */
static HRESULT FindChild(TickerAccessible *acc, VARIANT child, TickerState **ticker, LONG *index)
{
    *ticker = TickerFromWindow(acc->window);
    if (!*ticker)
        return E_FAIL;
    if (V_VT(&child) != VT_I4)
        return E_INVALIDARG;
    LONG id = V_I4(&child);
    if (id == CHILDID_SELF) {
        *index = -1;
        return S_OK;
    }
    if (id < 1 || id > (*ticker)->itemCount)
        return E_INVALIDARG;
    *index = id - 1;
    return S_OK;
}

static void SetChildId(VARIANT *out, LONG id)
{
    V_VT(out) = VT_I4;
    V_I4(out) = id;
}

/* A text of an item's node, or S_FALSE and null when it has none. */
static HRESULT ItemText(TickerState *ticker, LONG index, int field, BSTR *text)
{
    *text = NULL;
    IXMLDOMNode *node = ticker->items[index].node;
    if (!node)
        return S_FALSE;
    IXMLDOMNode_AddRef(node);
    if (GetFeedItemText(node, field, text) != S_OK)
        *text = NULL;
    IXMLDOMNode_Release(node);
    return *text ? S_OK : S_FALSE;
}

static HRESULT CopyText(const WCHAR *text, BSTR *out)
{
    *out = text ? SysAllocString(text) : NULL;
    if (text && !*out)
        return E_OUTOFMEMORY;
    return *out ? S_OK : S_FALSE;
}

/* ---- IUnknown ---- */

static HRESULT STDMETHODCALLTYPE Accessible_QueryInterface(IAccessible *iface, REFIID riid, void **ppv)
{
    if (!ppv)
        return E_POINTER;
    *ppv = NULL;
    if (!IsEqualIID(riid, IID_IUnknown) && !IsEqualIID(riid, IID_IDispatch) &&
        !IsEqualIID(riid, IID_IAccessible))
        return E_NOINTERFACE;
    *ppv = iface;
    IAccessible_AddRef(iface);
    return S_OK;
}

static ULONG STDMETHODCALLTYPE Accessible_AddRef(IAccessible *iface)
{
    return (ULONG)InterlockedIncrement(&AccessibleOf(iface)->refCount);
}

static ULONG STDMETHODCALLTYPE Accessible_Release(IAccessible *iface)
{
    TickerAccessible *acc = AccessibleOf(iface);
    LONG count = InterlockedDecrement(&acc->refCount);
    if (count > 0)
        return (ULONG)count;
    if (acc->standard)
        IAccessible_Release(acc->standard);
    GlobalFree(acc);
    UnlockModule();
    return 0;
}

/* ---- IDispatch: screen readers call the methods directly ---- */

static HRESULT STDMETHODCALLTYPE Accessible_GetTypeInfoCount(IAccessible *iface, UINT *count)
{
    (void)iface;
    if (!count)
        return E_POINTER;
    *count = 0;
    return S_OK;
}

static HRESULT STDMETHODCALLTYPE Accessible_GetTypeInfo(IAccessible *iface, UINT index, LCID lcid,
                                                        ITypeInfo **info)
{
    (void)iface;
    (void)index;
    (void)lcid;
    if (info)
        *info = NULL;
    return E_NOTIMPL;
}

static HRESULT STDMETHODCALLTYPE Accessible_GetIDsOfNames(IAccessible *iface, REFIID riid, LPOLESTR *names,
                                                          UINT count, LCID lcid, DISPID *ids)
{
    (void)iface;
    (void)riid;
    (void)names;
    (void)count;
    (void)lcid;
    (void)ids;
    return E_NOTIMPL;
}

static HRESULT STDMETHODCALLTYPE Accessible_Invoke(IAccessible *iface, DISPID member, REFIID riid, LCID lcid,
                                                   WORD flags, DISPPARAMS *params, VARIANT *result,
                                                   EXCEPINFO *exception, UINT *argError)
{
    (void)iface;
    (void)member;
    (void)riid;
    (void)lcid;
    (void)flags;
    (void)params;
    (void)result;
    (void)exception;
    (void)argError;
    return E_NOTIMPL;
}

/* ---- IAccessible ---- */

static HRESULT STDMETHODCALLTYPE Accessible_get_accParent(IAccessible *iface, IDispatch **parent)
{
    return IAccessible_get_accParent(AccessibleOf(iface)->standard, parent);
}

static HRESULT STDMETHODCALLTYPE Accessible_get_accChildCount(IAccessible *iface, LONG *count)
{
    if (!count)
        return E_POINTER;
    TickerState *ticker = TickerFromWindow(AccessibleOf(iface)->window);
    *count = ticker ? ticker->itemCount : 0;
    return ticker ? S_OK : E_FAIL;
}

/* Headlines are simple children: no objects of their own. */
static HRESULT STDMETHODCALLTYPE Accessible_get_accChild(IAccessible *iface, VARIANT child, IDispatch **out)
{
    if (!out)
        return E_POINTER;
    *out = NULL;
    TickerState *ticker;
    LONG index;
    HRESULT hr = FindChild(AccessibleOf(iface), child, &ticker, &index);
    if (FAILED(hr))
        return hr;
    return index < 0 ? E_INVALIDARG : S_FALSE;
}

/* The start of a property answered in a string: out cleared, the child found. */
static HRESULT FindChildForText(TickerAccessible *acc, VARIANT child, BSTR *out, TickerState **ticker,
                                LONG *index)
{
    if (!out)
        return E_POINTER;
    *out = NULL;
    return FindChild(acc, child, ticker, index);
}

/* The list's name is the feed's title; a headline's name is its title,
   its value the address as written in the feed, its description the
   clean description. field: -1 for the name, else the feed field. */
static HRESULT ReadChildText(IAccessible *iface, VARIANT child, int field, BSTR *out)
{
    TickerState *ticker;
    LONG index;
    HRESULT hr = FindChildForText(AccessibleOf(iface), child, out, &ticker, &index);
    if (FAILED(hr))
        return hr;
    if (field < 0)
        return CopyText(index < 0 ? ticker->feedTitle : ticker->items[index].title, out);
    return index < 0 ? S_FALSE : ItemText(ticker, index, field, out);
}

static HRESULT STDMETHODCALLTYPE Accessible_get_accName(IAccessible *iface, VARIANT child, BSTR *name)
{
    return ReadChildText(iface, child, -1, name);
}

static HRESULT STDMETHODCALLTYPE Accessible_get_accValue(IAccessible *iface, VARIANT child, BSTR *value)
{
    return ReadChildText(iface, child, FEED_ITEM_LINK, value);
}

static HRESULT STDMETHODCALLTYPE Accessible_get_accDescription(IAccessible *iface, VARIANT child, BSTR *text)
{
    return ReadChildText(iface, child, FEED_ITEM_DESCRIPTION, text);
}

/* The start of a property answered in a VARIANT: out cleared, the child found. */
static HRESULT FindChildFor(TickerAccessible *acc, VARIANT child, VARIANT *out, TickerState **ticker,
                            LONG *index)
{
    if (!out)
        return E_POINTER;
    VariantInit(out);
    return FindChild(acc, child, ticker, index);
}

static HRESULT STDMETHODCALLTYPE Accessible_get_accRole(IAccessible *iface, VARIANT child, VARIANT *role)
{
    TickerState *ticker;
    LONG index;
    HRESULT hr = FindChildFor(AccessibleOf(iface), child, role, &ticker, &index);
    if (FAILED(hr))
        return hr;
    SetChildId(role, index < 0 ? ROLE_SYSTEM_LIST : ROLE_SYSTEM_LINK);
    return S_OK;
}

static LONG ItemState(HWND window, const TickerState *ticker, LONG index)
{
    const TickerItem *item = &ticker->items[index];
    LONG state = STATE_SYSTEM_FOCUSABLE | STATE_SYSTEM_LINKED;
    if (item->flags & ITEM_HIDDEN)
        state |= STATE_SYSTEM_INVISIBLE;
    else if (IsRectEmpty(&item->rect))
        state |= STATE_SYSTEM_OFFSCREEN;
    if (item->flags & ITEM_HOVERED)
        state |= STATE_SYSTEM_HOTTRACKED;
    if (GetFocus() == window && ticker->focusIndex == index)
        state |= STATE_SYSTEM_FOCUSED;
    return state;
}

static HRESULT STDMETHODCALLTYPE Accessible_get_accState(IAccessible *iface, VARIANT child, VARIANT *state)
{
    TickerAccessible *acc = AccessibleOf(iface);
    TickerState *ticker;
    LONG index;
    HRESULT hr = FindChildFor(acc, child, state, &ticker, &index);
    if (FAILED(hr))
        return hr;
    if (index >= 0) {
        SetChildId(state, ItemState(acc->window, ticker, index));
        return S_OK;
    }
    LONG own = STATE_SYSTEM_FOCUSABLE;
    if (GetFocus() == acc->window)
        own |= STATE_SYSTEM_FOCUSED;
    if (!IsWindowVisible(acc->window))
        own |= STATE_SYSTEM_INVISIBLE;
    SetChildId(state, own);
    return S_OK;
}

static HRESULT STDMETHODCALLTYPE Accessible_get_accHelp(IAccessible *iface, VARIANT child, BSTR *help)
{
    (void)iface;
    (void)child;
    if (!help)
        return E_POINTER;
    *help = NULL;
    return S_FALSE;
}

static HRESULT STDMETHODCALLTYPE Accessible_get_accHelpTopic(IAccessible *iface, BSTR *file, VARIANT child,
                                                             LONG *topic)
{
    (void)iface;
    (void)child;
    if (file)
        *file = NULL;
    if (topic)
        *topic = 0;
    return S_FALSE;
}

static HRESULT STDMETHODCALLTYPE Accessible_get_accKeyboardShortcut(IAccessible *iface, VARIANT child,
                                                                    BSTR *shortcut)
{
    (void)iface;
    (void)child;
    if (!shortcut)
        return E_POINTER;
    *shortcut = NULL;
    return S_FALSE;
}

static HRESULT STDMETHODCALLTYPE Accessible_get_accFocus(IAccessible *iface, VARIANT *focus)
{
    if (!focus)
        return E_POINTER;
    VariantInit(focus);
    TickerAccessible *acc = AccessibleOf(iface);
    TickerState *ticker = TickerFromWindow(acc->window);
    if (!ticker)
        return E_FAIL;
    if (GetFocus() != acc->window)
        return S_FALSE;
    LONG index = ticker->focusIndex;
    SetChildId(focus, index >= 0 && index < ticker->itemCount ? index + 1 : CHILDID_SELF);
    return S_OK;
}

static HRESULT STDMETHODCALLTYPE Accessible_get_accSelection(IAccessible *iface, VARIANT *selection)
{
    (void)iface;
    if (!selection)
        return E_POINTER;
    VariantInit(selection);
    return S_FALSE;
}

static HRESULT STDMETHODCALLTYPE Accessible_get_accDefaultAction(IAccessible *iface, VARIANT child, BSTR *action)
{
    TickerState *ticker;
    LONG index;
    HRESULT hr = FindChildForText(AccessibleOf(iface), child, action, &ticker, &index);
    if (FAILED(hr) || index < 0)
        return FAILED(hr) ? hr : S_FALSE;
    WCHAR text[64];
    if (!LoadStringW(moduleHandle, IDS_ACC_OPEN, text, 64))
        return S_FALSE;
    return CopyText(text, action);
}

/* Taking the focus steps the keyboard to the headline. */
static HRESULT STDMETHODCALLTYPE Accessible_accSelect(IAccessible *iface, LONG flags, VARIANT child)
{
    TickerAccessible *acc = AccessibleOf(iface);
    TickerState *ticker;
    LONG index;
    HRESULT hr = FindChild(acc, child, &ticker, &index);
    if (FAILED(hr))
        return hr;
    if (flags != SELFLAG_TAKEFOCUS)
        return DISP_E_MEMBERNOTFOUND;
    SetFocus(acc->window);
    if (index >= 0)
        RequestHeadlineFocus(ticker, index);
    return S_OK;
}

static HRESULT STDMETHODCALLTYPE Accessible_accLocation(IAccessible *iface, LONG *left, LONG *top, LONG *width,
                                                        LONG *height, VARIANT child)
{
    if (!left || !top || !width || !height)
        return E_POINTER;
    *left = *top = *width = *height = 0;
    TickerAccessible *acc = AccessibleOf(iface);
    TickerState *ticker;
    LONG index;
    HRESULT hr = FindChild(acc, child, &ticker, &index);
    if (FAILED(hr))
        return hr;
    if (index < 0)
        return IAccessible_accLocation(acc->standard, left, top, width, height, child);
    RECT rect = ticker->items[index].rect;
    if (IsRectEmpty(&rect))
        return S_FALSE;
    MapWindowPoints(acc->window, NULL, (POINT *)&rect, 2);
    *left = rect.left;
    *top = rect.top;
    *width = rect.right - rect.left;
    *height = rect.bottom - rect.top;
    return S_OK;
}

static HRESULT STDMETHODCALLTYPE Accessible_accNavigate(IAccessible *iface, LONG direction, VARIANT start,
                                                        VARIANT *end)
{
    TickerAccessible *acc = AccessibleOf(iface);
    TickerState *ticker;
    LONG index;
    HRESULT hr = FindChildFor(acc, start, end, &ticker, &index);
    if (FAILED(hr))
        return hr;
    LONG count = ticker->itemCount, to = -1;
    if (index < 0) {
        if (direction != NAVDIR_FIRSTCHILD && direction != NAVDIR_LASTCHILD)
            return IAccessible_accNavigate(acc->standard, direction, start, end);
        to = direction == NAVDIR_FIRSTCHILD ? 0 : count - 1;
    } else if (direction == NAVDIR_NEXT || direction == NAVDIR_RIGHT) {
        to = index + 1;
    } else if (direction == NAVDIR_PREVIOUS || direction == NAVDIR_LEFT) {
        to = index - 1;
    }
    if (to < 0 || to >= count)
        return S_FALSE;
    SetChildId(end, to + 1);
    return S_OK;
}

static HRESULT STDMETHODCALLTYPE Accessible_accHitTest(IAccessible *iface, LONG x, LONG y, VARIANT *hit)
{
    if (!hit)
        return E_POINTER;
    VariantInit(hit);
    TickerAccessible *acc = AccessibleOf(iface);
    TickerState *ticker = TickerFromWindow(acc->window);
    if (!ticker)
        return E_FAIL;
    POINT at = { x, y };
    RECT client;
    GetClientRect(acc->window, &client);
    ScreenToClient(acc->window, &at);
    if (!PtInRect(&client, at))
        return S_FALSE;
    LONG id = CHILDID_SELF;
    for (LONG i = 0; i < ticker->itemCount && id == CHILDID_SELF; i++)
        if (PtInRect(&ticker->items[i].rect, at))
            id = i + 1;
    SetChildId(hit, id);
    return S_OK;
}

static HRESULT STDMETHODCALLTYPE Accessible_accDoDefaultAction(IAccessible *iface, VARIANT child)
{
    TickerState *ticker;
    LONG index;
    HRESULT hr = FindChild(AccessibleOf(iface), child, &ticker, &index);
    if (FAILED(hr))
        return hr;
    IXMLDOMNode *node = index >= 0 ? ticker->items[index].node : NULL;
    if (!node)
        return DISP_E_MEMBERNOTFOUND;
    IXMLDOMNode_AddRef(node);
    OpenItemLink(node, 0);
    IXMLDOMNode_Release(node);
    return S_OK;
}

static HRESULT STDMETHODCALLTYPE Accessible_put_accName(IAccessible *iface, VARIANT child, BSTR name)
{
    (void)iface;
    (void)child;
    (void)name;
    return E_NOTIMPL;
}

static HRESULT STDMETHODCALLTYPE Accessible_put_accValue(IAccessible *iface, VARIANT child, BSTR value)
{
    (void)iface;
    (void)child;
    (void)value;
    return E_NOTIMPL;
}

static const IAccessibleVtbl accessibleTable = {
    Accessible_QueryInterface,
    Accessible_AddRef,
    Accessible_Release,
    Accessible_GetTypeInfoCount,
    Accessible_GetTypeInfo,
    Accessible_GetIDsOfNames,
    Accessible_Invoke,
    Accessible_get_accParent,
    Accessible_get_accChildCount,
    Accessible_get_accChild,
    Accessible_get_accName,
    Accessible_get_accValue,
    Accessible_get_accDescription,
    Accessible_get_accRole,
    Accessible_get_accState,
    Accessible_get_accHelp,
    Accessible_get_accHelpTopic,
    Accessible_get_accKeyboardShortcut,
    Accessible_get_accFocus,
    Accessible_get_accSelection,
    Accessible_get_accDefaultAction,
    Accessible_accSelect,
    Accessible_accLocation,
    Accessible_accNavigate,
    Accessible_accHitTest,
    Accessible_accDoDefaultAction,
    Accessible_put_accName,
    Accessible_put_accValue,
};

static IAccessible *CreateTickerAccessible(HWND window)
{
    TickerAccessible *acc = (TickerAccessible *)GlobalAlloc(GPTR, sizeof(TickerAccessible));
    if (!acc)
        return NULL;
    if (FAILED(CreateStdAccessibleObject(window, OBJID_CLIENT, IID_IAccessible, (void **)&acc->standard))) {
        GlobalFree(acc);
        return NULL;
    }
    acc->iface.lpVtbl = const_cast<IAccessibleVtbl *>(&accessibleTable);
    acc->refCount = 1;
    acc->window = window;
    LockModule();
    return &acc->iface;
}

/* Only the client area is ours; the frame and the rest stay the system's. */
LRESULT TickerOnGetObject(HWND window, WPARAM flags, LPARAM objectId)
{
    if ((LONG)objectId != OBJID_CLIENT || !TickerFromWindow(window))
        return CallWindowProcA(DefWindowProcA, window, WM_GETOBJECT, flags, objectId);
    IAccessible *acc = CreateTickerAccessible(window);
    if (!acc)
        return 0;
    LRESULT result = LresultFromObject(IID_IAccessible, flags, (IUnknown *)acc);
    IAccessible_Release(acc);
    return result;
}
