#include "tests/standins/dom.h"

std::vector<std::string> domCalls;
static std::vector<StandInNode *> listedElements;

static ULONG STDMETHODCALLTYPE NodeAddRef(IXMLDOMNode *node) { return ++((StandInNode *)node)->refs; }
static ULONG STDMETHODCALLTYPE NodeRelease(IXMLDOMNode *node) { return --((StandInNode *)node)->refs; }
static HRESULT STDMETHODCALLTYPE NodeName(IXMLDOMNode *node, BSTR *name)
{
    const WCHAR *text = ((StandInNode *)node)->name;
    *name = text ? SysAllocString(text) : NULL;
    return text ? S_OK : E_FAIL;
}

static ULONG STDMETHODCALLTYPE ListAddRef(IXMLDOMNodeList *) { return 1; }
static ULONG STDMETHODCALLTYPE ListRelease(IXMLDOMNodeList *) { return 1; }
static HRESULT STDMETHODCALLTYPE ListLength(IXMLDOMNodeList *, LONG *length)
{
    *length = (LONG)listedElements.size();
    return S_OK;
}
static HRESULT STDMETHODCALLTYPE ListItem(IXMLDOMNodeList *, LONG index, IXMLDOMNode **item)
{
    StandInNode *node = listedElements.at(index);
    *item = node ? &node->iface : NULL;
    if (!node)
        return E_FAIL;
    node->refs++;
    return S_OK;
}

static ULONG STDMETHODCALLTYPE DocumentAddRef(IXMLDOMDocument *) { return 1; }
static ULONG STDMETHODCALLTYPE DocumentRelease(IXMLDOMDocument *) { return 1; }
static HRESULT STDMETHODCALLTYPE DocumentAsync(IXMLDOMDocument *, VARIANT_BOOL on)
{
    domCalls.push_back(on ? "async on" : "async off");
    return S_OK;
}
static HRESULT STDMETHODCALLTYPE DocumentResolve(IXMLDOMDocument *, VARIANT_BOOL on)
{
    domCalls.push_back(on ? "resolveExternals on" : "resolveExternals off");
    return S_OK;
}

IXMLDOMNodeList StandInDom::list;

static HRESULT STDMETHODCALLTYPE DocumentElements(IXMLDOMDocument *, BSTR name, IXMLDOMNodeList **list)
{
    domCalls.push_back("elements " + std::string(name, name + SysStringLen(name)));
    *list = &StandInDom::list;
    return S_OK;
}

StandInDom::StandInDom()
{
    nodeTable.AddRef = NodeAddRef;
    nodeTable.Release = NodeRelease;
    nodeTable.get_nodeName = NodeName;
    listTable.AddRef = ListAddRef;
    listTable.Release = ListRelease;
    listTable.get_length = ListLength;
    listTable.get_item = ListItem;
    documentTable.AddRef = DocumentAddRef;
    documentTable.Release = DocumentRelease;
    documentTable.put_async = DocumentAsync;
    documentTable.put_resolveExternals = DocumentResolve;
    documentTable.getElementsByTagName = DocumentElements;
    list.lpVtbl = &listTable;
    document.lpVtbl = &documentTable;
    domCalls.clear();
}

void StandInDom::List(const std::vector<const WCHAR *> &names, const WCHAR *unnamed)
{
    nodes.resize(names.size());
    listedElements.clear();
    for (size_t i = 0; i < names.size(); i++) {
        nodes[i] = { { &nodeTable }, 1, names[i] == unnamed ? NULL : names[i] };
        listedElements.push_back(names[i] ? &nodes[i] : NULL);
    }
}
