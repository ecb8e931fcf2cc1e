/* DOM stand-ins for what the real DOM will not do on request: a document
   that records how it is set up and lists the elements it is given, and
   elements that fail to be listed (no node) or to give their name. Slots
   left empty are not expected to be called. */
#ifndef VELMORA_TEST_DOM_STANDIN_H
#define VELMORA_TEST_DOM_STANDIN_H

#include <windows.h>
#include <ole2.h>
#include <msxml.h>
#include <string>
#include <vector>

struct StandInNode {
    IXMLDOMNode iface;
    LONG refs;
    const WCHAR *name;
};

/* What the document was asked, in order: "async off", "elements item", ... */
extern std::vector<std::string> domCalls;

struct StandInDom {
    StandInDom();
    /* Lists one element per name; NULL is an element that cannot be listed. */
    void List(const std::vector<const WCHAR *> &names, const WCHAR *unnamed);

    IXMLDOMNodeVtbl nodeTable = {};
    IXMLDOMNodeListVtbl listTable = {};
    IXMLDOMDocumentVtbl documentTable = {};
    IXMLDOMDocument document;
    std::vector<StandInNode> nodes;
    static IXMLDOMNodeList list;
};

#endif
