/* Feed documents: one DOM document per load, the feed root found by exact
   qualified names, and child lookups by name. Called on the rendering and
   feed-list threads (loads) and on the window thread (child texts of kept
   item nodes); nothing here keeps state. */
#include "feeds/feeds.h"
#include "core/limits.h"
#include "feeds/fetch.h"
#include <shlwapi.h>

/* mingw's CLSID_DOMDocument names another class; this is MSXML 3's. */
static const CLSID CLSID_FeedDOMDocument =
    { 0xF6D90F11, 0x9C73, 0x11D3, { 0xB3, 0x2E, 0x00, 0xC0, 0x4F, 0x99, 0x0B, 0xB4 } };


BSTR AnsiToBstr(const char *text)
{
    WCHAR buffer[URL_SIZE];
    if (!text || !MultiByteToWideChar(CP_ACP, MB_PRECOMPOSED, text, -1, buffer, URL_SIZE))
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
void SetUpFeedDocument(IXMLDOMDocument *document)
{
    (void)IXMLDOMDocument_put_async(document, VARIANT_FALSE);
    (void)IXMLDOMDocument_put_resolveExternals(document, VARIANT_FALSE);
}

static HRESULT CreateFeedDocument(IXMLDOMDocument **document)
{
    *document = NULL;
    IXMLDOMDocument *doc = NULL;
    HRESULT hr = CoCreateInstance(CLSID_FeedDOMDocument, NULL, CLSCTX_INPROC_SERVER,
                                  IID_IXMLDOMDocument, (void **)&doc);
    if (FAILED(hr))
        return hr;
    SetUpFeedDocument(doc);
    *document = doc;
    return S_OK;
}

/* Internal entities are expanded each time a text is read, and Wine's DOM
   reads a text in time that grows with the square of its length: a 110 KB
   document that uses a 50 000-character entity 20 000 times in one title
   loads at once and then holds its reader for good. A document with a DTD
   is therefore weighed before any text is read. The DOM writes out the
   declarations only as part of the whole document, so the prolog (all that
   precedes the document element) stands for the largest entity; an entity
   that uses another one could outgrow it and is refused. */
#define FEED_PROLOG_CHARS       16384
#define FEED_EXPANSION_CHARS    262144

/* Entity uses in written-out text: every '&' but character references and
   the escapes the writer itself produces. */
static LONG CountEntityUses(const WCHAR *text, UINT length)
{
    static const WCHAR *const escapes[] = { L"lt;", L"gt;", L"amp;", L"quot;", L"apos;" };
    LONG uses = 0;
    for (UINT i = 0; i < length; i++) {
        if (text[i] != L'&' || text[i + 1] == L'#')
            continue;
        BOOL escape = FALSE;
        for (int e = 0; e < 5 && !escape; e++)
            escape = StrCmpNW(text + i + 1, escapes[e], lstrlenW(escapes[e])) == 0;
        if (!escape)
            uses++;
    }
    return uses;
}

static HRESULT WeighEntities(IXMLDOMDocument *document)
{
    IXMLDOMDocumentType *type = NULL;
    HRESULT hr = IXMLDOMDocument_get_doctype(document, &type);
    if (type)
        IXMLDOMDocumentType_Release(type);
    if (hr != S_OK || !type)
        return FAILED(hr) ? hr : S_OK;

    BSTR whole = NULL;
    BSTR body = NULL;
    IXMLDOMElement *element = NULL;
    hr = IXMLDOMDocument_get_xml(document, &whole);
    if (hr == S_OK)
        hr = IXMLDOMDocument_get_documentElement(document, &element);
    if (hr == S_OK && element)
        hr = IXMLDOMElement_get_xml(element, &body);
    if (hr == S_OK && (!whole || !body))
        hr = E_FAIL;
    if (hr == S_OK) {
        UINT wholeLength = SysStringLen(whole);
        UINT bodyLength = SysStringLen(body);
        UINT prolog = wholeLength > bodyLength ? wholeLength - bodyLength : 0;
        LONG uses = CountEntityUses(body, bodyLength);
        if (prolog > FEED_PROLOG_CHARS ||
            (uses > 0 && (CountEntityUses(whole, prolog) > 0 ||
                          (ULONGLONG)uses * prolog > FEED_EXPANSION_CHARS)))
            hr = E_FAIL;
    }
    SysFreeString(body);
    SysFreeString(whole);
    if (element)
        IXMLDOMElement_Release(element);
    return FAILED(hr) ? hr : (hr == S_OK ? S_OK : E_FAIL);
}

HRESULT ParseFeedDocument(VARIANT source, IXMLDOMNode **root, int *kind)
{
    *root = NULL;
    *kind = FEED_KIND_NONE;
    IXMLDOMDocument *document;
    HRESULT hr = CreateFeedDocument(&document);
    if (FAILED(hr))
        return hr;

    VARIANT_BOOL loaded = VARIANT_FALSE;
    hr = IXMLDOMDocument_load(document, source, &loaded);

    IXMLDOMNode *node = NULL;
    if (hr == S_OK)
        hr = WeighEntities(document);
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

/* The bytes come through the platform's HTTP stack, bounded; the DOM
   parses them. A fetch that brought nothing reads as a load the DOM
   refused. */
HRESULT LoadFeedDocument(const char *url, IXMLDOMNode **root, int *kind)
{
    *root = NULL;
    *kind = FEED_KIND_NONE;
    FetchResult fetched;
    HRESULT hr = FetchFeed(url, NULL, &fetched, NULL);
    if (hr == S_OK)
        hr = ParseFeedDocument(fetched.document, root, kind);
    FreeFetchResult(&fetched);
    return hr;
}

/* A node's name; S_OK only with a name. */
static HRESULT ReadNodeName(IXMLDOMNode *node, BSTR *name)
{
    *name = NULL;
    HRESULT hr = IXMLDOMNode_get_nodeName(node, name);
    if (hr == S_OK && *name)
        return S_OK;
    SysFreeString(*name);
    *name = NULL;
    return FAILED(hr) ? hr : E_FAIL;
}

/* A node handed out with its reference: S_OK with the node, S_FALSE when
   there is none, or the failure; *node is null unless S_OK. */
static HRESULT KeepNode(HRESULT hr, IXMLDOMNode **node)
{
    if (hr == S_OK && *node)
        return S_OK;
    if (*node)
        IXMLDOMNode_Release(*node);
    *node = NULL;
    return FAILED(hr) ? hr : S_FALSE;
}

/* Children are walked from sibling to sibling: asking the child list for
   item i walks the list from its start each time under Wine, which makes
   a long channel cost the square of its length. */
static HRESULT FirstChild(IXMLDOMNode *parent, IXMLDOMNode **child)
{
    *child = NULL;
    return KeepNode(IXMLDOMNode_get_firstChild(parent, child), child);
}

static HRESULT NextSibling(IXMLDOMNode *node, IXMLDOMNode **next)
{
    *next = NULL;
    return KeepNode(IXMLDOMNode_get_nextSibling(node, next), next);
}

struct NamedElement {
    const WCHAR *name;
    LONG count;
    IXMLDOMNode *first;
};

/* Counts the elements whose qualified name is exactly each wanted name.
   getElementsByTagName is not asked for the names themselves: Wine matches
   local names only ("rdf:RDF" finds nothing, "rss" finds "r:rss"). An
   element that cannot be read fails the count: the elements not counted
   could change the feed's kind. */
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
        hr = KeepNode(IXMLDOMNodeList_get_item(list, i, &node), &node);
        if (hr != S_OK)
            break;
        BSTR name;
        hr = ReadNodeName(node, &name);
        for (int w = 0; hr == S_OK && w < wantedCount; w++) {
            if (StrCmpW(name, wanted[w].name) != 0)
                continue;
            if (wanted[w].count++ == 0) {
                IXMLDOMNode_AddRef(node);
                wanted[w].first = node;
            }
        }
        SysFreeString(name);
        IXMLDOMNode_Release(node);
    }
    IXMLDOMNodeList_Release(list);
    return hr == S_OK ? S_OK : (FAILED(hr) ? hr : E_FAIL);
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

HRESULT ForEachFeedItem(IXMLDOMNode *root, FeedItemCallback callback, void *context)
{
    if (!root)
        return S_OK;
    IXMLDOMNode *child;
    HRESULT hr = FirstChild(root, &child);
    while (hr == S_OK) {
        /* The next one is had first: the callback owns the item. */
        IXMLDOMNode *next;
        HRESULT step = NextSibling(child, &next);
        BSTR name;
        if (ReadNodeName(child, &name) == S_OK && StrCmpW(name, L"item") == 0)
            callback(child, context);
        else
            IXMLDOMNode_Release(child);
        SysFreeString(name);
        child = next;
        hr = step;
    }
    return S_OK;
}

/* First child of parent named exactly name, with its reference. */
static HRESULT FindNamedChild(IXMLDOMNode *parent, const WCHAR *name, IXMLDOMNode **found,
                              BOOL stopOnUnnamed)
{
    *found = NULL;
    IXMLDOMNode *child;
    HRESULT hr = FirstChild(parent, &child);
    while (hr == S_OK) {
        BSTR childName;
        HRESULT named = ReadNodeName(child, &childName);
        BOOL match = named == S_OK && StrCmpW(childName, name) == 0;
        SysFreeString(childName);
        if (match) {
            *found = child;
            return S_OK;
        }
        IXMLDOMNode *next = NULL;
        hr = named != S_OK && stopOnUnnamed ? named : NextSibling(child, &next);
        IXMLDOMNode_Release(child);
        child = next;
    }
    return hr == S_FALSE ? E_FAIL : hr;
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
