/* The ticker's item list, its loading and its lifecycle, with the real
   rendering thread and feeds over loopback HTTP. */
#include "tests/support/ticker_rig.h"
#include "core/handoff.h"
#include <gtest/gtest.h>
#include <mmsystem.h>
#include "band/band.h"
#include "tests/support/leak_check.h"
#include "tests/support/hresult.h"
#include "resources/resource.h"
#include "core/ids.h"

namespace {

std::wstring Text(TickerItem *item, LONG drawnBefore)
{
    const WCHAR *text = NULL;
    LONG length = -1;
    EXPECT_EQ(0, item->ops->getText(item, &text, &length, drawnBefore));
    return text ? std::wstring(text, length) : L"<null>";
}

TEST(TickerItems, TextOfTheHeadDropsItsScrolledCharacters)
{
    TickerItem item = {};
    item.ops = &tickerItemOps;
    item.title = SysAllocString(L"Headline");
    item.titleLength = 8;
    item.scrolledChars = 3;
    EXPECT_EQ(L"dline", Text(&item, 0));
    EXPECT_EQ(L"Headline", Text(&item, 1));
    EXPECT_EQ(L"Headline", Text(&item, 7));

    item.flags = ITEM_HIDDEN | ITEM_HIDDEN_BY_USER;
    item.scrolledChars = 2;
    EXPECT_EQ(L"..]", Text(&item, 0));
    EXPECT_EQ(L"[...]", Text(&item, 1));
    SysFreeString(item.title);

    TickerItem untitled = {};
    untitled.ops = &tickerItemOps;
    EXPECT_EQ(L"<null>", Text(&untitled, 0));
}

class TickerLifecycle : public testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(SUCCEEDED(CoInitialize(NULL))); }
    void TearDown() override { CoUninitialize(); }
};

TEST_F(TickerLifecycle, FirstLoadFillsTheListInDocumentOrder)
{
    TickerRig rig;
    ASSERT_TRUE(rig.Start(MakeRss(3)));
    ASSERT_TRUE(rig.WaitLoaded());
    TickerState *t = rig.ticker();
    ASSERT_EQ(0, t->loadFailed);
    ASSERT_EQ(3, t->itemCount);
    EXPECT_EQ(0, t->headIndex);
    EXPECT_EQ(nullptr, t->hoveredItem);
    for (int i = 0; i < 3; i++) {
        EXPECT_EQ("item" + std::to_string(i + 1), rig.Title(i));
        EXPECT_EQ(5, t->items[i].titleLength);
        EXPECT_EQ(0, t->items[i].flags);
        EXPECT_EQ(0, t->items[i].scrolledChars);
        EXPECT_EQ(&tickerItemOps, t->items[i].ops);
        EXPECT_NE(nullptr, t->items[i].node);
    }
    EXPECT_EQ(rig.server.Url("/feed"), std::string(t->feedUrl));
    EXPECT_NE(nullptr, t->textFont);
    EXPECT_NE(nullptr, t->linkFont);
    EXPECT_NE(nullptr, t->itemMenu);
    EXPECT_NE(nullptr, t->tipText);
}

TEST_F(TickerLifecycle, StartFeedComesFromShowOrTheDefault)
{
    {
        TickerRig rig;
        ASSERT_TRUE(rig.StartTicker());
        char want[1024];
        LoadStringA(moduleHandle, IDS_DEFAULT_FEED, want, sizeof(want));
        EXPECT_STREQ(want, rig.ticker()->feedUrl);
        EXPECT_EQ(0u, std::string(want).find(ExpectedLanguage() == "de" ? "https://www.tagesschau.de"
                                                                          : "http://feeds.bbci.co.uk"));
    }
    for (size_t length : { 1022u, 1500u }) {
        TickerRig rig;
        std::string show = "http://127.0.0.1:1/" + std::string(length - 19, 'p');
        WritePrivateProfileStringA("Servers", "show", show.c_str(), rig.scratch.SettingsPath().c_str());
        ASSERT_TRUE(rig.StartTicker());
        EXPECT_EQ(show.substr(0, 1022), std::string(rig.ticker()->feedUrl));
    }
}

TEST_F(TickerLifecycle, ReloadReplacesTheListWithoutStaleTitles)
{
    TickerRig rig;
    ASSERT_TRUE(rig.Start(MakeRss(3, "old")));
    ASSERT_TRUE(rig.WaitLoaded());
    TickerState *t = rig.ticker();
    t->items[0].scrolledChars = 2;
    t->items[1].flags = ITEM_HIDDEN | ITEM_HIDDEN_BY_USER;

    rig.server.Serve("/next", "<rss><channel><item><link>x</link></item><item><title>new2</title>"
                              "</item></channel></rss>");
    /* Chosen before any band became active: the choice is loaded, not dropped. */
    rig.ChooseFeed(rig.server.Url("/next"));
    ASSERT_TRUE(PumpUntil([&] { return rig.server.Requests("/next") == 1; }, 5000));
    ASSERT_TRUE(rig.WaitLoaded());
    ASSERT_EQ(2, t->itemCount);
    EXPECT_EQ(nullptr, t->items[0].title) << "a missing title is null, not the slot's old title";
    EXPECT_EQ(0, t->items[0].titleLength);
    EXPECT_EQ(0, t->items[0].scrolledChars);
    EXPECT_EQ("new2", rig.Title(1));
    EXPECT_EQ(0, t->items[1].flags) << "a hide lasts until the next load";
}

/* The rendering thread sits in its first wait meanwhile; the test thread
   reloads in its place. */
TEST_F(TickerLifecycle, ReloadsLetTheReplacedListGo)
{
    TickerRig rig;
    ASSERT_TRUE(rig.Start(MakeRss(100)));
    ASSERT_TRUE(rig.WaitLoaded());
    TickerState *t = rig.ticker();
    ASSERT_EQ(100, t->itemCount);
    IXMLDOMNode *first = t->items[0].node;
    IXMLDOMNode_AddRef(first);
    /* From a file: the platform's HTTP stack keeps worker threads and
       buffers of its own that would blur the measure. */
    std::string file = rig.scratch.folder() + "\\feed.xml";
    WriteWholeFile(file, MakeRss(100));
    lstrcpynA(t->feedUrl, file.c_str(), URL_SIZE);
    auto reload = [&] {
        ASSERT_HR(S_OK, LoadFeed(t, NULL));
        ASSERT_EQ(100, t->itemCount);
    };
    /* One list of 100 titles kept a reload would be far more than the slack. */
    ExpectCyclesFlat(reload, 200, 64 * 1024);
    EXPECT_EQ(0u, IXMLDOMNode_Release(first)) << "a replaced item still holds its node";
}

TEST_F(TickerLifecycle, ALoadReadsOneWholeUrlWhileChoicesComeIn)
{
    TickerRig rig;
    /* Two long URLs that differ everywhere: a mix of them names no route. */
    const std::string a = "/" + std::string(990, 'a'), b = "/" + std::string(990, 'b');
    rig.server.Serve(a, MakeRss(1));
    rig.server.Serve(b, MakeRss(1));
    ASSERT_TRUE(rig.Start(MakeRss(1)));
    ASSERT_TRUE(rig.WaitLoaded());
    TickerState *t = rig.ticker();
    const std::string urlA = rig.server.Url(a), urlB = rig.server.Url(b);
    ASSERT_LT(urlA.size(), (size_t)URL_SIZE);
    t->loadFailedAt = 0;
    /* Choices without pause keep the rendering thread reloading back to back
       until a handful of loads, enough to race the copy, have run; a loaded
       machine takes longer to get there. */
    DWORD start = timeGetTime();
    while (rig.server.Requests(a) + rig.server.Requests(b) <= 4 && timeGetTime() - start < 30000) {
        RequestFeedLoad(t, urlA.c_str());
        RequestFeedLoad(t, urlB.c_str());
    }
    ASSERT_TRUE(rig.WaitLoaded());
    EXPECT_GT(rig.server.Requests(a) + rig.server.Requests(b), 4);
    EXPECT_EQ(0u, t->loadFailedAt) << "a load fetched a URL made of two choices";
}

TEST_F(TickerLifecycle, MoreThan256ItemsKeepTheFirst256)
{
    TickerRig rig;
    ASSERT_TRUE(rig.Start(MakeRss(300)));
    ASSERT_TRUE(rig.WaitLoaded(20000));
    TickerState *t = rig.ticker();
    ASSERT_EQ(256, t->itemCount);
    EXPECT_EQ("item1", rig.Title(0));
    EXPECT_EQ("item256", rig.Title(255));
    EXPECT_EQ(0, t->retiredCount);
}

TEST_F(TickerLifecycle, FailedLoadKeepsTheThreadAndALaterLoadFills)
{
    TickerRig rig;
    ASSERT_TRUE(rig.Start("this is not xml", LoopbackServer::Answer));
    ASSERT_TRUE(rig.WaitLoaded());
    TickerState *t = rig.ticker();
    EXPECT_EQ(1, t->loadFailed);
    EXPECT_EQ(0, t->itemCount);
    EXPECT_EQ(WAIT_TIMEOUT, WaitForSingleObject(t->loadingEvent, 0));
    EXPECT_EQ(WAIT_TIMEOUT, WaitForSingleObject(t->renderThread, 0)) << "the thread goes on";

    rig.server.Serve("/good", MakeRss(2));
    rig.ChooseFeed(rig.server.Url("/good"));
    ASSERT_TRUE(PumpUntil([&] { return t->itemCount == 2 && !t->loadFailed; }, 10000));
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(t->loadingEvent, 0));

    /* The thread is waiting, not downloading: teardown is prompt. */
    DWORD start = timeGetTime();
    rig.Stop();
    EXPECT_LT(timeGetTime() - start, 1000u);
}

/* Stands for the band's toolbar: counts the renderer's attaches. */
LONG reselects;

LRESULT CALLBACK CountingBandProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_FEEDLIST_RESELECT)
        reselects++;
    return DefWindowProcA(window, message, wParam, lParam);
}

TEST_F(TickerLifecycle, AFailedFeedIsFetchedAtAnAttachOnlyOnceAMinute)
{
    TickerRig rig;
    ASSERT_TRUE(rig.Start("no feed here"));
    ASSERT_TRUE(rig.WaitLoaded());
    TickerState *t = rig.ticker();
    ASSERT_EQ(1, t->loadFailed);
    WNDCLASSA windowClass = {};
    windowClass.lpfnWndProc = CountingBandProc;
    windowClass.hInstance = GetModuleHandleA(NULL);
    windowClass.lpszClassName = "velmora test band";
    RegisterClassA(&windowClass);
    HWND bar = CreateWindowExA(0, windowClass.lpszClassName, NULL, 0, 0, 0, 0, 0, HWND_MESSAGE,
                               NULL, windowClass.hInstance, NULL);
    rig.band.bandWindow = bar;
    reselects = 0;
    for (LONG i = 1; i <= 3; i++) {
        SetEvent(t->targetEvent);
        ASSERT_TRUE(PumpUntil([&] { return reselects == i; }, 5000));
    }
    EXPECT_EQ(1, rig.server.Requests("/feed")) << "tab switches downloaded the failed feed again";

    t->loadFailedAt -= 60000;
    SetEvent(t->targetEvent);
    EXPECT_TRUE(PumpUntil([&] { return rig.server.Requests("/feed") == 2; }, 5000)) << "a minute on";
    rig.ChooseFeed(rig.server.Url("/feed"));
    EXPECT_TRUE(PumpUntil([&] { return rig.server.Requests("/feed") == 3; }, 5000)) << "a choice";
    rig.Stop();
    DestroyWindow(bar);
}

TEST_F(TickerLifecycle, DestroyAfterAFailedLoadIsPrompt)
{
    TickerRig rig;
    ASSERT_TRUE(rig.Start("<html>not found</html>"));
    ASSERT_TRUE(rig.WaitLoaded());
    ASSERT_EQ(1, rig.ticker()->loadFailed);
    DWORD start = timeGetTime();
    rig.Stop();
    EXPECT_LT(timeGetTime() - start, 1000u);
    EXPECT_EQ(nullptr, rig.band.ticker);
}

std::string EventName(const char *name, DWORD processId = GetCurrentProcessId())
{
    return std::string(name) + " " + std::to_string(processId);
}

TEST_F(TickerLifecycle, EventsAreNamedForTheirProcessWithTheirResetKinds)
{
    TickerRig rig;
    /* While the first load is held, the rendering thread waits on no event. */
    ASSERT_TRUE(rig.Start(MakeRss(1), LoopbackServer::Hold));
    ASSERT_TRUE(PumpUntil([&] { return rig.server.Requests("/feed") == 1; }, 5000));
    TickerState *t = rig.ticker();
    const struct { const char *name; HANDLE own; bool manualReset; } events[] = {
        { "velmra load event", t->loadEvent, false },
        { "velmra exit event", t->exitEvent, false },
        { "velmra finish event", t->finishEvent, false },
        { "velmora target event", t->targetEvent, false },
        { "velmra loading event", t->loadingEvent, true },
    };
    for (const auto &e : events) {
        HANDLE bare = OpenEventA(SYNCHRONIZE, FALSE, e.name);
        EXPECT_EQ(nullptr, bare) << e.name << " is shared with every process";
        if (bare)
            CloseHandle(bare);
        HANDLE event = OpenEventA(SYNCHRONIZE | EVENT_MODIFY_STATE, FALSE, EventName(e.name).c_str());
        ASSERT_NE(nullptr, event) << EventName(e.name);
        EXPECT_EQ((DWORD)WAIT_TIMEOUT, WaitForSingleObject(e.own, 0)) << e.name;
        SetEvent(event);
        EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(e.own, 0)) << e.name;
        EXPECT_EQ(e.manualReset ? WAIT_OBJECT_0 : (DWORD)WAIT_TIMEOUT, WaitForSingleObject(e.own, 0))
            << e.name;
        ResetEvent(event);
        CloseHandle(event);
    }
    rig.server.Release();
    ASSERT_TRUE(rig.WaitLoaded());
}

/* Another browser process, started by the test below: its feed never
   answers, so its own rendering thread waits on no event when it destroys
   its ticker. */
TEST(TickerPeer, HangsItsLoadAndDestroys)
{
    const char *parent = getenv("VELMORA_PEER_OF");
    if (!parent)
        GTEST_SKIP() << "only as the peer process of TickerLifecycle";
    std::string parentName = EventName("velmra load event", (DWORD)atol(parent));
    HANDLE parentLoad = OpenEventA(SYNCHRONIZE, FALSE, parentName.c_str());
    EXPECT_NE(nullptr, parentLoad) << "a process that knows the id opens the events";
    if (parentLoad)
        CloseHandle(parentLoad);
    ASSERT_TRUE(SUCCEEDED(CoInitialize(NULL)));
    {
        TickerRig rig;
        ASSERT_TRUE(rig.Start("", LoopbackServer::Hang));
        ASSERT_TRUE(PumpUntil([&] { return rig.server.Requests("/feed") == 1; }, 5000));
        rig.Stop();
    }
    CoUninitialize();
}

TEST_F(TickerLifecycle, AnotherProcessWithATickerLeavesThisOneAlone)
{
    TickerRig rig;
    ASSERT_TRUE(rig.Start(MakeRss(2)));
    ASSERT_TRUE(rig.WaitLoaded());
    TickerState *t = rig.ticker();
    char program[MAX_PATH];
    GetModuleFileNameA(NULL, program, MAX_PATH);
    std::string line = "\"" + std::string(program) + "\" --gtest_filter=TickerPeer.*";
    SetEnvironmentVariableA("VELMORA_PEER_OF", std::to_string(GetCurrentProcessId()).c_str());
    STARTUPINFOA startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION peer = {};
    BOOL started = CreateProcessA(NULL, &line[0], NULL, NULL, FALSE, 0, NULL, NULL, &startup, &peer);
    SetEnvironmentVariableA("VELMORA_PEER_OF", NULL);
    ASSERT_TRUE(started);
    EXPECT_TRUE(WaitPumping(peer.hProcess, 30000));
    DWORD code = 1;
    GetExitCodeProcess(peer.hProcess, &code);
    EXPECT_EQ(0u, code) << "the peer's own checks failed";
    CloseHandle(peer.hThread);
    CloseHandle(peer.hProcess);
    EXPECT_EQ((DWORD)WAIT_TIMEOUT, WaitForSingleObject(t->renderThread, 0))
        << "the peer's teardown ended this process's rendering thread";
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(t->loadingEvent, 0))
        << "the peer's load reset this process's loading event";
}

/* Holds the rendering thread in the destruction of its tooltip, the step
   after its finish event, until the test lets it go. */
HANDLE tailRelease;
volatile LONG tailDone;
WNDPROC tooltipProc;

LRESULT CALLBACK SlowTailProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_DESTROY) {
        WaitForSingleObject(tailRelease, 10000);
        tailDone = 1;
    }
    return CallWindowProcA(tooltipProc, window, message, wParam, lParam);
}

BOOL CALLBACK FindTooltip(HWND window, LPARAM found)
{
    char name[32];
    if (GetClassNameA(window, name, sizeof(name)) && lstrcmpiA(name, "tooltips_class32") == 0)
        *(HWND *)found = window;
    return TRUE;
}

TEST_F(TickerLifecycle, DestroyNeverKillsAThreadThatHasFinished)
{
    TickerRig rig;
    ASSERT_TRUE(rig.Start(MakeRss(2)));
    ASSERT_TRUE(rig.WaitLoaded());
    HANDLE thread;
    ASSERT_TRUE(DuplicateHandle(GetCurrentProcess(), rig.ticker()->renderThread, GetCurrentProcess(),
                                &thread, 0, FALSE, DUPLICATE_SAME_ACCESS));
    HWND tooltip = NULL;
    EnumThreadWindows(GetThreadId(thread), FindTooltip, (LPARAM)&tooltip);
    ASSERT_NE(nullptr, tooltip);
    tailRelease = CreateEventA(NULL, TRUE, FALSE, NULL);
    tailDone = 0;
    tooltipProc = (WNDPROC)SetWindowLongPtrA(tooltip, GWLP_WNDPROC, (LONG_PTR)SlowTailProc);
    DWORD start = timeGetTime();
    rig.Stop();
    DWORD spent = timeGetTime() - start;
    SetEvent(tailRelease);
    EXPECT_TRUE(WaitPumping(thread, 5000));
    EXPECT_EQ(1, tailDone) << "the thread was killed after its finish event";
    EXPECT_LT(spent, 3200u);
    CloseHandle(tailRelease);
    CloseHandle(thread);
}

/* Runs in a process of its own: the download that never ends is left to
   its own bounds, and the ticker ends at once without it. */
TEST(TickerHang, DestroyWhileTheLoadHangsIsPrompt)
{
    ASSERT_TRUE(SUCCEEDED(CoInitialize(NULL)));
    {
        TickerRig rig;
        ASSERT_TRUE(rig.Start(MakeRss(2)));   /* warms COM, the DOM and the HTTP stack up */
        ASSERT_TRUE(rig.WaitLoaded());
        rig.Stop();
        ProcessUsage before = MeasureProcess();
        ASSERT_TRUE(rig.Start("", LoopbackServer::Hang));
        ASSERT_TRUE(PumpUntil([&] { return rig.server.Requests("/feed") == 2; }, 5000));
        TickerState *t = rig.ticker();
        HANDLE thread;
        ASSERT_TRUE(DuplicateHandle(GetCurrentProcess(), t->renderThread, GetCurrentProcess(), &thread,
                                    0, FALSE, DUPLICATE_SAME_ACCESS));
        HFONT fonts[] = { t->textFont, t->linkFont };
        HMENU menu = t->itemMenu;
        DWORD start = timeGetTime();
        rig.Stop();
        DWORD spent = timeGetTime() - start;
        EXPECT_LT(spent, 1000u);
        EXPECT_EQ(nullptr, rig.band.ticker);
        ProcessUsage after = MeasureProcess();
        /* The abandoned download holds what it holds inside the platform's
           HTTP stack until it times out; everything the ticker owned is
           closed (handle values may already serve that download again, so
           the named events are looked up by name). */
        printf("handles %lu -> %lu\n", before.handles, after.handles);
        EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(thread, 0)) << "the rendering thread runs on";
        CloseHandle(thread);
        for (const char *name : { "velmra load event", "velmra exit event", "velmra finish event",
                                  "velmora target event", "velmra loading event" }) {
            std::string full = std::string(name) + " " + std::to_string(GetCurrentProcessId());
            HANDLE event = OpenEventA(SYNCHRONIZE, FALSE, full.c_str());
            EXPECT_EQ(nullptr, event) << name << " is still open";
            if (event)
                CloseHandle(event);
        }
        for (HFONT font : fonts)
            EXPECT_EQ(0u, GetObjectType(font));
        EXPECT_FALSE(IsMenu(menu));
    }
    CoUninitialize();
}

TEST_F(TickerLifecycle, HundredCyclesLeaveTheProcessFlat)
{
    TickerRig rig;
    rig.server.Serve("/feed", MakeRss(20));
    WritePrivateProfileStringA("Servers", "show", rig.server.Url("/feed").c_str(),
                               rig.scratch.SettingsPath().c_str());
    auto cycle = [&] {
        ASSERT_TRUE(rig.StartTicker());
        ASSERT_TRUE(rig.WaitLoaded());
        ASSERT_EQ(20, rig.ticker()->itemCount);
        HFONT text = rig.ticker()->textFont, link = rig.ticker()->linkFont;
        HMENU menu = rig.ticker()->itemMenu;
        rig.Stop();
        /* GDI and USER counts read 0 under Wine; the handles themselves tell. */
        ASSERT_EQ(0u, GetObjectType(text));
        ASSERT_EQ(0u, GetObjectType(link));
        ASSERT_FALSE(IsMenu(menu));
    };
    /* One leaked title a cycle would already be more than the slack. */
    ExpectCyclesFlat(cycle, 100, 2048);
}

}  // namespace
