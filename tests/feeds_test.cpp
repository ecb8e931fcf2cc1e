/* Feed documents through the real MSXML DOM, over loopback HTTP and files. */
#include "tests/support/http_server.h"
#include <gtest/gtest.h>
#include <string>
#include <vector>
#include "feeds/feeds.h"
#include "tests/support/scratch.h"

namespace {

std::string Narrow(const WCHAR *text)
{
    std::string out;
    for (; text && *text; text++)
        out += *text < 128 ? (char)*text : '?';
    return out;
}

std::string NodeName(IXMLDOMNode *node)
{
    BSTR name = NULL;
    IXMLDOMNode_get_nodeName(node, &name);
    std::string out = Narrow(name);
    SysFreeString(name);
    return out;
}

std::wstring ChildText(IXMLDOMNode *node, const WCHAR *name)
{
    BSTR text = NULL;
    if (GetChildText(node, name, &text) != S_OK)
        return L"<none>";
    std::wstring out(text, SysStringLen(text));
    SysFreeString(text);
    return out;
}

struct Loaded {
    HRESULT hr = E_UNEXPECTED;
    int kind = -1;
    std::string rootName;
    std::vector<std::wstring> titles;
};

HRESULT CollectTitle(IXMLDOMNode *item, void *context)
{
    ((Loaded *)context)->titles.push_back(ChildText(item, L"title"));
    IXMLDOMNode_Release(item);
    return S_OK;
}

class FeedParser : public testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(SUCCEEDED(CoInitialize(NULL)));
        ASSERT_TRUE(server.Start());
    }
    void TearDown() override
    {
        server.Stop();
        CoUninitialize();
    }
    Loaded Load(const std::string &url)
    {
        Loaded loaded;
        IXMLDOMNode *root = (IXMLDOMNode *)1;
        loaded.hr = LoadFeedDocument(url.c_str(), &root, &loaded.kind);
        if (loaded.hr != S_OK) {
            EXPECT_EQ(nullptr, root) << "a failed load hands out no node";
            return loaded;
        }
        EXPECT_NE(nullptr, root);
        if (!root)
            return loaded;
        loaded.rootName = NodeName(root);
        EXPECT_EQ(S_OK, ForEachFeedItem(root, CollectTitle, &loaded));
        IXMLDOMNode_Release(root);
        return loaded;
    }
    Loaded Serve(const std::string &body, const std::string &type = "text/xml", int status = 200)
    {
        server.Serve("/feed", body, status, type);
        return Load(server.Url("/feed"));
    }
    LoopbackServer server;
};

const char RSS[] =
    "<?xml version=\"1.0\"?><rss version=\"2.0\"><channel><title>Chan</title>"
    "<link>http://x/</link><item><title>one</title></item>"
    "<item><title>two</title></item><!-- c --><item><title>three</title></item>"
    "</channel></rss>";

TEST_F(FeedParser, RssGivesTheChannelAndItsItemsInOrder)
{
    Loaded loaded = Serve(RSS);
    ASSERT_EQ(S_OK, loaded.hr);
    EXPECT_EQ(FEED_KIND_RSS, loaded.kind);
    EXPECT_EQ("channel", loaded.rootName);
    EXPECT_EQ((std::vector<std::wstring>{ L"one", L"two", L"three" }), loaded.titles);
}

TEST_F(FeedParser, RdfGivesTheRdfElementAndSkipsItsChannel)
{
    Loaded loaded = Serve(
        "<?xml version=\"1.0\"?><rdf:RDF xmlns:rdf=\"http://www.w3.org/1999/02/22-rdf-syntax-ns#\""
        " xmlns=\"http://purl.org/rss/1.0/\"><channel><title>C</title><item><title>in channel</title>"
        "</item></channel><item><title>a</title></item><item><title>b</title></item></rdf:RDF>");
    ASSERT_EQ(S_OK, loaded.hr);
    EXPECT_EQ(FEED_KIND_RDF, loaded.kind);
    EXPECT_EQ("rdf:RDF", loaded.rootName);
    EXPECT_EQ((std::vector<std::wstring>{ L"a", L"b" }), loaded.titles);
}

TEST_F(FeedParser, RootsAreFoundByExactQualifiedName)
{
    const char *rdfNs = " xmlns:rdf=\"http://www.w3.org/1999/02/22-rdf-syntax-ns#\"";
    struct Case {
        std::string body;
        HRESULT hr;
        int kind;
    } cases[] = {
        /* Two rdf:RDF elements and one rss: read as RSS. */
        { std::string("<w") + rdfNs + "><rdf:RDF/><rdf:RDF/><rss><channel><item/></channel></rss></w>",
          S_OK, FEED_KIND_RSS },
        /* One rss anywhere in the tree counts. */
        { "<w><x><rss><channel/></rss></x></w>", S_OK, FEED_KIND_RSS },
        /* Another prefix is not rdf:RDF, nor is r:rss an rss element. */
        { "<r:RDF xmlns:r=\"http://www.w3.org/1999/02/22-rdf-syntax-ns#\"><item/></r:RDF>", E_FAIL, 0 },
        { "<r:rss xmlns:r=\"urn:x\"><channel/></r:rss>", E_FAIL, 0 },
        { "<RSS><channel><item/></channel></RSS>", E_FAIL, 0 },
        { "<w><rss><channel/></rss><rss><channel/></rss></w>", E_FAIL, 0 },
        { "<feed xmlns=\"http://www.w3.org/2005/Atom\"><entry><title>t</title></entry></feed>", E_FAIL, 0 },
        { "<html><body><p>news</p></body></html>", E_FAIL, 0 },
        /* rss without a channel hands out no node. */
        { "<rss version=\"2.0\"><item/></rss>", E_FAIL, 0 },
    };
    for (const Case &c : cases) {
        Loaded loaded = Serve(c.body);
        EXPECT_EQ(c.hr, loaded.hr) << c.body;
        if (c.hr == S_OK) {
            EXPECT_EQ(c.kind, loaded.kind) << c.body;
        }
    }
}

TEST_F(FeedParser, FailedFetchesPassTheDomStatusOn)
{
    Loaded notFound = Load(server.Url("/missing"));
    EXPECT_EQ(S_FALSE, notFound.hr);
    Loaded text = Serve("hello, this is not a feed", "text/plain");
    EXPECT_EQ(S_FALSE, text.hr);
    Loaded empty = Serve("", "text/xml");
    EXPECT_NE(S_OK, empty.hr);
    Loaded refused = Load("http://127.0.0.1:1/feed");
    EXPECT_NE(S_OK, refused.hr);
}

TEST_F(FeedParser, ItemsAreDirectChildrenNamedExactlyItem)
{
    Loaded loaded = Serve(
        "<rss><channel><title>chan</title><Item><title>upper</title></Item>"
        "<x:item xmlns:x=\"urn:x\"><title>prefixed</title></x:item>"
        "<item><title>kept</title><item><title>nested</title></item></item>"
        "<group><item><title>deeper</title></item></group></channel></rss>");
    ASSERT_EQ(S_OK, loaded.hr);
    EXPECT_EQ((std::vector<std::wstring>{ L"kept" }), loaded.titles);

    Loaded none = Serve("<rss><channel><title>only</title></channel></rss>");
    ASSERT_EQ(S_OK, none.hr);
    EXPECT_TRUE(none.titles.empty());
}

TEST_F(FeedParser, ChildTextRules)
{
    Loaded loaded = Serve(
        "<rss><channel><item><title>first</title><title>second</title></item>"
        "<item><title>Mixed <b>bold</b> and <![CDATA[cdata <x> & y]]> end</title></item>"
        "<item><title/></item><item><link>l</link></item></channel></rss>");
    ASSERT_EQ(S_OK, loaded.hr);
    EXPECT_EQ((std::vector<std::wstring>{ L"first", L"Mixed bold and cdata <x> & y end", L"",
                                          L"<none>" }),
              loaded.titles);
}

TEST_F(FeedParser, ChildLookupsOnTheirOwn)
{
    server.Serve("/feed", RSS);
    IXMLDOMNode *root;
    int kind;
    ASSERT_EQ(S_OK, LoadFeedDocument(server.Url("/feed").c_str(), &root, &kind));

    BSTR text = (BSTR)0x1234;
    EXPECT_NE(S_OK, GetChildText(root, L"nothing", &text));
    EXPECT_EQ((BSTR)0x1234, text) << "a failed lookup leaves the text unwritten";
    EXPECT_NE(S_OK, GetChildText(root, L"Title", &text)) << "case counts";

    EXPECT_EQ(S_OK, FindChildElement(root, L"title", NULL));
    IXMLDOMNode *child = (IXMLDOMNode *)1;
    EXPECT_NE(S_OK, FindChildElement(root, L"nothing", &child));
    EXPECT_EQ(nullptr, child);
    ASSERT_EQ(S_OK, FindChildElement(root, L"link", &child));
    EXPECT_EQ("link", NodeName(child));
    IXMLDOMNode *none = (IXMLDOMNode *)1;
    EXPECT_NE(S_OK, FindChildElement(child, L"x", &none)) << "text only, no element children";
    IXMLDOMNode_Release(child);
    IXMLDOMNode_Release(root);

    EXPECT_EQ(S_OK, ForEachFeedItem(NULL, CollectTitle, NULL));
}

TEST_F(FeedParser, EncodingsArriveAsUtf16)
{
    const std::wstring want = L"\x00C4pfel \x00D6l \x00DC" L"bermut \x00DF";
    Loaded utf8 = Serve("<?xml version=\"1.0\" encoding=\"UTF-8\"?><rss><channel><item><title>"
                        "\xC3\x84pfel \xC3\x96l \xC3\x9C" "bermut \xC3\x9F</title></item></channel></rss>");
    ASSERT_EQ(S_OK, utf8.hr);
    EXPECT_EQ(std::vector<std::wstring>{ want }, utf8.titles);

    std::string latin1 = "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?><rss><channel><item><title>"
                         "\xC4pfel \xD6l \xDC" "bermut \xDF</title></item></channel></rss>";
    Loaded overHttp = Serve(latin1);
    ASSERT_EQ(S_OK, overHttp.hr);
    EXPECT_EQ(std::vector<std::wstring>{ want }, overHttp.titles);

    ScratchModule scratch;
    std::string path = scratch.folder() + "\\latin1.xml";
    WriteWholeFile(path, latin1);
    Loaded fromFile = Load(path);
    DeleteFileA(path.c_str());
    ASSERT_EQ(S_OK, fromFile.hr);
    EXPECT_EQ(std::vector<std::wstring>{ want }, fromFile.titles);
}

TEST_F(FeedParser, DocumentsNeverResolveExternals)
{
    IXMLDOMDocument *document = NULL;
    ASSERT_EQ(S_OK, CreateFeedDocument(&document));
    VARIANT_BOOL resolve = VARIANT_TRUE, async = VARIANT_TRUE;
    IXMLDOMDocument_get_resolveExternals(document, &resolve);
    IXMLDOMDocument_get_async(document, &async);
    EXPECT_EQ(VARIANT_FALSE, resolve);
    EXPECT_EQ(VARIANT_FALSE, async);
    IXMLDOMDocument_Release(document);

    /* An external entity never reaches the server. */
    server.Serve("/secret", "SECRET", 200, "text/plain");
    Loaded loaded = Serve("<?xml version=\"1.0\"?><!DOCTYPE rss [<!ENTITY e SYSTEM \"" +
                          server.Url("/secret") + "\">]><rss><channel><item><title>a&e;b</title>"
                          "</item></channel></rss>");
    if (loaded.hr == S_OK) {
        EXPECT_EQ(std::wstring::npos, loaded.titles.at(0).find(L"SECRET"));
    }
    EXPECT_EQ(0, server.Requests("/secret"));
}

TEST_F(FeedParser, AnsiToBstrConvertsTheSystemCodePage)
{
    BSTR text = AnsiToBstr("http://x/\xE4");
    EXPECT_EQ(std::wstring(L"http://x/\x00E4"), std::wstring(text));
    SysFreeString(text);
    std::string longUrl(1500, 'u');
    text = AnsiToBstr(longUrl.c_str());
    EXPECT_EQ(0u, SysStringLen(text)) << "a URL too long to convert is not cut into another one";
    SysFreeString(text);
}

}  // namespace
