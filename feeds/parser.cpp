/* Feed documents: one DOM document per load, the feed root found by exact
   qualified names, and child lookups by name. Called on the rendering and
   feed-list threads (loads) and on the window thread (child texts of kept
   item nodes); nothing here keeps state. */
#include "feeds/feeds.h"
#include <shlwapi.h>

/* mingw's CLSID_DOMDocument names another class; this is MSXML 3's. */
static const CLSID CLSID_FeedDOMDocument =
    { 0xF6D90F11, 0x9C73, 0x11D3, { 0xB3, 0x2E, 0x00, 0xC0, 0x4F, 0x99, 0x0B, 0xB4 } };

#define FEED_URL_CHARS 1024

BSTR AnsiToBstr(const char *text)
{
    WCHAR buffer[FEED_URL_CHARS];
    if (!text || !MultiByteToWideChar(CP_ACP, MB_PRECOMPOSED, text, -1, buffer, FEED_URL_CHARS))
        buffer[0] = 0;   /* a text too long to convert whole is not cut into another URL */
    return SysAllocString(buffer);
}

int WideToAnsiCut(const WCHAR *text, char *buffer, int size)
{
    if (!buffer || size <= 0)
        return 0;
    buffer[0] = 0;
    int whole = text ? lstrlenW(text) : 0;
    /* Every character takes at least one byte. */
    int length = whole < size - 1 ? whole : size - 1;
    while (length > 0) {
        if (length < whole && IS_HIGH_SURROGATE(text[length - 1]))
            length--;
        int written = length > 0 ? WideCharToMultiByte(CP_ACP, 0, text, length, buffer, size - 1,
                                                       NULL, NULL) : 0;
        if (written > 0) {
            buffer[written] = 0;
            return written;
        }
        if (length <= 0 || GetLastError() != ERROR_INSUFFICIENT_BUFFER)
            break;
        /* Too long by some bytes: drop at least a third as many characters
           (no character takes more than three), so a long text takes few tries. */
        int needed = WideCharToMultiByte(CP_ACP, 0, text, length, NULL, 0, NULL, NULL);
        int over = needed - (size - 1);
        length -= over > 3 ? over / 3 : 1;
    }
    buffer[0] = 0;
    return 0;
}

/* Feeds are untrusted: external entities and DTDs would let one pull local
   files or intranet pages into the ticker, so they are never resolved. */
HRESULT CreateFeedDocument(IXMLDOMDocument **document)
{
    *document = NULL;
    IXMLDOMDocument *doc = NULL;
    HRESULT hr = CoCreateInstance(CLSID_FeedDOMDocument, NULL, CLSCTX_INPROC_SERVER,
                                  IID_IXMLDOMDocument, (void **)&doc);
    if (FAILED(hr))
        return hr;
    (void)IXMLDOMDocument_put_async(doc, VARIANT_FALSE);
    (void)IXMLDOMDocument_put_resolveExternals(doc, VARIANT_FALSE);
    *document = doc;
    return S_OK;
}

HRESULT LoadFeedDocument(const char *url, IXMLDOMNode **root, int *kind)
{
    *root = NULL;
    *kind = FEED_KIND_NONE;
    IXMLDOMDocument *document;
    HRESULT hr = CreateFeedDocument(&document);
    if (FAILED(hr))
        return hr;

    VARIANT source;
    VariantInit(&source);
    V_VT(&source) = VT_BSTR;
    V_BSTR(&source) = AnsiToBstr(url);
    VARIANT_BOOL loaded = VARIANT_FALSE;
    hr = IXMLDOMDocument_load(document, source, &loaded);
    SysFreeString(V_BSTR(&source));

    IXMLDOMNode *node = NULL;
    if (hr == S_OK) {
        hr = FindFeedRoot(document, &node, kind);
        if (hr == S_OK && !node) {
            *kind = FEED_KIND_NONE;
            hr = E_FAIL;
        }
    }
    IXMLDOMDocument_Release(document);
    if (hr == S_OK)
        *root = node;
    return hr;
}

struct NamedElement {
    const WCHAR *name;
    LONG count;
    IXMLDOMNode *first;
};

/* Counts the elements whose qualified name is exactly each wanted name.
   getElementsByTagName is not asked for the names themselves: Wine matches
   local names only ("rdf:RDF" finds nothing, "rss" finds "r:rss"). */
static HRESULT CountNamedElements(IXMLDOMDocument *document, NamedElement *wanted, int wantedCount)
{
    IXMLDOMNodeList *list = NULL;
    BSTR all = SysAllocString(L"*");
    HRESULT hr = IXMLDOMDocument_getElementsByTagName(document, all, &list);
    SysFreeString(all);
    if (hr != S_OK || !list)
        return FAILED(hr) ? hr : E_FAIL;

    LONG length = 0;
    hr = IXMLDOMNodeList_get_length(list, &length);
    for (LONG i = 0; hr == S_OK && i < length; i++) {
        IXMLDOMNode *node = NULL;
        if (IXMLDOMNodeList_get_item(list, i, &node) != S_OK || !node)
            break;
        BSTR name = NULL;
        if (IXMLDOMNode_get_nodeName(node, &name) == S_OK && name) {
            for (int w = 0; w < wantedCount; w++) {
                if (StrCmpW(name, wanted[w].name) != 0)
                    continue;
                if (wanted[w].count++ == 0) {
                    IXMLDOMNode_AddRef(node);
                    wanted[w].first = node;
                }
            }
        }
        SysFreeString(name);
        IXMLDOMNode_Release(node);
    }
    IXMLDOMNodeList_Release(list);
    return hr;
}

HRESULT FindFeedRoot(IXMLDOMDocument *document, IXMLDOMNode **root, int *kind)
{
    *root = NULL;
    *kind = FEED_KIND_NONE;
    NamedElement wanted[2] = { { L"rdf:RDF", 0, NULL }, { L"rss", 0, NULL } };
    HRESULT hr = CountNamedElements(document, wanted, 2);
    if (hr == S_OK) {
        if (wanted[0].count == 1) {
            *root = wanted[0].first;
            wanted[0].first = NULL;
            *kind = FEED_KIND_RDF;
        } else if (wanted[1].count == 1) {
            (void)FindChildElement(wanted[1].first, L"channel", root);
            *kind = FEED_KIND_RSS;
        } else {
            hr = E_FAIL;
        }
    }
    for (int w = 0; w < 2; w++)
        if (wanted[w].first)
            IXMLDOMNode_Release(wanted[w].first);
    return hr;
}

/* The child at index with its name; S_OK only when both could be had. */
static HRESULT GetNamedChild(IXMLDOMNodeList *list, LONG index, IXMLDOMNode **child, BSTR *name)
{
    *child = NULL;
    *name = NULL;
    HRESULT hr = IXMLDOMNodeList_get_item(list, index, child);
    if (hr != S_OK || !*child) {
        *child = NULL;
        return FAILED(hr) ? hr : E_FAIL;
    }
    hr = IXMLDOMNode_get_nodeName(*child, name);
    if (hr == S_OK && !*name)
        hr = E_FAIL;
    return hr;
}

static HRESULT GetChildList(IXMLDOMNode *parent, IXMLDOMNodeList **list, LONG *length)
{
    *list = NULL;
    *length = 0;
    HRESULT hr = IXMLDOMNode_get_childNodes(parent, list);
    if (hr != S_OK || !*list) {
        *list = NULL;
        return FAILED(hr) ? hr : E_FAIL;
    }
    hr = IXMLDOMNodeList_get_length(*list, length);
    if (hr != S_OK) {
        IXMLDOMNodeList_Release(*list);
        *list = NULL;
        return FAILED(hr) ? hr : E_FAIL;
    }
    return S_OK;
}

HRESULT ForEachFeedItem(IXMLDOMNode *root, FeedItemCallback callback, void *context)
{
    if (!root)
        return S_OK;
    IXMLDOMNodeList *list;
    LONG length;
    if (GetChildList(root, &list, &length) != S_OK)
        return S_OK;
    for (LONG i = 0; i < length; i++) {
        IXMLDOMNode *child;
        BSTR name;
        HRESULT hr = GetNamedChild(list, i, &child, &name);
        if (!child)
            break;
        if (hr == S_OK && StrCmpW(name, L"item") == 0) {
            SysFreeString(name);
            callback(child, context);
            continue;
        }
        SysFreeString(name);
        IXMLDOMNode_Release(child);
    }
    IXMLDOMNodeList_Release(list);
    return S_OK;
}

/* First child of parent named exactly name, with its reference. */
static HRESULT FindNamedChild(IXMLDOMNode *parent, const WCHAR *name, IXMLDOMNode **found,
                              BOOL stopOnUnnamed)
{
    *found = NULL;
    IXMLDOMNodeList *list;
    LONG length;
    HRESULT hr = GetChildList(parent, &list, &length);
    if (hr != S_OK)
        return hr;
    hr = E_FAIL;
    for (LONG i = 0; i < length; i++) {
        IXMLDOMNode *child;
        BSTR childName;
        HRESULT step = GetNamedChild(list, i, &child, &childName);
        if (!child) {
            hr = step;
            break;
        }
        BOOL match = step == S_OK && StrCmpW(childName, name) == 0;
        SysFreeString(childName);
        if (match) {
            *found = child;
            hr = S_OK;
            break;
        }
        IXMLDOMNode_Release(child);
        if (step != S_OK && stopOnUnnamed) {
            hr = step;
            break;
        }
    }
    IXMLDOMNodeList_Release(list);
    return hr;
}

HRESULT GetChildText(IXMLDOMNode *parent, const WCHAR *name, BSTR *text)
{
    if (!parent || !text)
        return E_INVALIDARG;
    IXMLDOMNode *child;
    HRESULT hr = FindNamedChild(parent, name, &child, FALSE);
    if (hr != S_OK)
        return hr;
    BSTR value = NULL;
    hr = IXMLDOMNode_get_text(child, &value);
    IXMLDOMNode_Release(child);
    if (FAILED(hr))
        return hr;
    /* Some DOMs give a null BSTR for empty text; callers get "" instead. */
    *text = value ? value : SysAllocString(L"");
    return S_OK;
}

HRESULT FindChildElement(IXMLDOMNode *parent, const WCHAR *name, IXMLDOMNode **child)
{
    if (!child)
        return S_OK;
    *child = NULL;
    if (!parent)
        return E_INVALIDARG;
    return FindNamedChild(parent, name, child, TRUE);
}
