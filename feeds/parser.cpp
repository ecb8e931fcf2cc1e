/* Feed documents: one DOM document per load, the feed root found by exact
   qualified names (Atom's with its namespace), child lookups by name, and
   the headline, link and description of an item or an Atom entry. Called
   on the rendering and feed-list threads (loads) and on the window thread
   (child texts of kept item nodes); nothing here keeps state. */
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
   declarations only as part of the whole document, so they are read from
   what precedes the document element. Only entity values expand: comments,
   processing instructions and other literals there weigh nothing. An
   entity that uses another one could outgrow any bound and is refused. */
#define FEED_ENTITY_CHARS       16384
#define FEED_EXPANSION_CHARS    262144

static BOOL IsEscape(const WCHAR *text)
{
    static const WCHAR *const escapes[] = { L"lt;", L"gt;", L"amp;", L"quot;", L"apos;" };
    for (int e = 0; e < 5; e++)
        if (StrCmpNW(text, escapes[e], lstrlenW(escapes[e])) == 0)
            return TRUE;
    return FALSE;
}

/* Entity uses in written-out text: every '&' but character references and
   the escapes the writer itself produces. */
static LONG CountEntityUses(const WCHAR *text, UINT length)
{
    LONG uses = 0;
    for (UINT i = 0; i < length; i++)
        if (text[i] == L'&' && text[i + 1] != L'#' && !IsEscape(text + i + 1))
            uses++;
    return uses;
}

/* Inside an entity value a character reference to '&' is replaced when the
   entity is declared, and so starts an entity reference in its text. */
static BOOL IsAmpersandReference(const WCHAR *text, UINT length)
{
    UINT i = 1;
    BOOL hex = i < length && (text[i] == L'x' || text[i] == L'X');
    ULONG value = 0;
    for (i += hex; i < length && text[i] != L';' && value < 0x110000; i++) {
        int digit = ReferenceDigit(text[i], hex);
        if (digit < 0)
            return FALSE;
        value = value * (hex ? 16 : 10) + digit;
    }
    return value == L'&';
}

static LONG CountValueReferences(const WCHAR *value, UINT length)
{
    LONG uses = 0;
    for (UINT i = 0; i < length; i++) {
        if (value[i] != L'&')
            continue;
        if (i + 1 < length && value[i + 1] == L'#')
            uses += IsAmpersandReference(value + i + 1, length - i - 1);
        else if (!IsEscape(value + i + 1))
            uses++;
    }
    return uses;
}

struct EntityWeight {
    UINT largestValue;
    LONG nestedUses;   /* references inside entity values */
};

static BOOL StartsAt(const WCHAR *text, UINT length, UINT i, const WCHAR *prefix)
{
    UINT n = lstrlenW(prefix);
    return i + n <= length && StrCmpNW(text + i, prefix, n) == 0;
}

static UINT SkipPast(const WCHAR *text, UINT length, UINT i, const WCHAR *end)
{
    while (i < length && !StartsAt(text, length, i, end))
        i++;
    return i < length ? i + lstrlenW(end) : length;
}

/* The closing quote of the literal that the character at i opens, or length. */
static UINT ClosingQuote(const WCHAR *text, UINT length, UINT i)
{
    UINT close = i + 1;
    while (close < length && text[close] != text[i])
        close++;
    return close;
}

static UINT LiteralEnd(const WCHAR *text, UINT length, UINT i)
{
    UINT close = ClosingQuote(text, length, i);
    return close < length ? close + 1 : length;
}

static UINT SkipSpace(const WCHAR *text, UINT length, UINT i)
{
    while (i < length && (text[i] == L' ' || text[i] == L'\t' || text[i] == L'\r' || text[i] == L'\n'))
        i++;
    return i;
}

/* From behind "<!ENTITY" to past its '>': "[% ]name" and then either the
   quoted value or an external identifier, which is never fetched. */
static UINT WeighEntityDeclaration(const WCHAR *text, UINT length, UINT i, EntityWeight *weight)
{
    i = SkipSpace(text, length, i);
    if (i < length && text[i] == L'%')
        i = SkipSpace(text, length, i + 1);
    while (i < length && text[i] != L'>' && text[i] != L'"' && text[i] != L'\'' &&
           SkipSpace(text, length, i) == i)
        i++;
    i = SkipSpace(text, length, i);
    if (i < length && (text[i] == L'"' || text[i] == L'\'')) {
        UINT close = ClosingQuote(text, length, i);
        UINT valueLength = close - i - 1;
        if (valueLength > weight->largestValue)
            weight->largestValue = valueLength;
        weight->nestedUses += CountValueReferences(text + i + 1, valueLength);
        i = close < length ? close + 1 : length;
    }
    while (i < length && text[i] != L'>')
        i = text[i] == L'"' || text[i] == L'\'' ? LiteralEnd(text, length, i) : i + 1;
    return i < length ? i + 1 : length;
}

static void WeighDeclarations(const WCHAR *prolog, UINT length, EntityWeight *weight)
{
    UINT i = 0;
    while (i < length) {
        if (StartsAt(prolog, length, i, L"<!--"))
            i = SkipPast(prolog, length, i + 4, L"-->");
        else if (StartsAt(prolog, length, i, L"<?"))
            i = SkipPast(prolog, length, i + 2, L"?>");
        else if (StartsAt(prolog, length, i, L"<!ENTITY"))
            i = WeighEntityDeclaration(prolog, length, i + 8, weight);
        else if (prolog[i] == L'"' || prolog[i] == L'\'')
            i = LiteralEnd(prolog, length, i);
        else
            i++;
    }
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
        EntityWeight weight = { 0, 0 };
        WeighDeclarations(whole, prolog, &weight);
        if (uses > 0 && (weight.nestedUses > 0 || weight.largestValue > FEED_ENTITY_CHARS ||
                         (ULONGLONG)uses * weight.largestValue > FEED_EXPANSION_CHARS))
            hr = E_FAIL;
    }
    SysFreeString(body);
    SysFreeString(whole);
    if (element)
        IXMLDOMElement_Release(element);
    return FAILED(hr) ? hr : (hr == S_OK ? S_OK : E_FAIL);
}

/* The name of the processing instruction that keeps a document's URL. */
static const WCHAR DOCUMENT_URL_TARGET[] = L"velmora-url";

/* A document parsed from fetched bytes has no URL of its own, and relative
   links are resolved against the one it was fetched from: it is kept in a
   processing instruction after the root element. */
static void KeepDocumentUrl(IXMLDOMDocument *document, const char *url)
{
    BSTR data = url ? AnsiToBstr(url) : NULL;
    IXMLDOMProcessingInstruction *instruction = NULL;
    if (data && IXMLDOMDocument_createProcessingInstruction(document, (BSTR)DOCUMENT_URL_TARGET, data,
                                                            &instruction) == S_OK) {
        IXMLDOMNode *added = NULL;
        if (IXMLDOMDocument_appendChild(document, (IXMLDOMNode *)instruction, &added) == S_OK && added)
            IXMLDOMNode_Release(added);
        IXMLDOMProcessingInstruction_Release(instruction);
    }
    SysFreeString(data);
}

HRESULT ParseFeedDocument(VARIANT source, const char *url, IXMLDOMNode **root, int *kind)
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
        KeepDocumentUrl(document, url);
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
        hr = ParseFeedDocument(fetched.document, url, root, kind);
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

static const WCHAR ATOM_NAMESPACE[] = L"http://www.w3.org/2005/Atom";

/* Atom elements are known by their exact name in the Atom namespace: an
   unprefixed "feed" or "entry" of another vocabulary is not one. */
static BOOL IsAtomElement(IXMLDOMNode *node, const WCHAR *name)
{
    BSTR nodeName;
    if (ReadNodeName(node, &nodeName) != S_OK)
        return FALSE;
    BSTR uri = NULL;
    BOOL match = StrCmpW(nodeName, name) == 0 && IXMLDOMNode_get_namespaceURI(node, &uri) == S_OK &&
                 uri && StrCmpW(uri, ATOM_NAMESPACE) == 0;
    SysFreeString(uri);
    SysFreeString(nodeName);
    return match;
}

/* The document element when it is an Atom feed, with its reference. */
static IXMLDOMNode *FindAtomFeed(IXMLDOMDocument *document)
{
    IXMLDOMElement *element = NULL;
    if (IXMLDOMDocument_get_documentElement(document, &element) != S_OK || !element)
        return NULL;
    IXMLDOMNode *node = NULL;
    if (FAILED(IXMLDOMElement_QueryInterface(element, IID_IXMLDOMNode, (void **)&node)))
        node = NULL;
    IXMLDOMElement_Release(element);
    if (node && !IsAtomElement(node, L"feed")) {
        IXMLDOMNode_Release(node);
        node = NULL;
    }
    return node;
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
        } else if ((*root = FindAtomFeed(document)) != NULL) {
            *kind = FEED_KIND_ATOM;
        } else {
            hr = E_FAIL;
        }
    }
    for (int w = 0; w < 2; w++)
        if (wanted[w].first)
            IXMLDOMNode_Release(wanted[w].first);
    return hr;
}

/* An RSS or RDF item is any child named "item"; an Atom entry is checked
   for its namespace as well. */
static BOOL IsFeedItem(IXMLDOMNode *node, BOOL atom)
{
    if (atom)
        return IsAtomElement(node, L"entry");
    BSTR name;
    BOOL item = ReadNodeName(node, &name) == S_OK && StrCmpW(name, L"item") == 0;
    SysFreeString(name);
    return item;
}

HRESULT ForEachFeedItem(IXMLDOMNode *root, FeedItemCallback callback, void *context)
{
    if (!root)
        return S_OK;
    BOOL atom = IsAtomElement(root, L"feed");
    IXMLDOMNode *child;
    HRESULT hr = FirstChild(root, &child);
    while (hr == S_OK) {
        /* The next one is had first: the callback owns the item. */
        IXMLDOMNode *next;
        HRESULT step = NextSibling(child, &next);
        if (IsFeedItem(child, atom))
            callback(child, context);
        else
            IXMLDOMNode_Release(child);
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

/* An attribute's value, or null when the element has none. */
static BSTR ReadAttribute(IXMLDOMNode *node, const WCHAR *name)
{
    IXMLDOMElement *element = NULL;
    if (FAILED(IXMLDOMNode_QueryInterface(node, IID_IXMLDOMElement, (void **)&element)) || !element)
        return NULL;
    VARIANT value;
    VariantInit(&value);
    BSTR attribute = SysAllocString(name);
    HRESULT hr = attribute ? IXMLDOMElement_getAttribute(element, attribute, &value) : E_OUTOFMEMORY;
    SysFreeString(attribute);
    IXMLDOMElement_Release(element);
    if (hr == S_OK && V_VT(&value) == VT_BSTR)
        return V_BSTR(&value);
    VariantClear(&value);
    return NULL;
}

/* A link that an entry offers as itself: rel "alternate", or no rel. */
static BOOL IsAlternateLink(IXMLDOMNode *link)
{
    BSTR rel = ReadAttribute(link, L"rel");
    BOOL alternate = !rel || StrCmpW(rel, L"alternate") == 0;
    SysFreeString(rel);
    return alternate;
}

/* First Atom child of parent named name that accept takes (any when null). */
static HRESULT FindAtomChild(IXMLDOMNode *parent, const WCHAR *name, BOOL (*accept)(IXMLDOMNode *),
                             IXMLDOMNode **found)
{
    *found = NULL;
    IXMLDOMNode *child;
    HRESULT hr = FirstChild(parent, &child);
    while (hr == S_OK) {
        if (IsAtomElement(child, name) && (!accept || accept(child))) {
            *found = child;
            return S_OK;
        }
        IXMLDOMNode *next = NULL;
        hr = NextSibling(child, &next);
        IXMLDOMNode_Release(child);
        child = next;
    }
    return hr == S_FALSE ? E_FAIL : hr;
}

/* Clean text of text, which the caller gives up. */
static HRESULT CleanInto(BSTR text, int form, BSTR *clean)
{
    BSTR cleaned = CleanFeedText(text ? text : L"", form);
    SysFreeString(text);
    if (!cleaned)
        return E_OUTOFMEMORY;
    *clean = cleaned;
    return S_OK;
}

/* An Atom text construct as clean text. An xhtml one is markup to the DOM
   already: its text has no tags left, and what it shows escaped stays so.
   Content of another media type than text has no text to show. */
static HRESULT ReadAtomText(IXMLDOMNode *construct, BSTR *text)
{
    BSTR type = ReadAttribute(construct, L"type");
    int form = FEED_TEXT_PLAIN;
    HRESULT hr = S_OK;
    if (!type || StrCmpW(type, L"text") == 0 || StrCmpW(type, L"xhtml") == 0 ||
        StrCmpW(type, L"application/xhtml+xml") == 0)
        form = FEED_TEXT_PLAIN;
    else if (StrCmpW(type, L"html") == 0 || StrCmpW(type, L"text/html") == 0)
        form = FEED_TEXT_HTML;
    else if (StrCmpNW(type, L"text/", 5) != 0)
        hr = E_FAIL;
    SysFreeString(type);
    if (FAILED(hr))
        return hr;
    BSTR raw = NULL;
    hr = IXMLDOMNode_get_text(construct, &raw);
    if (FAILED(hr))
        return hr;
    return CleanInto(raw, form, text);
}

static HRESULT ReadAtomChildText(IXMLDOMNode *parent, const WCHAR *name, BSTR *text)
{
    IXMLDOMNode *child;
    HRESULT hr = FindAtomChild(parent, name, NULL, &child);
    if (hr != S_OK)
        return hr;
    hr = ReadAtomText(child, text);
    IXMLDOMNode_Release(child);
    return hr;
}

#define FEED_LINK_CHARS 2084
#define FEED_BASE_DEPTH 16

/* Replaces url with url resolved against base. */
static HRESULT CombineInto(const WCHAR *base, BSTR *url)
{
    WCHAR combined[FEED_LINK_CHARS];
    DWORD size = FEED_LINK_CHARS;
    HRESULT hr = UrlCombineW(base, *url, combined, &size, 0);
    if (hr != S_OK)
        return FAILED(hr) ? hr : E_FAIL;
    BSTR resolved = SysAllocString(combined);
    if (!resolved)
        return E_OUTOFMEMORY;
    SysFreeString(*url);
    *url = resolved;
    return S_OK;
}

/* url resolved against the xml:base of node and of the elements around it.
   The bases are applied from the outside in, starting from the document's
   URL, since a base may itself be relative; a link without any xml:base is
   left as written. */
static HRESULT ApplyXmlBase(IXMLDOMNode *node, BSTR *url)
{
    BSTR bases[FEED_BASE_DEPTH];
    int count = 0;
    IXMLDOMNode *current = node;
    IXMLDOMNode_AddRef(current);
    while (current) {
        BSTR base = count < FEED_BASE_DEPTH ? ReadAttribute(current, L"xml:base") : NULL;
        if (base)
            bases[count++] = base;
        IXMLDOMNode *parent = NULL;
        if (IXMLDOMNode_get_parentNode(current, &parent) != S_OK)
            parent = NULL;
        IXMLDOMNode_Release(current);
        current = parent;
    }
    if (!count)
        return S_OK;
    BSTR document = NULL;
    (void)GetFeedDocumentUrl(node, &document);   /* without it, the outermost base counts */
    const WCHAR *outer = document;
    HRESULT hr = S_OK;
    for (int i = count - 1; i >= 0 && hr == S_OK; i--) {
        if (outer)
            hr = CombineInto(outer, &bases[i]);
        outer = bases[i];
    }
    if (hr == S_OK)
        hr = CombineInto(outer, url);
    for (int i = 0; i < count; i++)
        SysFreeString(bases[i]);
    SysFreeString(document);
    return hr;
}

static HRESULT ReadEntryLink(IXMLDOMNode *entry, BSTR *url)
{
    IXMLDOMNode *link;
    HRESULT hr = FindAtomChild(entry, L"link", IsAlternateLink, &link);
    if (hr != S_OK)
        return hr;
    BSTR href = ReadAttribute(link, L"href");
    hr = href ? ApplyXmlBase(link, &href) : E_FAIL;
    IXMLDOMNode_Release(link);
    if (hr == S_OK)
        *url = href;
    else
        SysFreeString(href);
    return hr;
}

static HRESULT ReadEntryText(IXMLDOMNode *entry, int field, BSTR *text)
{
    if (field == FEED_ITEM_LINK)
        return ReadEntryLink(entry, text);
    if (field == FEED_ITEM_TITLE)
        return ReadAtomChildText(entry, L"title", text);
    HRESULT hr = ReadAtomChildText(entry, L"summary", text);
    return hr == S_OK ? hr : ReadAtomChildText(entry, L"content", text);
}

HRESULT GetFeedItemText(IXMLDOMNode *item, int field, BSTR *text)
{
    static const WCHAR *const rssNames[] = { L"title", L"link", L"description" };
    if (!item || !text || field < FEED_ITEM_TITLE || field > FEED_ITEM_DESCRIPTION)
        return E_INVALIDARG;
    if (IsAtomElement(item, L"entry"))
        return ReadEntryText(item, field, text);
    BSTR found = NULL;
    HRESULT hr = GetChildText(item, rssNames[field], &found);
    if (hr != S_OK || field == FEED_ITEM_LINK) {
        if (hr == S_OK)
            *text = found;
        return hr;
    }
    /* RSS titles and descriptions carry escaped HTML as often as not. */
    return CleanInto(found, FEED_TEXT_HTML, text);
}

HRESULT GetFeedTitle(IXMLDOMNode *root, int kind, BSTR *title)
{
    if (!root || !title)
        return E_INVALIDARG;
    if (kind == FEED_KIND_ATOM)
        return ReadAtomChildText(root, L"title", title);
    IXMLDOMNode *channel = root;
    if (kind == FEED_KIND_RDF && FindChildElement(root, L"channel", &channel) != S_OK)
        return E_FAIL;
    BSTR raw = NULL;
    HRESULT hr = GetChildText(channel, L"title", &raw);
    if (channel != root)
        IXMLDOMNode_Release(channel);
    return hr == S_OK ? CleanInto(raw, FEED_TEXT_HTML, title) : hr;
}

/* The URL KeepDocumentUrl left in the document's last child, or none. */
static HRESULT ReadKeptDocumentUrl(IXMLDOMDocument *document, BSTR *url)
{
    IXMLDOMNode *last = NULL;
    HRESULT hr = IXMLDOMDocument_get_lastChild(document, &last);
    if (hr != S_OK || !last)
        return FAILED(hr) ? hr : E_FAIL;
    BSTR name = NULL;
    hr = ReadNodeName(last, &name);
    if (hr == S_OK && lstrcmpW(name, DOCUMENT_URL_TARGET) == 0)
        hr = IXMLDOMNode_get_text(last, url);
    else if (hr == S_OK)
        hr = E_FAIL;
    SysFreeString(name);
    IXMLDOMNode_Release(last);
    return hr;
}

HRESULT GetFeedDocumentUrl(IXMLDOMNode *node, BSTR *url)
{
    if (!node || !url)
        return E_INVALIDARG;
    *url = NULL;
    IXMLDOMDocument *document = NULL;
    HRESULT hr = IXMLDOMNode_get_ownerDocument(node, &document);
    if (hr != S_OK || !document)
        return FAILED(hr) ? hr : E_FAIL;
    hr = IXMLDOMDocument_get_url(document, url);
    if (SUCCEEDED(hr) && (!*url || !(*url)[0])) {
        SysFreeString(*url);
        *url = NULL;
        hr = ReadKeptDocumentUrl(document, url);
    }
    IXMLDOMDocument_Release(document);
    if (hr == S_OK && *url)
        return S_OK;
    SysFreeString(*url);
    *url = NULL;
    return FAILED(hr) ? hr : E_FAIL;
}
