/* The feed combo box: filling it on the worker thread from the user's feeds
   and the stand-in feed store, and choosing a feed. */
#include "tests/support/band_rig.h"
#include "core/module.h"
#include "tests/support/ticker_rig.h"
#include "tests/support/hresult.h"
#include "feeds/feedlist.h"
#include "settings/settings.h"
#include <gtest/gtest.h>
#include <commctrl.h>
#include <stdlib.h>

namespace {

typedef std::vector<LONG> Data;
typedef std::vector<std::string> Texts;

std::string RdfFeed(const std::string &title)
{
    return "<?xml version=\"1.0\"?><rdf:RDF xmlns:rdf=\"http://www.w3.org/1999/02/22-rdf-syntax-ns#\" "
           "xmlns=\"http://purl.org/rss/1.0/\"><channel><title>" + title + "</title></channel>"
           "<item><title>" + title + " news</title></item></rdf:RDF>";
}

/* Records the selections the combo box is given. */
std::vector<LRESULT> selections;
WNDPROC comboProc;
LRESULT CALLBACK RecordingComboProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == CB_SETCURSEL)
        selections.push_back((LRESULT)wParam);
    return CallWindowProcW(comboProc, window, message, wParam, lParam);
}

class FeedCombo : public testing::Test {
protected:
    /* Three user feeds, the second not a feed, the third shown and RDF. */
    void ServeThreeFeeds()
    {
        rig.server.Serve("/a", ChannelFeed("Alpha"));
        rig.server.Serve("/b", "<html>no feed here</html>", 200, "text/html");
        rig.server.Serve("/c", RdfFeed("Gamma"));
        rig.WriteServers({ rig.server.Url("/a"), rig.server.Url("/b"), rig.server.Url("/c") },
                         rig.server.Url("/c"));
        rig.SetStoreFeeds({ { "http://store.test/one", "One" }, { "http://store.test/two", "Two" },
                            { "http://store.test/three", "Three" } });
    }
    void StartRecording()
    {
        selections.clear();
        comboProc = (WNDPROC)SetWindowLongPtrW(rig.combo(), GWLP_WNDPROC, (LONG_PTR)RecordingComboProc);
    }
    /* The ticker the toolbar reaches through its ticker window, swapped for a
       record of the test's own so that the rendering thread cannot take the
       load event first. */
    TickerState *FakeTicker()
    {
        fake = (TickerState *)calloc(1, sizeof(TickerState));
        fake->band = rig.band();
        fake->loadEvent = CreateEventA(NULL, FALSE, FALSE, NULL);
        real = (TickerState *)SetWindowLongPtrA(rig.ticker(), GWLP_USERDATA, (LONG_PTR)fake);
        return fake;
    }
    void TearDown() override
    {
        if (fake) {
            SetWindowLongPtrA(rig.ticker(), GWLP_USERDATA, (LONG_PTR)real);
            CloseHandle(fake->loadEvent);
            free(fake);
        }
    }
    bool Loaded() { return WaitForSingleObject(fake->loadEvent, 0) == WAIT_OBJECT_0; }
    /* Toolbar windows whose fill of two user feeds is held at the first,
       "/slow", until the server lets it go. */
    bool StartHeldFill(const std::vector<std::pair<std::string, std::string>> &store = {})
    {
        rig.server.Serve("/slow", ChannelFeed("Slow"), 200, "text/xml", LoopbackServer::Hold);
        rig.server.Serve("/a", ChannelFeed("Alpha"));
        rig.WriteServers({ rig.server.Url("/slow"), rig.server.Url("/a") }, "");
        if (!store.empty())
            rig.SetStoreFeeds(store);
        return rig.Build() && rig.CreateWindows() &&
               PumpUntil([&] { return rig.server.Requests("/slow") == 1; }, 5000);
    }

    BandRig rig;
    TickerState *fake = nullptr;
    TickerState *real = nullptr;
};

TEST_F(FeedCombo, UserFeedsByTitleThenTheStoresFeeds)
{
    ServeThreeFeeds();
    ASSERT_TRUE(rig.Build());
    ASSERT_TRUE(rig.CreateWindows());
    StartRecording();
    ASSERT_TRUE(rig.WaitFills());
    EXPECT_EQ(Data({ 0, 2, -1, -2, -3 }), rig.ItemData());
    EXPECT_EQ(Texts({ "Alpha", "Gamma", "One", "Two", "Three" }), rig.Texts());
    EXPECT_EQ(std::vector<LRESULT>({ 1, 0 }), selections) << "the shown feed while filling, then selectedFeed";
    EXPECT_EQ(0, SendMessageA(rig.combo(), CB_GETCURSEL, 0, 0));
    EXPECT_EQ(0, rig.StoreObjects()) << "every store object is released";

    /* A new fill replaces the entries and ends on the remembered choice. */
    rig.band()->selectedFeed = 3;
    PostMessageA(rig.toolbar, WM_FEEDLIST_FILL, 0, (LPARAM)rig.band());
    ASSERT_TRUE(rig.WaitFills());
    EXPECT_EQ(Data({ 0, 2, -1, -2, -3 }), rig.ItemData());
    EXPECT_EQ(3, SendMessageA(rig.combo(), CB_GETCURSEL, 0, 0));

    rig.band()->selectedFeed = 1;
    SendMessageA(rig.toolbar, WM_FEEDLIST_RESELECT, 0, 0);
    EXPECT_EQ(1, SendMessageA(rig.combo(), CB_GETCURSEL, 0, 0));
}

TEST_F(FeedCombo, ChoosingAnEntryLoadsItsUrlWithoutTouchingTheSettings)
{
    ServeThreeFeeds();
    ASSERT_TRUE(rig.Build());
    ASSERT_TRUE(rig.CreateWindows());
    ASSERT_TRUE(rig.WaitFills());
    std::string settings = ReadWholeFile(rig.scratch.SettingsPath());
    TickerState *ticker = FakeTicker();

    rig.Choose(4);
    EXPECT_STREQ("http://store.test/three", ticker->feedUrl) << "item data -3 is store position 2";
    EXPECT_TRUE(Loaded());
    EXPECT_EQ(4, rig.band()->selectedFeed);

    rig.Choose(1);
    EXPECT_EQ(rig.server.Url("/c"), ticker->feedUrl) << "item data 2 is the third server entry";
    EXPECT_TRUE(Loaded());

    rig.Choose(2);
    rig.Choose(0);
    EXPECT_EQ(rig.server.Url("/a"), ticker->feedUrl) << "the later of two quick choices wins";
    EXPECT_EQ(settings, ReadWholeFile(rig.scratch.SettingsPath()));

    /* A store position that no longer exists changes the selection only. */
    rig.SetStoreFeeds({ { "http://store.test/one", "One" } });
    while (Loaded()) {}
    rig.Choose(3);
    EXPECT_EQ(3, rig.band()->selectedFeed);
    EXPECT_EQ(rig.server.Url("/a"), ticker->feedUrl);
    EXPECT_FALSE(Loaded());
}

TEST_F(FeedCombo, ChoosingReloadsTheRealTicker)
{
    rig.server.Serve("/a", MakeRss(2, "alpha"));
    rig.WriteServers({ rig.server.Url("/a") }, rig.server.Url("/ticker"));
    ASSERT_TRUE(rig.Build());
    ASSERT_TRUE(rig.CreateWindows());
    ASSERT_TRUE(rig.WaitFills());
    TickerState *ticker = rig.band()->ticker;
    ASSERT_TRUE(PumpUntil([&] { return WaitForSingleObject(ticker->loadingEvent, 0) == WAIT_OBJECT_0; }, 10000));
    rig.Choose(0);
    EXPECT_EQ(rig.server.Url("/a"), ticker->feedUrl);
    /* The rendering thread reloads from feedUrl: the fill fetched /a once
       for its title, the ticker fetches it again. */
    EXPECT_TRUE(PumpUntil([&] { return rig.server.Requests("/a") >= 2; }, 5000));
    EXPECT_TRUE(PumpUntil([&] { return ticker->itemCount == 2 && WaitForSingleObject(ticker->loadingEvent, 0) == WAIT_OBJECT_0; }, 5000));
}

TEST_F(FeedCombo, OverlongTextsAreCutToFit)
{
    rig.server.Serve("/a", ChannelFeed(std::string(2000, 'T')));
    rig.WriteServers({ rig.server.Url("/a") }, "");
    std::string longStoreUrl = "http://store.test/" + std::string(1500, 's');
    rig.SetStoreFeeds({ { longStoreUrl, "Long" }, { "http://store.test/x", "!fail" } });
    ASSERT_TRUE(rig.Build());
    ASSERT_TRUE(rig.CreateWindows());
    ASSERT_TRUE(rig.WaitFills());
    ASSERT_EQ(Data({ 0, -1 }), rig.ItemData()) << "a store feed without a title has no entry";
    EXPECT_EQ(std::string(1023, 'T'), rig.Texts()[0]);

    TickerState *ticker = FakeTicker();
    rig.Choose(1);
    EXPECT_EQ(longStoreUrl.substr(0, 1023), ticker->feedUrl);
}

TEST_F(FeedCombo, EntriesLoadWhatTheyShowUntilTheNextFill)
{
    for (const char *path : { "/a", "/b", "/c", "/d" })
        rig.server.Serve(path, ChannelFeed(path));
    rig.WriteServers({ rig.server.Url("/a"), rig.server.Url("/b"), rig.server.Url("/c") }, "");
    ASSERT_TRUE(rig.Build());
    ASSERT_TRUE(rig.CreateWindows());
    ASSERT_TRUE(rig.WaitFills());
    TickerState *ticker = FakeTicker();

    /* Another band's OK, or its siting, rewrites the live list: /b goes,
       /d comes. This combo box still shows /b as its second entry. */
    std::string rewritten = rig.server.Url("/a") + ";" + rig.server.Url("/c") + ";" + rig.server.Url("/d") + ";";
    lstrcpyA(rig.band()->serverList, rewritten.c_str());
    rig.band()->serverList[rewritten.size() + 1] = 0;
    rig.Choose(1);
    EXPECT_EQ(rig.server.Url("/b"), ticker->feedUrl);
    EXPECT_EQ(rewritten, std::string(rig.band()->serverList)) << "choosing leaves the list whole";

    PostMessageA(rig.toolbar, WM_FEEDLIST_FILL, 0, 0);
    ASSERT_TRUE(rig.WaitFills());
    ASSERT_EQ(Texts({ "/a", "/c", "/d" }), rig.Texts());
    rig.Choose(1);
    EXPECT_EQ(rig.server.Url("/c"), ticker->feedUrl);
}

/* Labels are clean text, an Atom feed's title among them. */
TEST_F(FeedCombo, WithoutAStoreOnlyTheUsersFeeds)
{
    rig.server.Serve("/a", ChannelFeed("Al&lt;b&gt;pha&lt;/b&gt;\n &amp;amp; co"));
    rig.server.Serve("/b", "<feed xmlns=\"http://www.w3.org/2005/Atom\"><title type=\"xhtml\">"
                           "<div xmlns=\"http://www.w3.org/1999/xhtml\">Be<i>ta</i> &amp;lt;3</div></title></feed>");
    rig.WriteServers({ rig.server.Url("/a"), rig.server.Url("/b") }, "");
    rig.NoStore();
    ASSERT_TRUE(rig.Build());
    ASSERT_TRUE(rig.CreateWindows());
    ASSERT_TRUE(rig.WaitFills());
    EXPECT_EQ(Data({ 0, 1 }), rig.ItemData());
    EXPECT_EQ(Texts({ "Alpha & co", "Beta &lt;3" }), rig.Texts());

    rig.SetStoreFeeds({});
    PostMessageA(rig.toolbar, WM_FEEDLIST_FILL, 0, 0);
    ASSERT_TRUE(rig.WaitFills());
    EXPECT_EQ(Data({ 0, 1 }), rig.ItemData()) << "an empty store adds nothing";
}

TEST_F(FeedCombo, AFillStartedTwiceLeavesOneSetOfEntries)
{
    ASSERT_TRUE(StartHeldFill({ { "http://store.test/one", "One" } }));
    PostMessageA(rig.toolbar, WM_FEEDLIST_FILL, 0, 0);
    ASSERT_TRUE(PumpUntil([&] { return rig.server.Requests("/slow") == 2; }, 5000));
    rig.server.Release();
    ASSERT_TRUE(rig.WaitFills(2));
    EXPECT_EQ(Data({ 0, 1, -1 }), rig.ItemData());
    EXPECT_EQ(1, rig.server.Requests("/a")) << "the older fill stopped before its next feed";
}

TEST_F(FeedCombo, AnotherToolbarsEndLeavesThisFillRunning)
{
    ASSERT_TRUE(StartHeldFill());

    /* A second band's toolbar fills from an empty list and goes away. */
    HWND site = rig.site;
    HWND toolbar = rig.toolbar;
    rig.band()->serverList[0] = 0;
    ASSERT_TRUE(rig.CreateWindows());
    ASSERT_TRUE(rig.WaitFills());
    rig.DestroyWindows();
    rig.site = site;
    rig.toolbar = toolbar;

    rig.server.Release();
    ASSERT_TRUE(rig.WaitFills());
    EXPECT_EQ(Data({ 0, 1 }), rig.ItemData());
    EXPECT_EQ(0, SendMessageA(rig.combo(), CB_GETCURSEL, 0, 0));
}

TEST_F(FeedCombo, AFillOutlivingItsToolbarKeepsWhatItUses)
{
    ASSERT_TRUE(StartHeldFill());
    HANDLE done = rig.band()->feedListDoneEvent;

    DWORD start = GetTickCount();
    rig.DestroyWindows();
    rig.Release();
    EXPECT_LT(GetTickCount() - start, 4000u) << "nothing waits for the download";
    EXPECT_EQ(nullptr, processBandState);
    EXPECT_HR(S_FALSE, CanUnloadModule()) << "the fill thread still runs code of the module";
    DWORD flags;
    EXPECT_TRUE(GetHandleInformation(done, &flags)) << "the fill will still set its done event";

    rig.server.Release();
    ASSERT_TRUE(PumpUntil([] { return CanUnloadModule() == S_OK; }, 10000));
    EXPECT_FALSE(GetHandleInformation(done, &flags)) << "the last holder closed the events";
    EXPECT_EQ(0, rig.server.Requests("/a")) << "the stopped fill loaded nothing more";
}

}  // namespace
