/* Feed documents through the platform's MSXML DOM: loading, finding the
   feed root and its items, reading child texts, and turning titles and
   descriptions into the plain text the band shows. */
#ifndef VELMORA_FEEDS_H
#define VELMORA_FEEDS_H

#include <windows.h>
#include <ole2.h>
#include <msxml.h>

enum {
    FEED_KIND_NONE = 0,
    FEED_KIND_RDF = 1,
    FEED_KIND_RSS = 2,
    FEED_KIND_ATOM = 3
};

/* What GetFeedItemText reads of an item or an Atom entry. */
enum {
    FEED_ITEM_TITLE = 0,
    FEED_ITEM_LINK = 1,
    FEED_ITEM_DESCRIPTION = 2
};

/* How CleanFeedText reads a text: as plain text, or as HTML whose tags are
   dropped and whose character references are decoded. */
enum {
    FEED_TEXT_PLAIN = 0,
    FEED_TEXT_HTML = 1
};

/* Takes over the item node's reference; the result is ignored. */
typedef HRESULT (*FeedItemCallback)(IXMLDOMNode *item, void *context);

/* Asynchronous loading and external resolution off. */
void SetUpFeedDocument(IXMLDOMDocument *document);
HRESULT LoadFeedDocument(const char *url, IXMLDOMNode **root, int *kind);
/* The same for a document already fetched (bytes or any source the DOM
   loads); S_OK only with a feed root. */
HRESULT ParseFeedDocument(VARIANT source, const char *url, IXMLDOMNode **root, int *kind);
HRESULT FindFeedRoot(IXMLDOMDocument *document, IXMLDOMNode **root, int *kind);
HRESULT ForEachFeedItem(IXMLDOMNode *root, FeedItemCallback callback, void *context);
HRESULT GetChildText(IXMLDOMNode *parent, const WCHAR *name, BSTR *text);
HRESULT FindChildElement(IXMLDOMNode *parent, const WCHAR *name, IXMLDOMNode **child);
BSTR AnsiToBstr(const char *text);
/* The headline, link or description of an RSS or RDF item or an Atom entry:
   titles and descriptions as clean text, links as written (an Atom link
   already resolved against its xml:base). */
HRESULT GetFeedItemText(IXMLDOMNode *item, int field, BSTR *text);
/* The feed's own title as clean text: the channel's, or the Atom feed's. */
HRESULT GetFeedTitle(IXMLDOMNode *root, int kind, BSTR *title);
/* The URL the document of node was loaded from. */
HRESULT GetFeedDocumentUrl(IXMLDOMNode *node, BSTR *url);
/* What the row and the tooltip show of a text: markup dropped (in the HTML
   form), references decoded once, white space collapsed and trimmed. A new
   string, or null without memory. */
BSTR CleanFeedText(const WCHAR *text, int form);
/* The value of a digit of a character reference, or -1. */
int ReferenceDigit(WCHAR c, BOOL hex);
/* UTF-16 to the ANSI code page, as much as fits whole into size bytes with
   the terminator, never half a surrogate pair; the bytes written before it. */
int WideToAnsiCut(const WCHAR *text, char *buffer, int size);

#endif
