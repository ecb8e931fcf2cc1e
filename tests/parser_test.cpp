/* The feed parser and fetching: documents through the real MSXML DOM, over
   loopback HTTP and files, through the stand-in DOM where the real one cannot
   fail, and fetched through the platform's HTTP stack. */
#include "tests/support/http_server.h"
#include <gtest/gtest.h>
#include <string>
#include <vector>
#include "feeds/feeds.h"
#include "feeds/fetch.h"
#include "tests/support/scratch.h"
#include "tests/standins/dom.h"
#include "tests/support/hresult.h"

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

HRESULT CountItem(IXMLDOMNode *item, void *context)
{
    ++*(LONG *)context;
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
        EXPECT_HR(S_OK, ForEachFeedItem(root, CollectTitle, &loaded));
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
    ASSERT_HR(S_OK, loaded.hr);
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
    ASSERT_HR(S_OK, loaded.hr);
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
        /* One rdf:RDF wins over one rss. */
        { std::string("<w") + rdfNs + "><rss><channel><item/></channel></rss><rdf:RDF/></w>",
          S_OK, FEED_KIND_RDF },
        /* One rss anywhere in the tree counts. */
        { "<w><x><rss><channel/></rss></x></w>", S_OK, FEED_KIND_RSS },
        /* Another prefix is not rdf:RDF, nor is r:rss an rss element. */
        { "<r:RDF xmlns:r=\"http://www.w3.org/1999/02/22-rdf-syntax-ns#\"><item/></r:RDF>", E_FAIL, 0 },
        { "<r:rss xmlns:r=\"urn:x\"><channel/></r:rss>", E_FAIL, 0 },
        { "<RSS><channel><item/></channel></RSS>", E_FAIL, 0 },
        { "<w><rss><channel/></rss><rss><channel/></rss></w>", E_FAIL, 0 },
        /* Atom: the document element "feed", in the Atom namespace only. */
        { "<feed xmlns=\"http://www.w3.org/2005/Atom\"><entry><title>t</title></entry></feed>", S_OK,
          FEED_KIND_ATOM },
        { "<feed><entry><title>t</title></entry></feed>", E_FAIL, 0 },
        { "<feed xmlns=\"urn:other\"><entry/></feed>", E_FAIL, 0 },
        { "<a:feed xmlns:a=\"http://www.w3.org/2005/Atom\"><a:entry/></a:feed>", E_FAIL, 0 },
        { "<w><feed xmlns=\"http://www.w3.org/2005/Atom\"/></w>", E_FAIL, 0 },
        /* RSS 0.91 and 0.92 differ from 2.0 only in their version. */
        { "<rss version=\"0.91\"><channel><item><title>a</title></item></channel></rss>", S_OK, FEED_KIND_RSS },
        { "<rss version=\"0.92\"><channel><item><title>a</title></item></channel></rss>", S_OK, FEED_KIND_RSS },
        { "<html><body><p>news</p></body></html>", E_FAIL, 0 },
        /* rss without a channel hands out no node. */
        { "<rss version=\"2.0\"><item/></rss>", E_FAIL, 0 },
    };
    for (const Case &c : cases) {
        Loaded loaded = Serve(c.body);
        EXPECT_HR(c.hr, loaded.hr) << c.body;
        if (c.hr == S_OK) {
            EXPECT_EQ(c.kind, loaded.kind) << c.body;
        }
    }
}

TEST_F(FeedParser, FailedFetchesPassTheDomStatusOn)
{
    Loaded notFound = Load(server.Url("/missing"));
    EXPECT_HR(S_FALSE, notFound.hr);
    Loaded text = Serve("hello, this is not a feed", "text/plain");
    EXPECT_HR(S_FALSE, text.hr);
    Loaded empty = Serve("", "text/xml");
    EXPECT_HR_NE(S_OK, empty.hr);
    Loaded refused = Load("http://127.0.0.1:1/feed");
    EXPECT_HR_NE(S_OK, refused.hr);
}

TEST_F(FeedParser, ItemsAreDirectChildrenNamedExactlyItem)
{
    Loaded loaded = Serve(
        "<rss><channel><title>chan</title><Item><title>upper</title></Item>"
        "<x:item xmlns:x=\"urn:x\"><title>prefixed</title></x:item>"
        "<item><title>kept</title><item><title>nested</title></item></item>"
        "<group><item><title>deeper</title></item></group></channel></rss>");
    ASSERT_HR(S_OK, loaded.hr);
    EXPECT_EQ((std::vector<std::wstring>{ L"kept" }), loaded.titles);

    Loaded none = Serve("<rss><channel><title>only</title></channel></rss>");
    ASSERT_HR(S_OK, none.hr);
    EXPECT_TRUE(none.titles.empty());
}

TEST_F(FeedParser, ChildTextRules)
{
    Loaded loaded = Serve(
        "<rss><channel><item><title>first</title><title>second</title></item>"
        "<item><title>Mixed <b>bold</b> and <![CDATA[cdata <x> & y]]> end</title></item>"
        "<item><title/></item><item><link>l</link></item></channel></rss>");
    ASSERT_HR(S_OK, loaded.hr);
    EXPECT_EQ((std::vector<std::wstring>{ L"first", L"Mixed bold and cdata <x> & y end", L"",
                                          L"<none>" }),
              loaded.titles);
}

/* What the row, the tooltip, the link opener and the combo box get of a
   feed, each text through the real DOM and the clean-up. */
struct Shown {
    std::wstring title, link, description;
    bool operator==(const Shown &other) const
    {
        return title == other.title && link == other.link && description == other.description;
    }
};

std::wstring ItemText(IXMLDOMNode *item, int field)
{
    BSTR text = NULL;
    if (GetFeedItemText(item, field, &text) != S_OK)
        return L"<none>";
    std::wstring out(text, SysStringLen(text));
    SysFreeString(text);
    return out;
}

HRESULT CollectShown(IXMLDOMNode *item, void *context)
{
    ((std::vector<Shown> *)context)->push_back(
        { ItemText(item, FEED_ITEM_TITLE), ItemText(item, FEED_ITEM_LINK), ItemText(item, FEED_ITEM_DESCRIPTION) });
    IXMLDOMNode_Release(item);
    return S_OK;
}

std::string Escaped(const std::wstring &text)
{
    std::string out;
    for (WCHAR c : text) {
        char code[12];
        wsprintfA(code, c < 128 && c >= 32 ? "%c" : "\\x%04X", c);
        out += code;
    }
    return out;
}

TEST_F(FeedParser, FeedsReadAsCleanText)
{
    const std::string atom = "<feed xmlns=\"http://www.w3.org/2005/Atom\" xml:base=\"http://news.test/base/\">";
    const std::string xhtml = " type=\"xhtml\"><div xmlns=\"http://www.w3.org/1999/xhtml\">";
    struct Case {
        std::string body;
        int kind;
        std::wstring feedTitle;
        std::vector<Shown> items;
    } cases[] = {
        /* Atom's three text types; an entry without a title keeps its place. */
        { atom + "<title type=\"html\">Dev &lt;b&gt;Blog&lt;/b&gt;</title>"
                 "<entry><title>a &lt;b&gt;  c &amp;amp;</title><link href=\"/abs\"/><summary>s</summary></entry>"
                 "<entry><title type=\"html\">&lt;p&gt;One&lt;/p&gt;&lt;p&gt;Two &amp;amp;amp;&lt;/p&gt;</title>"
                 "<content type=\"html\">only &lt;i&gt;content&lt;/i&gt;</content></entry>"
                 "<entry><title" + xhtml + "<p>X &amp;lt;y&gt;</p>\n <p><i>Z</i> <b>W</b></p></div></title>"
                 "<summary>sum</summary><content>con</content></entry>"
                 "<entry><link rel=\"self\" href=\"http://self/\"/><link rel=\"alternate\" href=\"alt\"/></entry>"
                 "<entry xmlns=\"urn:other\"><title>not atom</title></entry></feed>",
          FEED_KIND_ATOM, L"Dev Blog",
          { { L"a <b> c &amp;", L"http://news.test/abs", L"s" },
            { L"One Two &amp;", L"<none>", L"only content" },
            { L"X &lt;y> Z W", L"<none>", L"sum" },
            { L"<none>", L"http://news.test/base/alt", L"<none>" } } },
        /* xml:base nests and may itself be relative; with none the link stays relative. */
        { "<feed xmlns=\"http://www.w3.org/2005/Atom\"><title>t</title>"
          "<entry xml:base=\"http://h/x/\"><title>1</title><link href=\"../a?q=1#f\"/></entry>"
          "<entry xml:base=\"http://h/x/\"><title>2</title><link xml:base=\"y/\" href=\"b.html\"/></entry>"
          "<entry><title>3</title><link href=\"rel/c.html\"/><link href=\"http://second/\"/></entry>"
          "<entry xml:base=\"sub/\"><title>4</title><link href=\"d.html\"/></entry></feed>",
          FEED_KIND_ATOM, L"t",
          { { L"1", L"http://h/a?q=1#f", L"<none>" },
            { L"2", L"http://h/x/y/b.html", L"<none>" },
            { L"3", L"rel/c.html", L"<none>" },
            { L"4", L"@/sub/d.html", L"<none>" } } },
        /* RSS: nested tags, entities escaped once and twice, CDATA; links as written. */
        { "<rss version=\"2.0\"><channel><title>News &amp;amp; &lt;b&gt;Views&lt;/b&gt;</title><item>"
          "<title>  Line\n  one &amp;#8217;s\t&amp;hellip; </title><link>/story/1</link>"
          "<description><![CDATA[<div class=\"x\" title=\"a>b\"><p>Hello &amp; <b>bold <i>deep</i></b>"
          "</p><!-- hidden --><br/>3 &lt; 4 &amp;lt;tag&amp;gt; &#169; AT&T</div>]]></description>"
          "</item></channel></rss>",
          FEED_KIND_RSS, L"News & Views",
          { { L"Line one \x2019s \x2026", L"/story/1", L"Hello & bold deep 3 < 4 &lt;tag&gt; \x00A9 AT&T" } } },
        /* A German feed whose umlauts arrive as named entities, in RDF. */
        { "<rdf:RDF xmlns:rdf=\"http://www.w3.org/1999/02/22-rdf-syntax-ns#\" xmlns=\"http://purl.org/rss/1.0/\">"
          "<channel><title>Gr&amp;uuml;&amp;szlig;e</title></channel><item><title>&amp;Auml;rger&amp;nbsp;&amp;uuml;ber "
          "&amp;ouml;l</title><link>http://de.test/1</link><description>&amp;bdquo;Zitat&amp;ldquo; &amp;euro;</description>"
          "</item></rdf:RDF>",
          FEED_KIND_RDF, L"Gr\x00FC\x00DF" L"e",
          { { L"\x00C4rger\x00A0\x00FC" L"ber \x00F6l", L"http://de.test/1", L"\x201EZitat\x201C \x20AC" } } },
        { "<rss version=\"0.91\"><channel><title>Old</title><item><title>a &amp;amp; b</title>"
          "<link>http://o/1</link></item></channel></rss>",
          FEED_KIND_RSS, L"Old", { { L"a & b", L"http://o/1", L"<none>" } } },
    };
    for (const Case &c : cases) {
        server.Serve("/feed", c.body);
        IXMLDOMNode *root = NULL;
        int kind = -1;
        ASSERT_HR(S_OK, LoadFeedDocument(server.Url("/feed").c_str(), &root, &kind)) << c.body;
        EXPECT_EQ(c.kind, kind) << c.body;
        BSTR title = NULL;
        EXPECT_HR(S_OK, GetFeedTitle(root, kind, &title)) << c.body;
        EXPECT_EQ(Escaped(c.feedTitle), Escaped(title ? title : L"")) << c.body;
        SysFreeString(title);
        std::vector<Shown> items;
        ForEachFeedItem(root, CollectShown, &items);
        IXMLDOMNode_Release(root);
        ASSERT_EQ(c.items.size(), items.size()) << c.body;
        for (size_t i = 0; i < items.size(); i++) {
            EXPECT_EQ(Escaped(c.items[i].title), Escaped(items[i].title)) << "item " << i << " of " << c.body;
            /* '@' stands for the server: a relative xml:base is the document's to resolve. */
            std::wstring link = c.items[i].link;
            if (link[0] == L'@') {
                std::string root = server.Url("");
                link = std::wstring(root.begin(), root.end()) + link.substr(1);
            }
            EXPECT_EQ(Escaped(link), Escaped(items[i].link)) << "item " << i << " of " << c.body;
            EXPECT_EQ(Escaped(c.items[i].description), Escaped(items[i].description))
                << "item " << i << " of " << c.body;
        }
    }
}

/* The clean-up on its own: what only a hand-made text can show. */
TEST_F(FeedParser, CleanTextRules)
{
    struct Case {
        const WCHAR *text;
        int form;
        const WCHAR *clean;
    } cases[] = {
        { L"&amp;lt;b&amp;gt; &lt;i&gt;", FEED_TEXT_HTML, L"&lt;b&gt; <i>" },
        { L"&#65;&#x42;&#X43; &#x1F600; &#0; &#xD800; &#99999999;", FEED_TEXT_HTML,
          L"ABC \xD83D\xDE00 \xFFFD \xFFFD \xFFFD" },
        { L"&unknown; &amp &#; &#x; &auml &Auml; &auml;", FEED_TEXT_HTML, L"&unknown; &amp &#; &#x; &auml \x00C4 \x00E4" },
        { L"&#10;&#9;x&#32;&#32;y&#13;", FEED_TEXT_HTML, L"x y" },
        { L"a<br>b<b>c</b>d<p/>e", FEED_TEXT_HTML, L"a bcd e" },
        { L"a < b > c <3 </ x", FEED_TEXT_HTML, L"a < b > c <3 </ x" },
        { L"<a href='x>y'>link</a> <unclosed", FEED_TEXT_HTML, L"link <unclosed" },
        { L"x<!-- never closed", FEED_TEXT_HTML, L"x" },
        { L"<![CDATA[<b>&amp;</b>]]>", FEED_TEXT_HTML, L"<b>&amp;</b>" },
        { L"<?xml version='1.0'?><!DOCTYPE x>t", FEED_TEXT_HTML, L"t" },
        { L"  <b>a</b>  &lt;b&gt;  ", FEED_TEXT_PLAIN, L"<b>a</b> &lt;b&gt;" },
        { L" \r\n\t ", FEED_TEXT_HTML, L"" },
        { L"", FEED_TEXT_PLAIN, L"" },
    };
    for (const Case &c : cases) {
        BSTR clean = CleanFeedText(c.text, c.form);
        ASSERT_NE(nullptr, clean);
        EXPECT_EQ(Escaped(c.clean), Escaped(std::wstring(clean, SysStringLen(clean)))) << Escaped(c.text);
        SysFreeString(clean);
    }
    EXPECT_EQ(nullptr, CleanFeedText(NULL, FEED_TEXT_HTML));
}

TEST_F(FeedParser, ChildLookupsOnTheirOwn)
{
    server.Serve("/feed", RSS);
    IXMLDOMNode *root;
    int kind;
    ASSERT_HR(S_OK, LoadFeedDocument(server.Url("/feed").c_str(), &root, &kind));

    BSTR text = (BSTR)0x1234;
    EXPECT_HR_NE(S_OK, GetChildText(root, L"nothing", &text));
    EXPECT_EQ((BSTR)0x1234, text) << "a failed lookup leaves the text unwritten";
    EXPECT_HR_NE(S_OK, GetChildText(root, L"Title", &text)) << "case counts";

    EXPECT_HR(S_OK, FindChildElement(root, L"title", NULL));
    IXMLDOMNode *child = (IXMLDOMNode *)1;
    EXPECT_HR_NE(S_OK, FindChildElement(root, L"nothing", &child));
    EXPECT_EQ(nullptr, child);
    ASSERT_HR(S_OK, FindChildElement(root, L"link", &child));
    EXPECT_EQ("link", NodeName(child));
    IXMLDOMNode *none = (IXMLDOMNode *)1;
    EXPECT_HR_NE(S_OK, FindChildElement(child, L"x", &none)) << "text only, no element children";
    IXMLDOMNode_Release(child);
    IXMLDOMNode_Release(root);

    EXPECT_HR(S_OK, ForEachFeedItem(NULL, CollectTitle, NULL));
}

TEST_F(FeedParser, EncodingsArriveAsUtf16)
{
    const std::wstring want = L"\x00C4pfel \x00D6l \x00DC" L"bermut \x00DF";
    Loaded utf8 = Serve("<?xml version=\"1.0\" encoding=\"UTF-8\"?><rss><channel><item><title>"
                        "\xC3\x84pfel \xC3\x96l \xC3\x9C" "bermut \xC3\x9F</title></item></channel></rss>");
    ASSERT_HR(S_OK, utf8.hr);
    EXPECT_EQ(std::vector<std::wstring>{ want }, utf8.titles);

    std::string latin1 = "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?><rss><channel><item><title>"
                         "\xC4pfel \xD6l \xDC" "bermut \xDF</title></item></channel></rss>";
    Loaded overHttp = Serve(latin1);
    ASSERT_HR(S_OK, overHttp.hr);
    EXPECT_EQ(std::vector<std::wstring>{ want }, overHttp.titles);

    ScratchModule scratch;
    std::string path = scratch.folder() + "\\latin1.xml";
    WriteWholeFile(path, latin1);
    Loaded fromFile = Load(path);
    DeleteFileA(path.c_str());
    ASSERT_HR(S_OK, fromFile.hr);
    EXPECT_EQ(std::vector<std::wstring>{ want }, fromFile.titles);
}

TEST_F(FeedParser, DocumentsNeverResolveExternals)
{
    StandInDom dom;
    SetUpFeedDocument(&dom.document);
    EXPECT_EQ((std::vector<std::string>{ "async off", "resolveExternals off" }), domCalls);

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

TEST_F(FeedParser, AnElementThatCannotBeReadFailsTheRootSearch)
{
    const WCHAR *unnamed = L"unnamed";
    struct Case {
        std::vector<const WCHAR *> elements;
        HRESULT hr;
    } cases[] = {
        { { L"rdf:RDF", NULL, L"rdf:RDF" }, E_FAIL },
        { { L"rdf:RDF", unnamed }, E_FAIL },
        { { L"channel", L"rdf:RDF" }, S_OK },
    };
    for (const Case &c : cases) {
        StandInDom dom;
        dom.List(c.elements, unnamed);
        IXMLDOMNode *root = (IXMLDOMNode *)1;
        int kind = -1;
        HRESULT hr = FindFeedRoot(&dom.document, &root, &kind);
        EXPECT_EQ(c.hr == S_OK, hr == S_OK) << std::hex << hr << " in case " << (&c - cases);
        if (hr == S_OK) {
            EXPECT_EQ(&dom.nodes[1].iface, root);
            EXPECT_EQ(FEED_KIND_RDF, kind);
            IXMLDOMNode_Release(root);
        } else {
            EXPECT_EQ(nullptr, root);
            EXPECT_EQ(FEED_KIND_NONE, kind);
        }
        for (const StandInNode &node : dom.nodes)
            EXPECT_EQ(1, node.refs) << "every listed element is given back";
    }
}

/* A refused document is a failed load; it must be refused before its texts
   are read, which would take far longer than the bound. */
TEST_F(FeedParser, EntitiesAreWeighedBeforeTheTextsAreRead)
{
    auto feed = [](const std::string &declarations, const std::string &title, const std::string &before = "") {
        return "<?xml version=\"1.0\"?>" + before + "<!DOCTYPE rss [" + declarations +
               "]><rss><channel><item><title>" + title + "</title></item></channel></rss>";
    };
    auto repeat = [](const std::string &text, int times) {
        std::string out;
        for (int i = 0; i < times; i++)
            out += text;
        return out;
    };
    struct Case {
        std::string body;
        bool loads;
    } cases[] = {
        { feed("<!ENTITY nbsp \"&#160;\"><!ENTITY co \"Smith &amp; Sons\">", "a&nbsp;b &co;"), true },
        /* One large entity used often: without the check, 15 M characters in one title. */
        { feed("<!ENTITY big \"" + std::string(50000, 'x') + "\">", repeat("&big;", 300)), false },
        { feed("<!ENTITY e \"" + std::string(100, 'x') + "\">", repeat("&e;", 3000)), false },
        { feed("<!ENTITY a \"aaaa\"><!ENTITY b \"&a;&a;\">", "&b;"), false },
        { feed("<!ENTITY a 'aaaa'><!ENTITY b '&#38;a;&#x26;a;'>", "&b;"), false },
        /* Only entity values weigh: comments, instructions and unused declarations do not. */
        { feed("<!ENTITY co \"Smith\">", "&co;", "<!-- AT&T, R&D -->"), true },
        { feed("<!-- <!ENTITY x \"&co;\"> --><?note a&b?><!ENTITY co \"Smith\">", "&co;"), true },
        { feed("<!ENTITY co \"Smith\">", "&co;", "<!-- " + std::string(20000, 'c') + " -->"), true },
        { feed("<!ENTITY big \"" + std::string(50000, 'x') + "\"><!ENTITY co \"Smith\">", "no entity"), true },
    };
    for (const Case &c : cases) {
        DWORD start = GetTickCount();
        Loaded loaded = Serve(c.body);
        DWORD elapsed = GetTickCount() - start;
        EXPECT_EQ(c.loads, loaded.hr == S_OK) << std::hex << loaded.hr << " in case " << (&c - cases);
        EXPECT_LT(elapsed, 2000u) << "case " << (&c - cases) << " took " << elapsed << " ms";
    }
    EXPECT_EQ(std::vector<std::wstring>{ L"a\x00A0" L"b Smith & Sons" }, Serve(cases[0].body).titles);
}

/* Asking a child list for item i walks it from the start under Wine. */
TEST_F(FeedParser, LongChannelsAreWalkedInLinearTime)
{
    const LONG count = 40000;
    std::string body = "<rss><channel>";
    for (LONG i = 0; i < count; i++)
        body += "<item/>";
    server.Serve("/feed", body + "<title>last</title></channel></rss>");
    IXMLDOMNode *root;
    int kind;
    ASSERT_HR(S_OK, LoadFeedDocument(server.Url("/feed").c_str(), &root, &kind));
    DWORD start = GetTickCount();
    LONG items = 0;
    ForEachFeedItem(root, CountItem, &items);
    std::wstring title = ChildText(root, L"title");
    DWORD elapsed = GetTickCount() - start;
    IXMLDOMNode_Release(root);
    EXPECT_EQ(count, items);
    EXPECT_EQ(L"last", title);
    EXPECT_LT(elapsed, 3000u) << "the walks took " << elapsed << " ms";
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

/* Fetches through the real HTTP stack against the loopback server, with
   the bounds shortened where waiting them out would take long. */
class FeedFetch : public FeedParser {
protected:
    void SetUp() override
    {
        FeedParser::SetUp();
        saved = fetchLimits;
    }
    void TearDown() override
    {
        fetchLimits = saved;
        FeedParser::TearDown();
    }
    FetchResult Fetch(const std::string &path, const FetchValidators *validators = NULL)
    {
        FetchResult result;
        HRESULT hr = FetchFeed(server.Url(path).c_str(), validators, &result, NULL);
        EXPECT_EQ(result.cause == FETCH_OK || result.cause == FETCH_NOT_MODIFIED ? S_OK : S_FALSE, hr)
            << path;
        return result;
    }
    FetchLimits saved;
};

TEST_F(FeedFetch, ValidatorsComeBackAndA304KeepsWhatWasThere)
{
    server.Serve("/feed", RSS);
    server.Validate("/feed", "\"v1\"");
    server.Headers("/feed", "Last-Modified: Tue, 01 Dec 2026 10:00:00 GMT\r\n");
    FetchResult first = Fetch("/feed");
    ASSERT_EQ(FETCH_OK, first.cause);
    EXPECT_STREQ("\"v1\"", first.validators.etag);
    EXPECT_STREQ("Tue, 01 Dec 2026 10:00:00 GMT", first.validators.lastModified);
    ASSERT_EQ(VT_ARRAY | VT_UI1, V_VT(&first.document));
    EXPECT_EQ(sizeof(RSS) - 1, V_ARRAY(&first.document)->rgsabound[0].cElements);
    EXPECT_EQ(std::string::npos, server.LastRequest("/feed").find("If-None-Match"));

    FetchResult again = Fetch("/feed", &first.validators);
    EXPECT_EQ(FETCH_NOT_MODIFIED, again.cause);
    EXPECT_EQ(304u, again.status);
    EXPECT_EQ(VT_EMPTY, V_VT(&again.document));
    std::string request = server.LastRequest("/feed");
    EXPECT_NE(std::string::npos, request.find("If-None-Match: \"v1\"\r\n")) << request;
    EXPECT_NE(std::string::npos, request.find("If-Modified-Since: Tue, 01 Dec 2026 10:00:00 GMT\r\n"))
        << request;
    EXPECT_EQ(2, server.Requests("/feed")) << "each fetch reaches the server, none is a cache copy";

    /* A changed document comes whole, and a 304 that was not asked for is a failure. */
    server.Validate("/feed", "\"v2\"");
    FetchResult changed = Fetch("/feed", &first.validators);
    EXPECT_EQ(FETCH_OK, changed.cause);
    EXPECT_STREQ("\"v2\"", changed.validators.etag);
    server.Serve("/bare304", "", 304);
    EXPECT_EQ(FETCH_HTTP_STATUS, Fetch("/bare304").cause);
    FreeFetchResult(&first);
    FreeFetchResult(&changed);
}

TEST_F(FeedFetch, CausesAreToldApart)
{
    fetchLimits.maxBytes = 4096;
    for (int i = 1; i <= 6; i++)
        server.Serve("/hop" + std::to_string(i), "", i == 3 ? 301 : 302);
    for (int i = 1; i <= 6; i++)
        server.Headers("/hop" + std::to_string(i), "Location: " + (i == 6 ? std::string("/feed") :
                                                                 "/hop" + std::to_string(i + 1)) + "\r\n");
    server.Serve("/feed", RSS);
    server.Serve("/busy", "", 503);
    server.Headers("/busy", "Retry-After: 120\r\n");
    server.Serve("/slow-down", "", 429);
    server.Headers("/slow-down", "Retry-After: Fri, 31 Dec 1999 23:59:59 GMT\r\n");
    server.Serve("/big", std::string(5000, ' ') + RSS);
    server.Serve("/big-unsized", std::string(5000, ' ') + RSS);
    server.Unsized("/big-unsized");
    server.Serve("/to-ftp", "", 302);
    server.Headers("/to-ftp", "Location: ftp://127.0.0.1/feed\r\n");
    server.Serve("/error", "<rss/>", 500);
    struct Case {
        std::string url;
        int cause;
        DWORD status;
        DWORD retryAfter;
    } cases[] = {
        { server.Url("/hop2"), FETCH_OK, 200, 0 },          /* five redirects */
        { server.Url("/hop1"), FETCH_HTTP_STATUS, 302, 0 }, /* six */
        { server.Url("/busy"), FETCH_HTTP_STATUS, 503, 120 },
        { server.Url("/slow-down"), FETCH_HTTP_STATUS, 429, 0 },   /* a date gone by */
        { server.Url("/error"), FETCH_HTTP_STATUS, 500, 0 },
        { server.Url("/big"), FETCH_TOO_LARGE, 200, 0 },
        { server.Url("/big-unsized"), FETCH_TOO_LARGE, 200, 0 },
        { server.Url("/to-ftp"), FETCH_BAD_ADDRESS, 302, 0 },
        { "ftp://127.0.0.1/feed", FETCH_BAD_ADDRESS, 0, 0 },
        { "file:///c:/windows/win.ini", FETCH_BAD_ADDRESS, 0, 0 },
        { "\\\\127.0.0.1\\share\\feed.xml", FETCH_BAD_ADDRESS, 0, 0 },
        { "http://127.0.0.1:1/feed", FETCH_NO_CONNECTION, 0, 0 },
        { "http://no-such-host.invalid/feed", FETCH_NAME_NOT_FOUND, 0, 0 },
    };
    for (const Case &c : cases) {
        FetchResult result;
        FetchFeed(c.url.c_str(), NULL, &result, NULL);
        EXPECT_EQ(c.cause, result.cause) << c.url;
        EXPECT_EQ(c.status, result.status) << c.url;
        EXPECT_EQ(c.retryAfter, result.retryAfterSeconds) << c.url;
        FreeFetchResult(&result);
    }
    EXPECT_EQ(0, server.Requests("/hop7"));
}

TEST_F(FeedFetch, ABodyOverTheBoundIsNotReadWhole)
{
    /* Announced: refused before the first byte; unannounced: soon after the bound. */
    std::string huge(8 * 1024 * 1024 + 1, 'x');
    server.Serve("/huge", huge);
    server.Serve("/huge-unsized", huge + huge);
    server.Unsized("/huge-unsized");
    for (const char *path : { "/huge", "/huge-unsized" }) {
        DWORD start = GetTickCount();
        FetchResult result = Fetch(path);
        EXPECT_EQ(FETCH_TOO_LARGE, result.cause) << path;
        EXPECT_LT(GetTickCount() - start, 5000u) << path;
    }
}

struct AbortedFetch {
    FetchAbort abort;
    std::string url;
    FetchResult result;
};

DWORD WINAPI FetchUntilAborted(void *parameter)
{
    AbortedFetch *a = (AbortedFetch *)parameter;
    FetchFeed(a->url.c_str(), NULL, &a->result, &a->abort);
    return 0;
}

TEST_F(FeedFetch, AServerThatNeverAnswersTimesOutAndAnAbortEndsItAtOnce)
{
    fetchLimits.totalMs = 1500;
    server.Serve("/hang", "", 200, "text/xml", LoopbackServer::Hang);
    DWORD start = GetTickCount();
    FetchResult result = Fetch("/hang");
    DWORD spent = GetTickCount() - start;
    EXPECT_EQ(FETCH_TIMED_OUT, result.cause);
    EXPECT_GE(spent, 1400u);
    EXPECT_LT(spent, 4000u);

    /* Another thread cuts a fetch short, as the ticker's end does. */
    fetchLimits.totalMs = 60000;
    AbortedFetch aborted = { { CreateEventA(NULL, TRUE, FALSE, NULL) }, server.Url("/hang"), {} };
    HANDLE thread = CreateThread(NULL, 0, FetchUntilAborted, &aborted, 0, NULL);
    ASSERT_TRUE(PumpUntil([&] { return server.Requests("/hang") == 2; }, 5000));
    start = GetTickCount();
    AbortFetch(&aborted.abort);
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(thread, 5000));
    printf("aborted fetch ended after %lu ms\n", GetTickCount() - start);
    EXPECT_LT(GetTickCount() - start, 1000u);
    EXPECT_NE(FETCH_OK, aborted.result.cause);
    CloseHandle(thread);
    CloseHandle(aborted.abort.event);
}

}  // namespace
