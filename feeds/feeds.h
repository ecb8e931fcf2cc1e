/* Feed documents through the platform's MSXML DOM: loading, finding the
   feed root and its items, and reading child texts. */
#ifndef VELMORA_FEEDS_H
#define VELMORA_FEEDS_H

#include <windows.h>
#include <ole2.h>
#include <msxml.h>

enum {
    FEED_KIND_NONE = 0,
    FEED_KIND_RDF = 1,
    FEED_KIND_RSS = 2
};

/* Takes over the item node's reference; the result is ignored. */
typedef HRESULT (*FeedItemCallback)(IXMLDOMNode *item, void *context);

/* Asynchronous loading and external resolution off. */
void SetUpFeedDocument(IXMLDOMDocument *document);
HRESULT LoadFeedDocument(const char *url, IXMLDOMNode **root, int *kind);
/* The same for a document already fetched (bytes or any source the DOM
   loads); S_OK only with a feed root. */
HRESULT ParseFeedDocument(VARIANT source, IXMLDOMNode **root, int *kind);
HRESULT FindFeedRoot(IXMLDOMDocument *document, IXMLDOMNode **root, int *kind);
HRESULT ForEachFeedItem(IXMLDOMNode *root, FeedItemCallback callback, void *context);
HRESULT GetChildText(IXMLDOMNode *parent, const WCHAR *name, BSTR *text);
HRESULT FindChildElement(IXMLDOMNode *parent, const WCHAR *name, IXMLDOMNode **child);
BSTR AnsiToBstr(const char *text);
/* UTF-16 to the ANSI code page, as much as fits whole into size bytes with
   the terminator, never half a surrogate pair; the bytes written before it. */
int WideToAnsiCut(const WCHAR *text, char *buffer, int size);

#endif
