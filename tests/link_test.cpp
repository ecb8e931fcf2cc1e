/* Link opening and string resources as UTF-16. */
#include "tests/standins/browser.h"
#include "tests/support/standin_rig.h"
#include <gtest/gtest.h>
#include "browser/browser.h"
#include "band/band.h"
#include "ticker/ticker.h"
#include "resources/resource.h"
#include "tests/support/scratch.h"
#include "tests/support/hresult.h"

namespace {

/* One test hands the links a stand-in browser; a suite has one rig. */
class LinkOpening : public StandInRig {};

TEST_F(LinkOpening, LoadWideStringReportsBytesAndFailures)
{
    ScratchModule scratch;
    ASSERT_TRUE(scratch.ok());
    WCHAR buffer[256];
    DWORD bytes = 0;
    EXPECT_HR(S_OK, LoadWideString(moduleHandle, IDS_SUPPORT_PATH, buffer, &bytes));
    EXPECT_STREQ(L"/support.html", buffer);
    EXPECT_EQ(26u, bytes);

    /* The help page: the base address with the support path right behind it. */
    WCHAR url[1024];
    DWORD baseBytes = 0;
    ASSERT_HR(S_OK, LoadWideString(moduleHandle, IDS_HOMEPAGE_URL, url, &baseBytes));
    ASSERT_HR(S_OK, LoadWideString(moduleHandle, IDS_SUPPORT_PATH, url + baseBytes / 2, NULL));
    EXPECT_STREQ(L"http://velmora.example.com/support.html", url);

    buffer[0] = L'x';
    bytes = 77;
    HRESULT hr = LoadWideString(moduleHandle, 60000, buffer, &bytes);
    EXPECT_TRUE(FAILED(hr)) << std::hex << hr;
    EXPECT_EQ(0, buffer[0]);
    EXPECT_EQ(77u, bytes);
    EXPECT_HR(E_INVALIDARG, LoadWideString(moduleHandle, IDS_SUPPORT_PATH, NULL, &bytes));

    /* An id without text in an existing block copies nothing and reports 0 bytes. */
    buffer[0] = L'x';
    EXPECT_HR(S_OK, LoadWideString(moduleHandle, IDS_SUPPORT_PATH + 1, buffer, &bytes));
    EXPECT_EQ(0u, bytes);
    EXPECT_EQ(0, buffer[0]);
}

TEST_F(LinkOpening, OpenLinkUsesTheActiveBrowserOnly)
{
    StandInBrowser browser;
    BandState band = {};
    processBandState = &band;
    OpenLink(L"http://127.0.0.1/a", 0);   /* no browser known: nothing */
    band.browser = browser.browser();
    OpenLink(L"http://127.0.0.1/b", 2);   /* other bits are ignored */
    OpenLink(L"http://127.0.0.1/c", 1);
    processBandState = NULL;
    OpenLink(L"http://127.0.0.1/d", 0);

    ASSERT_EQ(2u, browser.navigations.size());
    EXPECT_EQ(L"http://127.0.0.1/b", browser.navigations[0].url);
    EXPECT_EQ(VT_EMPTY, browser.navigations[0].targetType);
    EXPECT_EQ(L"http://127.0.0.1/c", browser.navigations[1].url);
    EXPECT_EQ(VT_BSTR, browser.navigations[1].targetType);
    EXPECT_FALSE(browser.navigations[1].target.empty());
    EXPECT_EQ(1, browser.refs) << "navigation takes no reference of its own";

    /* Feeds choose their links: only web addresses open, the rest silently not. */
    struct Case {
        const WCHAR *url;
        bool opens;
    } cases[] = {
        { L"HTTPS://127.0.0.1/e", true }, { L"Http://127.0.0.1/f", true },
        { L"javascript:alert(1)", false }, { L"VBScript:msgbox(1)", false }, { L"file:///C:/windows/win.ini", false },
        { L"about:blank", false }, { L"httpx://127.0.0.1/", false }, { L" http://127.0.0.1/", false },
        { L"http", false }, { L"", false },
    };
    processBandState = &band;
    for (const Case &c : cases) {
        size_t before = browser.navigations.size();
        OpenLink(c.url, 0);
        EXPECT_EQ(c.opens ? before + 1 : before, browser.navigations.size()) << testing::PrintToString(std::wstring(c.url));
    }
    processBandState = NULL;
}

TEST_F(LinkOpening, FeedLinksResolveAgainstTheirDocument)
{
    const WCHAR *feed = L"http://news.test/feeds/all.xml?x=1";
    struct Case {
        const WCHAR *base, *link, *url;
    } cases[] = {
        { feed, L"story.html", L"http://news.test/feeds/story.html" },
        { feed, L"../a/b?c=d#e", L"http://news.test/a/b?c=d#e" },
        { feed, L"/root", L"http://news.test/root" },
        { feed, L"//cdn.test/p", L"http://cdn.test/p" },
        /* Absolute links stay exactly as written, whatever their scheme. */
        { feed, L"HTTPS://Other.test/A%20b c", L"HTTPS://Other.test/A%20b c" },
        { feed, L"javascript:alert(1)", L"javascript:alert(1)" },
        { NULL, L"rel.html", L"rel.html" },
        { L"", L"rel.html", L"rel.html" },
        /* An empty link would open the feed itself. */
        { feed, L"", NULL },
        { feed, NULL, NULL },
    };
    for (const Case &c : cases) {
        BSTR url = (BSTR)1;
        HRESULT hr = ResolveLink(c.base, c.link, &url);
        EXPECT_EQ(c.url != NULL, hr == S_OK) << std::hex << hr;
        EXPECT_EQ(std::wstring(c.url ? c.url : L"<none>"), std::wstring(url ? url : L"<none>"));
        SysFreeString(url);
    }
}

TEST_F(LinkOpening, NewBrowserPassesTheBrowsersFailureOn)
{
    ScratchModule scratch;
    ASSERT_TRUE(SUCCEEDED(CoInitialize(NULL)));
    HRESULT hr = ShowBandInNewBrowser();
    /* Wine's browser has no browser bars. */
    EXPECT_HR(E_NOTIMPL, hr);
    CloseBrowserFrames();
    CoUninitialize();
}

}  // namespace
