/* The ticker on screen under Xvfb: drawing read back from the window, the
   hover with its tooltip, the status texts, clicks and the item menu. */
#include "tests/support/ticker_scene.h"
#include "tests/support/standin_rig.h"
#include "core/handoff.h"
#include "tests/support/alloc_faults.h"
#include "tests/support/import_slot.h"
#include <gtest/gtest.h>
#include <mmsystem.h>
#include <commctrl.h>
#include <climits>
#include "band/band.h"
#include "resources/resource.h"
#include "feeds/fetch.h"
#include <oleacc.h>

/* The rendering thread's idle check asks IsWindowEnabled. Once armed, the
   next such call from another thread is held after its answer until the
   test lets it go, as if the band closed at that very moment. */
static HANDLE enabledChecked, enabledRelease;
static volatile LONG holdEnabledCheck;
static DWORD testThread;

static BOOL WINAPI HeldIsWindowEnabled(HWND window)
{
    static BOOL (WINAPI *real)(HWND);
    if (!real)
        real = (BOOL (WINAPI *)(HWND))(void (*)(void))GetProcAddress(GetModuleHandleA("user32.dll"), "IsWindowEnabled");
    BOOL enabled = real(window);
    if (GetCurrentThreadId() != testThread && InterlockedExchange(&holdEnabledCheck, 0)) {
        SetEvent(enabledChecked);
        WaitForSingleObject(enabledRelease, 5000);
    }
    return enabled;
}

/* Wine cannot turn high contrast on (SPI_SETHIGHCONTRAST fails): the
   answer to SPI_GETHIGHCONTRAST is staged here while stagedContrast is set. */
static volatile LONG stagedContrast;

static BOOL WINAPI StagedSystemParametersInfoA(UINT action, UINT number, void *value, UINT update)
{
    static BOOL (WINAPI *real)(UINT, UINT, void *, UINT);
    if (!real)
        real = (BOOL (WINAPI *)(UINT, UINT, void *, UINT))(void (*)(void))GetProcAddress(
            GetModuleHandleA("user32.dll"), "SystemParametersInfoA");
    if (action == SPI_GETHIGHCONTRAST && stagedContrast && value) {
        ((HIGHCONTRASTA *)value)->dwFlags = HCF_HIGHCONTRASTON;
        return TRUE;
    }
    return real(action, number, value, update);
}

extern "C" {
void *importIsWindowEnabled IMPORT_SLOT(IsWindowEnabled, 4) = (void *)HeldIsWindowEnabled;
void *importSystemParametersInfoA IMPORT_SLOT(SystemParametersInfoA, 16) = (void *)StagedSystemParametersInfoA;
}

namespace {

const COLORREF TEXT_COLOR = RGB(200, 0, 0);
const COLORREF LINK_COLOR = RGB(0, 0, 210);
const COLORREF BACK_COLOR = RGB(240, 240, 100);

std::string Feed(int count)
{
    std::string body = "<rss><channel><title>c</title>";
    for (int i = 1; i <= count; i++)
        body += "<item><title>Headline number " + std::to_string(i) + " of the test feed</title><link>http://127.0.0.1/news/" +
                std::to_string(i) + "</link><description>About headline " + std::to_string(i) +
                "</description></item>";
    return body + "<item><title>Bare headline</title></item></channel></rss>";
}

class TickerOnScreen : public StandInRig {
protected:
    void SetUp() override
    {
        StandInRig::SetUp();
        ASSERT_TRUE(SUCCEEDED(CoInitialize(NULL)));
        SetCursorPos(5, 1000);
    }
    void TearDown() override
    {
        SetCursorPos(5, 1000);
        CoUninitialize();
        StandInRig::TearDown();
    }
    static void Colour(TickerScene &scene)
    {
        scene.band.textColor = TEXT_COLOR;
        scene.band.linkColor = LINK_COLOR;
        scene.band.backColor = BACK_COLOR;
    }
};

int Mismatches(const std::vector<DWORD> &a, const std::vector<DWORD> &b)
{
    if (a.size() != b.size())
        return -1;
    int count = 0;
    for (size_t i = 0; i < a.size(); i++)
        count += a[i] != b[i];
    return count;
}

/* The longest run of one colour in any pixel row of the window. */
int LongestRun(const std::vector<DWORD> &pixels, int width, DWORD rgb)
{
    int best = 0;
    for (size_t row = 0; row < pixels.size() / width; row++) {
        int run = 0;
        for (int x = 0; x < width; x++) {
            run = pixels[row * width + x] == rgb ? run + 1 : 0;
            best = run > best ? run : best;
        }
    }
    return best;
}

TEST_F(TickerOnScreen, DrawsTheRowInItsColoursAndScrolls)
{
    TickerScene scene;
    Colour(scene);
    ASSERT_TRUE(scene.Show(Feed(3)));
    scene.PumpFor(300);
    EXPECT_GT(scene.CountColor(BACK_COLOR), 10000);
    EXPECT_GT(scene.CountColor(TEXT_COLOR), 200);
    EXPECT_EQ(0, scene.CountColor(LINK_COLOR));

    /* Between two headlines stands the separator, in the text colour. */
    TickerState *t = scene.ticker();
    scene.band.speed = 0;
    scene.PumpFor(300);
    SIZE size, separator;
    std::vector<DWORD> pixels = scene.Pixels(NULL, &size);
    HDC dc = GetDC(scene.TickerWindow());
    HGDIOBJ oldFont = SelectObject(dc, t->textFont);
    GetTextExtentPoint32W(dc, L" +++ ", 5, &separator);
    SelectObject(dc, oldFont);
    ReleaseDC(scene.TickerWindow(), dc);
    LONG gapLeft = t->items[1].rect.right, gapRight = t->items[2].rect.left;
    EXPECT_EQ(separator.cx, gapRight - gapLeft);
    const DWORD ink = (GetRValue(TEXT_COLOR) << 16) | (GetGValue(TEXT_COLOR) << 8) | GetBValue(TEXT_COLOR);
    int plusInk = 0;
    for (LONG y = 0; y < size.cy; y++)
        for (LONG x = gapLeft; x < gapRight && x < size.cx; x++)
            plusInk += pixels[y * size.cx + x] == ink;
    EXPECT_GT(plusInk, 10) << "the separator is drawn";

    /* A row standing still looks at the speed when its writer wakes it. */
    scene.band.speed = 1;
    WakeRenderer(t);
    LONG before = t->items[1].rect.left;
    scene.PumpFor(500);
    LONG after = t->items[1].rect.left;
    EXPECT_LT(after, before) << "the row moves left";
    EXPECT_GT(before - after, 5) << "about 25 frames at one pixel";

    scene.band.speed = 0;
    scene.PumpFor(100);
    LONG still = t->items[1].rect.left;
    scene.PumpFor(300);
    EXPECT_EQ(still, t->items[1].rect.left);
}

TEST_F(TickerOnScreen, HoverPausesUnderlinesAndShowsTheDescription)
{
    TickerScene scene(150, 300);
    Colour(scene);
    ASSERT_TRUE(scene.Show(Feed(3)));
    TickerState *t = scene.ticker();
    POINT cursor = scene.PointAtItem(1);
    ASSERT_TRUE(scene.WaitForHover());
    EXPECT_EQ(&t->items[1], t->hoveredItem);
    EXPECT_EQ(LoadCursor(NULL, IDC_HAND), t->cursor);
    scene.PumpFor(200);

    SIZE size;
    std::vector<DWORD> pixels = scene.Pixels(NULL, &size);
    DWORD link = (GetRValue(LINK_COLOR) << 16) | (GetGValue(LINK_COLOR) << 8) | GetBValue(LINK_COLOR);
    LONG itemWidth = t->items[1].rect.right - t->items[1].rect.left;
    EXPECT_GT(LongestRun(pixels, size.cx, link), itemWidth * 3 / 4) << "underlined in the link colour";

    LONG paused = t->items[1].rect.left;
    scene.PumpFor(400);
    EXPECT_EQ(paused, t->items[1].rect.left) << "the row stands while hovered";

    HWND tip = NULL;
    ASSERT_TRUE(PumpUntil([&] { return (tip = FindVisibleTooltip()) != NULL; }, 3000));
    RECT tipRect;
    GetWindowRect(tip, &tipRect);
    EXPECT_NEAR(cursor.x - 256, tipRect.left, 1);
    EXPECT_NEAR(cursor.y + 16, tipRect.top, 1);
    char text[256] = {};
    SendMessageA(tip, WM_GETTEXT, sizeof(text), (LPARAM)text);
    EXPECT_STREQ("About headline 2", text);

    /* Another application in front ends the hover under a still cursor:
       the topmost tip must not stand over it. Back in front, it resumes. */
    HWND other = CreateWindowExA(0, "STATIC", "other application", WS_POPUP | WS_VISIBLE, 0, 600, 200,
                                 100, NULL, NULL, NULL, NULL);
    SetForegroundWindow(other);
    EXPECT_TRUE(PumpUntil([] { return FindVisibleTooltip() == NULL; }, 3000)) << "the tip stays over the other";
    EXPECT_EQ(nullptr, t->hoveredItem);
    DestroyWindow(other);
    BringToFront(scene.frame);
    EXPECT_TRUE(scene.WaitForHover());
    EXPECT_TRUE(PumpUntil([] { return FindVisibleTooltip() != NULL; }, 3000));

    SetCursorPos(5, 1000);
    ASSERT_TRUE(PumpUntil([&] { return t->hoveredItem == NULL; }, 3000));
    EXPECT_TRUE(PumpUntil([] { return FindVisibleTooltip() == NULL; }, 3000));
    EXPECT_EQ(LoadCursor(NULL, IDC_ARROW), t->cursor);
    scene.PumpFor(300);
    EXPECT_LT(t->items[1].rect.left, paused) << "moving again";
}

/* A row that stands still under a still cursor, or has nothing to show,
   is copied to the window once and then no more. */
TEST_F(TickerOnScreen, NothingMovesNothingIsCopied)
{
    TickerScene scene(150, 300);
    Colour(scene);
    ASSERT_TRUE(scene.Show(Feed(3)));
    TickerState *t = scene.ticker();
    auto copiesDuring = [&](DWORD ms) {
        LONG before = t->framesShown;
        scene.PumpFor(ms);
        return t->framesShown - before;
    };
    EXPECT_GT(copiesDuring(200), 3) << "scrolling";

    scene.PointAtItem(1);
    ASSERT_TRUE(scene.WaitForHover());
    ASSERT_TRUE(PumpUntil([] { return FindVisibleTooltip() != NULL; }, 3000));
    scene.PumpFor(200);
    EXPECT_EQ(0, copiesDuring(600)) << "paused under a still cursor";
    EXPECT_EQ(&t->items[1], t->hoveredItem);

    /* Leaving the headline ends the pause at once. */
    SetCursorPos(5, 1000);
    ASSERT_TRUE(PumpUntil([&] { return t->hoveredItem == NULL; }, 3000));
    EXPECT_GT(copiesDuring(200), 3);

    scene.server.Serve("/empty", "<rss><channel><title>nothing yet</title></channel></rss>");
    scene.ChooseFeed(scene.server.Url("/empty"));
    ASSERT_TRUE(PumpUntil([&] { return scene.server.Requests("/empty") == 1; }, 5000));
    ASSERT_TRUE(scene.WaitLoaded());
    ASSERT_TRUE(PumpUntil([&] { return t->itemCount == 0 && t->framesShown > 0; }, 3000));
    EXPECT_TRUE(PumpUntil([&] { return scene.CountColor(BACK_COLOR) == (int)scene.Pixels().size(); }, 3000))
        << "the empty row replaced the loading text";
    scene.PumpFor(200);
    EXPECT_EQ(0, copiesDuring(600)) << "empty list";
}

TEST_F(TickerOnScreen, TooltipStaysOnScreenAndFallsBackToTheNoDescriptionText)
{
    TickerScene scene(0, 0);
    ASSERT_TRUE(scene.Show("<rss><channel><item><title>" + std::string(150, 'W') +
                           "</title></item></channel></rss>"));
    scene.band.speed = 0;
    POINT cursor = { 100, 10 };
    ClientToScreen(scene.TickerWindow(), &cursor);
    SetCursorPos(cursor.x, cursor.y);
    ASSERT_TRUE(scene.WaitForHover());
    HWND tip = NULL;
    ASSERT_TRUE(PumpUntil([&] { return (tip = FindVisibleTooltip()) != NULL; }, 3000));
    RECT tipRect;
    GetWindowRect(tip, &tipRect);
    /* Wine's tooltip stands one pixel left of the tracked point. */
    EXPECT_NEAR(0, tipRect.left, 1);
    char text[256] = {};
    SendMessageA(tip, WM_GETTEXT, sizeof(text), (LPARAM)text);
    char want[256];
    LoadStringA(moduleHandle, IDS_NO_DESCRIPTION, want, sizeof(want));
    EXPECT_STREQ(want, text);
}

TEST_F(TickerOnScreen, LongDescriptionsAreCutInsideTheTipBuffer)
{
    /* UTF-8 umlauts, one ANSI byte each; 4093 characters on, where the
       4095 bytes end, a character outside the 16-bit range (two units). */
    std::string description;
    for (int i = 0; i < 511; i++)
        description += "\xC3\xA4 words ";
    description += "abcde\xF0\x9F\x98\x80";
    while (description.size() < 6000)
        description += " more words";
    TickerScene scene(150, 300);
    ASSERT_TRUE(scene.Show("<?xml version=\"1.0\" encoding=\"UTF-8\"?><rss><channel><item><title>A long headline with a long description</title>"
                           "<description>" + description + "</description></item></channel></rss>"));
    memset(scene.ticker()->tipText, 'q', TICKER_TIP_SIZE);
    scene.PointAtItem(0);
    ASSERT_TRUE(scene.WaitForHover());
    const char *tip = scene.ticker()->tipText;
    ASSERT_TRUE(PumpUntil([tip] { return tip[0] != 'q'; }, 3000)) << "the tooltip asked for its text";
    EXPECT_EQ(4093u, strnlen(tip, TICKER_TIP_SIZE)) << "4095 bytes with the terminator, never half a pair";
    EXPECT_EQ(0, memcmp(tip + 4088, "abcde", 5));
    EXPECT_EQ('q', tip[TICKER_TIP_SIZE - 1]);
    EXPECT_EQ(0, memcmp(tip, "\xE4 words", 7));
}

/* Wine swallows an exception in a window procedure that answers a message
   sent from another thread; only a first look at it tells it happened. */
volatile LONG nullAccesses;

LONG CALLBACK CountNullAccess(EXCEPTION_POINTERS *exception)
{
    const EXCEPTION_RECORD *record = exception->ExceptionRecord;
    if (record->ExceptionCode == EXCEPTION_ACCESS_VIOLATION && record->NumberParameters >= 2 &&
        record->ExceptionInformation[1] < 0x10000)
        InterlockedIncrement(&nullAccesses);
    return EXCEPTION_CONTINUE_SEARCH;
}

TEST_F(TickerOnScreen, TooltipWithoutItsTextBufferIsLeftUnanswered)
{
    TickerScene scene(150, 300);
    FailNextAllocationOf(TICKER_TIP_SIZE);
    ASSERT_TRUE(scene.Show(Feed(1)));
    ASSERT_EQ(nullptr, scene.ticker()->tipText);
    nullAccesses = 0;
    void *handler = AddVectoredExceptionHandler(1, CountNullAccess);
    scene.PointAtItem(0);
    ASSERT_TRUE(scene.WaitForHover());
    scene.PumpFor(300);
    RemoveVectoredExceptionHandler(handler);
    EXPECT_EQ(0, nullAccesses);
}

TEST_F(TickerOnScreen, StatusTextsLoadingInactiveAndFailed)
{
    TickerScene scene;
    ASSERT_TRUE(scene.Show(Feed(2)));

    /* Loading, while the server holds its answer. */
    scene.server.Serve("/held", Feed(1), 200, "text/xml", LoopbackServer::Hold);
    scene.ChooseFeed(scene.server.Url("/held"));
    ASSERT_TRUE(PumpUntil([&] { return scene.server.Requests("/held") == 1; }, 5000));
    EXPECT_TRUE(PumpUntil([&] { return scene.ShowsStatusText(IDS_LOADING); }, 3000));
    scene.server.Release();
    ASSERT_TRUE(PumpUntil([&] { return WaitForSingleObject(scene.ticker()->loadingEvent, 0) == 0; }, 5000));

    /* Inactive, once another window is in the foreground. */
    HWND other = CreateWindowExA(0, "STATIC", "other application", WS_POPUP | WS_VISIBLE, 0, 600, 200,
                                 100, NULL, NULL, NULL, NULL);
    SetForegroundWindow(other);
    DWORD start = timeGetTime();
    EXPECT_TRUE(PumpUntil([&] { return scene.ShowsStatusText(IDS_INACTIVE); }, 3000));
    printf("inactive text after %lu ms\n", timeGetTime() - start);
    EXPECT_LT(timeGetTime() - start, 2000u);
    DestroyWindow(other);
    BringToFront(scene.frame);

    /* A load that fails says so, and a later choice loads again. */
    scene.server.Serve("/broken", "no feed here", 200, "text/plain");
    scene.ChooseFeed(scene.server.Url("/broken"));
    EXPECT_TRUE(PumpUntil([&] { return scene.ShowsStatusText(IDS_LOAD_FAILED); }, 5000));
    scene.ChooseFeed(scene.server.Url("/feed"));
    EXPECT_TRUE(PumpUntil([&] { return scene.ticker()->itemCount == 3 && scene.CountColor(0) > 100; }, 5000));
}

TEST_F(TickerOnScreen, EmptyFeedDrawsOnlyTheBackground)
{
    TickerScene scene;
    Colour(scene);
    ASSERT_TRUE(scene.Show("<rss><channel><title>nothing yet</title></channel></rss>"));
    scene.PumpFor(300);
    SIZE size;
    std::vector<DWORD> pixels = scene.Pixels(NULL, &size);
    EXPECT_EQ((int)pixels.size(), scene.CountColor(BACK_COLOR));
    /* With the cursor over the empty row nothing can be hovered. */
    RECT window;
    GetWindowRect(scene.TickerWindow(), &window);
    SetCursorPos((window.left + window.right) / 2, (window.top + window.bottom) / 2);
    scene.PumpFor(200);
    EXPECT_EQ(nullptr, scene.ticker()->hoveredItem);
    EXPECT_EQ(nullptr, FindVisibleTooltip());
}

/* Answers the item menu from another thread, as a user's keys would. */
struct MenuAnswer {
    int downs;
    HANDLE thread;
    bool tipHidden;   /* no tooltip stood over the open menu */
    static DWORD WINAPI Run(void *p)
    {
        MenuAnswer *answer = (MenuAnswer *)p;
        HWND menu = NULL;
        for (int i = 0; i < 300 && !(menu = FindWindowA("#32768", NULL)); i++)
            Sleep(10);
        if (!menu)
            return 1;
        for (int i = 0; i < 50 && FindVisibleTooltip(); i++)
            Sleep(10);
        answer->tipHidden = FindVisibleTooltip() == NULL;
        for (int i = 0; i < answer->downs; i++)
            PostMessageA(menu, WM_KEYDOWN, VK_DOWN, 0);
        PostMessageA(menu, WM_KEYDOWN, answer->downs ? VK_RETURN : VK_ESCAPE, 0);
        return 0;
    }
    explicit MenuAnswer(int d) : downs(d), tipHidden(false) { thread = CreateThread(NULL, 0, Run, this, 0, NULL); }
    ~MenuAnswer()
    {
        WaitForSingleObject(thread, 5000);
        CloseHandle(thread);
    }
};

TEST_F(TickerOnScreen, ClicksOpenTheHoveredItem)
{
    TickerScene scene(150, 300);
    ASSERT_TRUE(scene.Show(Feed(3)));
    HWND window = scene.TickerWindow();

    SendMessageA(window, WM_LBUTTONUP, 0, MAKELPARAM(5, 5));
    EXPECT_TRUE(scene.browser.navigations.empty()) << "no hovered item, nothing opens";

    scene.PointAtItem(2);
    ASSERT_TRUE(scene.WaitForHover());
    SendMessageA(window, WM_LBUTTONUP, 0, MAKELPARAM(5, 5));
    ASSERT_EQ(1u, scene.browser.navigations.size());
    const NavigateCall &call = scene.browser.navigations[0];
    EXPECT_EQ(L"http://127.0.0.1/news/3", call.url);
    EXPECT_EQ(VT_EMPTY, call.flagsType);
    EXPECT_EQ(VT_EMPTY, call.targetType);
    EXPECT_EQ(VT_EMPTY, call.postDataType);
    EXPECT_EQ(VT_EMPTY, call.headersType);

    /* Open in a new window: the frame name is the tick count in hexadecimal.
       The description steps aside for the menu and comes back after it. */
    ASSERT_TRUE(PumpUntil([] { return FindVisibleTooltip() != NULL; }, 3000));
    DWORD before = GetTickCount();
    bool tipHidden;
    {
        MenuAnswer answer(1);
        SendMessageA(window, WM_RBUTTONUP, 0, 0);
        WaitForSingleObject(answer.thread, 5000);
        tipHidden = answer.tipHidden;
    }
    DWORD after = GetTickCount();
    EXPECT_TRUE(tipHidden) << "the tooltip stood over the item menu";
    EXPECT_TRUE(PumpUntil([] { return FindVisibleTooltip() != NULL; }, 3000));
    ASSERT_EQ(2u, scene.browser.navigations.size());
    const NavigateCall &popup = scene.browser.navigations[1];
    EXPECT_EQ(L"http://127.0.0.1/news/3", popup.url);
    ASSERT_EQ(VT_BSTR, popup.targetType);
    DWORD tick = wcstoul(popup.target.c_str(), NULL, 16);
    EXPECT_GE(tick, before);
    EXPECT_LE(tick, after);
    for (WCHAR c : popup.target)
        EXPECT_TRUE(iswdigit(c) || (c >= L'a' && c <= L'f')) << "lower-case hexadecimal";

    {
        MenuAnswer dismissed(0);
        SendMessageA(window, WM_RBUTTONUP, 0, 0);
    }
    EXPECT_EQ(2u, scene.browser.navigations.size());
}

/* An Atom feed: the row and the tooltip show clean text, and a relative
   link opens where the feed's document puts it. */
TEST_F(TickerOnScreen, AtomEntriesShowCleanTextAndOpenResolvedLinks)
{
    TickerScene scene(150, 300);
    ASSERT_TRUE(scene.Show("<feed xmlns=\"http://www.w3.org/2005/Atom\"><title>t</title><entry>"
                           "<title type=\"html\">Caf&amp;eacute;  &lt;b&gt;news&lt;/b&gt;</title>"
                           "<link href=\"story/1.html\"/><summary type=\"html\">&lt;p&gt;Tip &amp;amp;amp;\n"
                           "text&lt;/p&gt;</summary></entry><entry><title>Second</title></entry></feed>"));
    TickerState *t = scene.ticker();
    ASSERT_EQ(2, t->itemCount);
    EXPECT_EQ(std::wstring(L"Caf\x00E9 news"), std::wstring(t->items[0].title, t->items[0].titleLength));
    memset(t->tipText, 'q', TICKER_TIP_SIZE);
    scene.PointAtItem(0);
    ASSERT_TRUE(scene.WaitForHover());
    const char *tip = t->tipText;
    ASSERT_TRUE(PumpUntil([tip] { return tip[0] != 'q'; }, 3000)) << "the tooltip asked for its text";
    EXPECT_STREQ("Tip &amp; text", tip);
    SendMessageA(scene.TickerWindow(), WM_LBUTTONUP, 0, 0);
    ASSERT_EQ(1u, scene.browser.navigations.size());
    std::string want = scene.server.Url("/story/1.html");
    EXPECT_EQ(std::wstring(want.begin(), want.end()), scene.browser.navigations[0].url);
}

TEST_F(TickerOnScreen, HideTurnsTheItemIntoDotsUntilTheNextLoad)
{
    TickerScene scene(150, 300);
    ASSERT_TRUE(scene.Show(Feed(2)));
    TickerState *t = scene.ticker();
    scene.PointAtItem(1);
    ASSERT_TRUE(scene.WaitForHover());
    {
        MenuAnswer answer(2);
        SendMessageA(scene.TickerWindow(), WM_RBUTTONUP, 0, 0);
    }
    EXPECT_EQ(ITEM_HIDDEN | ITEM_HIDDEN_BY_USER, t->items[1].flags & (ITEM_HIDDEN | ITEM_HIDDEN_BY_USER));
    /* The row closes up behind the shorter "[...]": the hover moves to
       whatever comes under the cursor, never staying on the hidden one. */
    ASSERT_TRUE(PumpUntil([&] { return t->hoveredItem != &t->items[1]; }, 3000));
    /* Even with the cursor on it, the hidden item cannot be hovered. */
    for (int i = 0; i < 5; i++) {
        scene.PointAtItem(1);
        scene.PumpFor(100);
        EXPECT_NE(&t->items[1], t->hoveredItem);
        EXPECT_EQ(0, t->items[1].flags & ITEM_HOVERED);
    }
    const WCHAR *text;
    LONG length;
    t->items[1].ops->getText(&t->items[1], &text, &length, 1);
    EXPECT_EQ(std::wstring(L"[...]"), std::wstring(text, length));
    EXPECT_LT(t->items[1].rect.right - t->items[1].rect.left, 60);

    SetCursorPos(5, 1000);
    scene.ChooseFeed(scene.server.Url("/feed"));
    ASSERT_TRUE(PumpUntil([&] { return scene.server.Requests("/feed") == 2; }, 5000));
    ASSERT_TRUE(scene.WaitLoaded());
    EXPECT_EQ(0, t->items[1].flags & ITEM_HIDDEN);
}

TEST_F(TickerOnScreen, ItemWithoutLinkOpensNothing)
{
    TickerScene scene(150, 300);
    ASSERT_TRUE(scene.Show(Feed(0)));
    scene.PointAtItem(0);
    ASSERT_TRUE(scene.WaitForHover());
    SendMessageA(scene.TickerWindow(), WM_LBUTTONUP, 0, 0);
    {
        MenuAnswer answer(1);
        SendMessageA(scene.TickerWindow(), WM_RBUTTONUP, 0, 0);
    }
    EXPECT_TRUE(scene.browser.navigations.empty());
}

TEST_F(TickerOnScreen, CursorFollowsTheHoverInsideTheClientArea)
{
    TickerScene scene(150, 300);
    ASSERT_TRUE(scene.Show(Feed(2)));
    HWND window = scene.TickerWindow();
    RECT client;
    GetClientRect(window, &client);
    POINT outside = { client.right + 1, 0 };   /* on the border: outside the client area */
    ClientToScreen(window, &outside);
    SetCursorPos(outside.x, outside.y);
    EXPECT_FALSE(SendMessageA(window, WM_SETCURSOR, 0, 0));
    scene.PointAtItem(0);
    ASSERT_TRUE(scene.WaitForHover());
    EXPECT_TRUE(SendMessageA(window, WM_SETCURSOR, 0, 0));
    EXPECT_EQ(LoadCursor(NULL, IDC_HAND), GetCursor());
}

TEST_F(TickerOnScreen, TargetEventMovesTheDrawingToTheActiveBand)
{
    TickerScene scene;
    Colour(scene);
    ASSERT_TRUE(scene.Show(Feed(3)));
    HWND second = scene.AddToolbar(40);
    scene.PumpFor(200);
    EXPECT_GT(scene.CountColor(TEXT_COLOR, scene.toolbar), 100);
    EXPECT_EQ(0, scene.CountColor(TEXT_COLOR, second));

    scene.Attach(second);
    EXPECT_TRUE(PumpUntil([&] { return scene.CountColor(TEXT_COLOR, second) > 100; }, 3000));
    std::vector<DWORD> first = scene.Pixels(scene.toolbar);
    scene.PumpFor(300);
    EXPECT_EQ(0, Mismatches(first, scene.Pixels(scene.toolbar))) << "the first band is left alone";

    /* Back and forth: only the target window is a tool of the tooltip. */
    scene.Attach(scene.toolbar);
    scene.PumpFor(200);
    scene.Attach(second);
    scene.PumpFor(200);
    DWORD_PTR tools = 0;
    ASSERT_TRUE(SendMessageTimeoutA(FindRendererTooltip(), TTM_GETTOOLCOUNT, 0, 0, SMTO_NORMAL, 1000, &tools));
    EXPECT_EQ(1u, tools);
}

TEST_F(TickerOnScreen, ABandClosedWhileScrollingLeavesTheTickerToTheNext)
{
    TickerScene scene;
    Colour(scene);
    ASSERT_TRUE(scene.Show(Feed(3)));
    testThread = GetCurrentThreadId();
    enabledChecked = CreateEventA(NULL, FALSE, FALSE, NULL);
    enabledRelease = CreateEventA(NULL, FALSE, FALSE, NULL);
    holdEnabledCheck = 1;
    ASSERT_TRUE(WaitPumping(enabledChecked, 3000));
    DestroyWindow(scene.toolbar);
    SetEvent(enabledRelease);

    HWND next = scene.AddToolbar(40);
    scene.Attach(next);
    EXPECT_TRUE(PumpUntil([&] { return scene.CountColor(TEXT_COLOR, next) > 100; }, 5000));
    holdEnabledCheck = 0;
    CloseHandle(enabledChecked);
    CloseHandle(enabledRelease);
}

/* The tooltip is a top-level window of the rendering thread; programs that
   broadcast wait for it to answer. */
TEST_F(TickerOnScreen, RenderingThreadAnswersMessagesInEveryState)
{
    TickerScene scene(150, 300);
    ASSERT_TRUE(scene.Start(Feed(2)) && scene.WaitLoaded());
    HWND tip = NULL;
    ASSERT_TRUE(PumpUntil([&] { return (tip = FindRendererTooltip()) != NULL; }, 3000));
    auto answers = [&tip] {
        DWORD_PTR result;
        return SendMessageTimeoutA(tip, WM_NULL, 0, 0, SMTO_NORMAL, 100, &result) != 0;
    };
    EXPECT_TRUE(answers()) << "before the first band";
    scene.Present();
    EXPECT_TRUE(answers()) << "scrolling";
    scene.PointAtItem(1);
    ASSERT_TRUE(scene.WaitForHover());
    EXPECT_TRUE(answers()) << "paused on hover";

    SetCursorPos(5, 1000);
    HWND other = CreateWindowExA(0, "STATIC", "other application", WS_POPUP | WS_VISIBLE, 0, 600, 200,
                                 100, NULL, NULL, NULL, NULL);
    SetForegroundWindow(other);
    scene.PumpFor(1500);
    EXPECT_TRUE(answers()) << "idle in the background";
    DestroyWindow(other);
    BringToFront(scene.frame);

    scene.server.Serve("/broken", "no feed here", 200, "text/plain");
    scene.ChooseFeed(scene.server.Url("/broken"));
    ASSERT_TRUE(PumpUntil([&] { return scene.ticker()->loadFailed != 0; }, 5000));
    scene.PumpFor(200);
    EXPECT_TRUE(answers()) << "after a failed load";
}

/* Shortens the refresh schedule and the fetch bounds for one test. */
struct ShortClock {
    ShortClock(DWORD minuteMs, DWORD totalMs)
        : minute(refreshMinuteMs), limits(fetchLimits)
    {
        refreshMinuteMs = minuteMs;
        fetchLimits.totalMs = totalMs;
    }
    ~ShortClock()
    {
        refreshMinuteMs = minute;
        fetchLimits = limits;
    }
    DWORD minute;
    FetchLimits limits;
};

std::string WithFresh(const std::string &feed)
{
    std::string body = feed;
    body.insert(body.find("<item>"), "<item><title>Fresh headline</title></item>");
    return body;
}

/* Milliseconds between the next requests for path, count of them. */
std::vector<DWORD> RequestGaps(TickerScene &scene, const std::string &path, int count)
{
    std::vector<DWORD> gaps;
    int seen = scene.server.Requests(path);
    DWORD last = timeGetTime();
    while ((int)gaps.size() < count) {
        if (!PumpUntil([&] { return scene.server.Requests(path) > seen; }, 5000))
            break;
        seen = scene.server.Requests(path);
        gaps.push_back(timeGetTime() - last);
        last = timeGetTime();
    }
    return gaps;
}

/* The row, while refreshes come and go: a changed feed enters without the
   loading text and the head goes on where it stood; a 304 keeps the list;
   failures keep the last list scrolling and back off, a Retry-After longer
   than the back-off is waited out; a server that never answers holds
   neither the row nor its messages, fails in time, and the end is prompt. */
TEST_F(TickerOnScreen, RefreshesReplaceTheListWhileTheRowScrollsOn)
{
    ShortClock clock(150, 1500);
    TickerScene scene;
    scene.server.Validate("/feed", "\"a\"");
    ASSERT_TRUE(scene.Show(Feed(3)));
    TickerState *t = scene.ticker();
    ASSERT_EQ(4, t->itemCount);
    scene.band.refreshMinutes = 2;
    RescheduleRefresh(t);
    scene.PumpFor(300);

    /* A changed feed; the headline the keys chose stays chosen. */
    RequestHeadlineFocus(t, 3);
    scene.PumpFor(100);
    std::string head = scene.Title(t->headIndex), chosen = scene.Title(3);
    LONG shown = t->framesShown;
    scene.server.Serve("/feed", WithFresh(Feed(3)));
    scene.server.Validate("/feed", "\"b\"");
    bool loadingSeen = false;
    ASSERT_TRUE(PumpUntil([&] {
        loadingSeen |= WaitForSingleObject(t->loadingEvent, 0) != WAIT_OBJECT_0 ||
                       scene.ShowsStatusText(IDS_LOADING);
        return t->itemCount == 5;
    }, 5000));
    EXPECT_FALSE(loadingSeen) << "a refresh showed the loading text";
    EXPECT_EQ("Fresh headline", scene.Title(0));
    EXPECT_EQ(head, scene.Title(t->headIndex)) << "the head jumped";
    ASSERT_EQ(4, t->focusIndex);
    EXPECT_EQ(chosen, scene.Title(t->focusIndex));
    RequestHeadlineFocus(t, -1);
    shown = t->framesShown;
    scene.PumpFor(200);
    EXPECT_GT(t->framesShown, shown + 3) << "the row stood still";
    EXPECT_NE(std::string::npos, scene.server.LastRequest("/feed").find("If-None-Match: \"a\""));

    /* Not modified: the list stays as it is. */
    IXMLDOMNode *node = t->items[0].node;
    int requests = scene.server.Requests("/feed");
    ASSERT_TRUE(PumpUntil([&] { return scene.server.Requests("/feed") >= requests + 2; }, 5000));
    EXPECT_NE(std::string::npos, scene.server.LastRequest("/feed").find("If-None-Match: \"b\""));
    EXPECT_EQ(node, t->items[0].node) << "a 304 replaced the list";
    EXPECT_EQ(FETCH_NOT_MODIFIED, t->fetchCause);

    /* A failing server: the list stays, the row goes on, the tries back off. */
    scene.band.refreshMinutes = 8;
    scene.server.Serve("/feed", "<html>down</html>", 500, "text/html");
    scene.server.Validate("/feed", "");
    ASSERT_TRUE(PumpUntil([&] { return t->fetchCause == FETCH_HTTP_STATUS; }, 5000));
    EXPECT_EQ(500, t->fetchStatus);
    std::vector<DWORD> gaps = RequestGaps(scene, "/feed", 3);
    ASSERT_EQ(3u, gaps.size());
    printf("back-off gaps %lu %lu %lu ms\n", gaps[0], gaps[1], gaps[2]);
    EXPECT_GT(gaps[1], gaps[0] * 3 / 2);
    EXPECT_GT(gaps[2], gaps[1] * 3 / 2);
    EXPECT_LT(gaps[0], 8 * 150u) << "the first retry waited the whole interval";
    EXPECT_EQ(5, t->itemCount);
    EXPECT_EQ(0, t->loadFailed);
    EXPECT_FALSE(scene.ShowsStatusText(IDS_LOAD_FAILED));
    shown = t->framesShown;
    scene.PumpFor(200);
    EXPECT_GT(t->framesShown, shown + 3) << "the row stood still after failures";

    /* Back to good, then a 429 that asks for more than the back-off. */
    scene.server.Serve("/feed", Feed(3));
    ASSERT_TRUE(PumpUntil([&] { return t->fetchCause == FETCH_OK && t->itemCount == 4; }, 5000));
    scene.server.Serve("/feed", "", 429);
    scene.server.Headers("/feed", "Retry-After: 2\r\n");
    ASSERT_TRUE(PumpUntil([&] { return t->fetchStatus == 429; }, 5000));
    gaps = RequestGaps(scene, "/feed", 1);
    ASSERT_EQ(1u, gaps.size());
    EXPECT_GE(gaps[0], 1900u) << "Retry-After was not honoured";
    scene.server.Headers("/feed", "");

    /* A server that accepts and never answers. */
    scene.band.refreshMinutes = 1;
    scene.server.Serve("/feed", "", 200, "text/xml", LoopbackServer::Hang);
    requests = scene.server.Requests("/feed");
    ASSERT_TRUE(PumpUntil([&] { return scene.server.Requests("/feed") > requests; }, 5000));
    DWORD start = timeGetTime();
    shown = t->framesShown;
    HWND window = scene.TickerWindow();
    HWND tip = FindRendererTooltip();
    for (HWND answering : { window, tip }) {
        DWORD_PTR result;
        EXPECT_NE(0, SendMessageTimeoutA(answering, WM_NULL, 0, 0, SMTO_NORMAL, 200, &result));
    }
    ASSERT_TRUE(PumpUntil([&] { return t->fetchCause == FETCH_TIMED_OUT; }, 5000));
    printf("a fetch that got no answer failed after %lu ms\n", timeGetTime() - start);
    EXPECT_GT(t->framesShown, shown + 20) << "the row waited on the download";
    EXPECT_EQ(4, t->itemCount);

    /* The end while a fetch hangs keeps its bound. */
    requests = scene.server.Requests("/feed");
    ASSERT_TRUE(PumpUntil([&] { return scene.server.Requests("/feed") > requests; }, 5000));
    start = timeGetTime();
    scene.Stop();
    printf("destroyed during a hanging fetch in %lu ms\n", timeGetTime() - start);
    EXPECT_LT(timeGetTime() - start, 3200u);
}

/* Refreshes happen only while a band shows, never with interval 0, and at
   once on "Refresh now". */
TEST_F(TickerOnScreen, RefreshesOnlyWhileABandShowsAndNowOnRequest)
{
    ShortClock clock(100, 60000);
    TickerScene scene;
    ASSERT_TRUE(scene.Show(Feed(2)));
    TickerState *t = scene.ticker();
    scene.band.refreshMinutes = 1;
    RescheduleRefresh(t);
    ASSERT_TRUE(PumpUntil([&] { return scene.server.Requests("/feed") >= 3; }, 5000));

    ShowWindow(scene.toolbar, SW_HIDE);
    scene.PumpFor(150);
    int requests = scene.server.Requests("/feed");
    scene.PumpFor(600);
    EXPECT_EQ(requests, scene.server.Requests("/feed")) << "fetched with no band shown";
    ShowWindow(scene.toolbar, SW_SHOW);
    EXPECT_TRUE(PumpUntil([&] { return scene.server.Requests("/feed") > requests; }, 2000));

    scene.band.refreshMinutes = 0;
    RescheduleRefresh(t);
    scene.PumpFor(150);
    requests = scene.server.Requests("/feed");
    scene.PumpFor(600);
    EXPECT_EQ(requests, scene.server.Requests("/feed")) << "fetched with refreshing off";

    LONG shown = t->framesShown;
    RequestRefresh(t);
    EXPECT_TRUE(PumpUntil([&] { return scene.server.Requests("/feed") == requests + 1; }, 2000));
    scene.PumpFor(300);
    EXPECT_EQ(requests + 1, scene.server.Requests("/feed"));
    EXPECT_GT(t->framesShown, shown + 5);
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(t->loadingEvent, 0));
}

/* A window that outlives the last band object, and with it the ticker
   record, neither uses the freed record nor asks to be painted forever. */
TEST_F(TickerOnScreen, AWindowOutlivingItsTickerIsLeftAlone)
{
    TickerScene scene(150, 300);
    ASSERT_TRUE(scene.Show(Feed(1)));
    HWND window = scene.TickerWindow();
    RECT rect;
    GetWindowRect(window, &rect);
    SetCursorPos((rect.left + rect.right) / 2, (rect.top + rect.bottom) / 2);
    scene.Stop();
    EXPECT_FALSE(SendMessageA(window, WM_SETCURSOR, (WPARAM)window, MAKELPARAM(HTCLIENT, WM_MOUSEMOVE)));
    InvalidateRect(window, NULL, TRUE);
    UpdateWindow(window);
    EXPECT_FALSE(GetUpdateRect(window, NULL, FALSE)) << "the window was validated";
}

/* A hand-edited speed far out of range moves the row as the fastest allowed
   would: a few characters of the one headline per frame, never a jump. */
TEST_F(TickerOnScreen, SpeedBeyondTheRangeMovesAtMostSixteenPixels)
{
    TickerScene scene;
    const int length = 100;
    ASSERT_TRUE(scene.Show("<rss><channel><item><title>" + std::string(length, 'W') +
                           "</title></item></channel></rss>"));
    TickerItem *head = &scene.ticker()->items[0];
    scene.band.speed = INT_MAX;
    LONG last = head->scrolledChars, largest = 0, moves = 0;
    DWORD start = GetTickCount();
    PumpUntil([&] {
        LONG now = head->scrolledChars;
        if (now != last) {
            /* Forward, past the end and round to the start again. */
            LONG forward = (now - last + length + 1) % (length + 1);
            largest = forward > largest ? forward : largest;
            moves++;
            last = now;
        }
        return GetTickCount() - start > 1000;
    }, 2000);
    EXPECT_EQ(INT_MAX, scene.band.speed);
    EXPECT_GT(moves, 3);
    EXPECT_LE(largest, 8) << "characters in one step";
}

/* The headlines from the keyboard: the row stands and shows the one
   chosen as hovered, a screen reader reads the list and follows the focus,
   and the keys open, pause and open the menu. */
TEST_F(TickerOnScreen, KeysStepThroughTheHeadlinesAndScreenReadersFollow)
{
    TickerScene scene(150, 300);
    Colour(scene);
    ASSERT_TRUE(scene.Show(Feed(3)));
    TickerState *t = scene.ticker();
    HWND window = scene.TickerWindow();
    SetFocus(window);
    auto key = [&](WPARAM vk) { SendMessageA(window, WM_KEYDOWN, vk, 0); };
    auto chosen = [&](LONG index) {
        return PumpUntil([t, index] { return t->hoveredItem == &t->items[index]; }, 3000);
    };
    key(VK_RIGHT);
    LONG first = t->focusIndex;
    ASSERT_GE(first, 0);
    ASSERT_TRUE(chosen(first)) << "the head is chosen first";
    /* Steps pass over a hidden headline both ways; the row it shortens shows
       the chosen one twice, and the copy brought into view is the one used. */
    LONG hidden = (first + 1) % 4;
    InterlockedOr(&t->items[hidden].flags, ITEM_HIDDEN);
    key(VK_RIGHT);
    ASSERT_TRUE(chosen((first + 2) % 4));
    key(VK_LEFT);
    ASSERT_TRUE(chosen(first));
    InterlockedAnd(&t->items[hidden].flags, ~ITEM_HIDDEN);
    RECT rect = t->items[first].rect, client;
    GetClientRect(window, &client);
    EXPECT_TRUE(rect.left >= 0 && rect.right <= client.right) << "in view, whole: " << rect.left << ".." << rect.right;
    scene.PumpFor(300);
    std::vector<DWORD> still = scene.Pixels();
    scene.PumpFor(300);
    EXPECT_EQ(0, Mismatches(still, scene.Pixels())) << "the row stands while a headline is chosen";
    EXPECT_GT(scene.CountColor(LINK_COLOR), 100) << "drawn as hovered";
    EXPECT_TRUE(PumpUntil([] { return FindVisibleTooltip() != NULL; }, 3000));

    IAccessible *acc = NULL;
    ASSERT_EQ(S_OK, AccessibleObjectFromWindow(window, OBJID_CLIENT, IID_IAccessible, (void **)&acc));
    VARIANT self, child, out;
    V_VT(&self) = VT_I4;
    V_I4(&self) = CHILDID_SELF;
    BSTR text = NULL;
    LONG count = 0;
    EXPECT_EQ(S_OK, IAccessible_get_accName(acc, self, &text));
    EXPECT_STREQ(L"c", text);
    SysFreeString(text);
    EXPECT_EQ(S_OK, IAccessible_get_accRole(acc, self, &out));
    EXPECT_EQ(ROLE_SYSTEM_LIST, V_I4(&out));
    EXPECT_EQ(S_OK, IAccessible_get_accChildCount(acc, &count));
    EXPECT_EQ(4, count);
    WCHAR open[64];
    LoadStringW(moduleHandle, IDS_ACC_OPEN, open, 64);
    const struct { const WCHAR *name, *description; } children[] = {
        { L"Headline number 1 of the test feed", L"About headline 1" },
        { L"Headline number 2 of the test feed", L"About headline 2" },
        { L"Headline number 3 of the test feed", L"About headline 3" },
        { L"Bare headline", NULL },
    };
    V_VT(&child) = VT_I4;
    for (LONG i = 0; i < 4; i++) {
        V_I4(&child) = i + 1;
        EXPECT_EQ(S_OK, IAccessible_get_accName(acc, child, &text));
        EXPECT_STREQ(children[i].name, text);
        SysFreeString(text);
        EXPECT_EQ(children[i].description ? S_OK : S_FALSE, IAccessible_get_accDescription(acc, child, &text));
        EXPECT_STREQ(children[i].description, text);
        SysFreeString(text);
        EXPECT_EQ(S_OK, IAccessible_get_accRole(acc, child, &out));
        EXPECT_EQ(ROLE_SYSTEM_LINK, V_I4(&out));
        EXPECT_EQ(S_OK, IAccessible_get_accDefaultAction(acc, child, &text));
        EXPECT_STREQ(open, text);
        SysFreeString(text);
        EXPECT_EQ(S_OK, IAccessible_get_accState(acc, child, &out));
        EXPECT_EQ(i == first, (V_I4(&out) & STATE_SYSTEM_FOCUSED) != 0) << i;
    }
    EXPECT_EQ(S_OK, IAccessible_get_accFocus(acc, &out));
    EXPECT_EQ(VT_I4, V_VT(&out));
    EXPECT_EQ(first + 1, V_I4(&out));
    V_I4(&child) = 2;
    EXPECT_EQ(S_OK, IAccessible_accDoDefaultAction(acc, child));
    ASSERT_EQ(1u, scene.browser.navigations.size());
    EXPECT_EQ(L"http://127.0.0.1/news/2", scene.browser.navigations[0].url);
    V_I4(&child) = 5;
    EXPECT_EQ(E_INVALIDARG, IAccessible_get_accName(acc, child, &text)) << "no fifth headline";

    key(VK_RETURN);
    ASSERT_EQ(2u, scene.browser.navigations.size());
    EXPECT_EQ(0, first) << "the head of a row just shown";
    EXPECT_EQ(L"http://127.0.0.1/news/1", scene.browser.navigations[1].url) << "Enter opens the chosen headline";
    {
        MenuAnswer answer(1);
        key(VK_APPS);
        WaitForSingleObject(answer.thread, 5000);
    }
    EXPECT_EQ(3u, scene.browser.navigations.size()) << "the menu key opens the item menu";

    /* Space pauses the row even after the focus has gone; again resumes. */
    key(VK_SPACE);
    SetFocus(scene.frame);
    EXPECT_TRUE(PumpUntil([t] { return t->hoveredItem == NULL; }, 3000)) << "the focus gone, the choice too";
    EXPECT_EQ(-1, t->focusIndex);
    still = scene.Pixels();
    scene.PumpFor(300);
    EXPECT_EQ(0, Mismatches(still, scene.Pixels())) << "paused";
    SetFocus(window);
    key(VK_SPACE);
    SetFocus(scene.frame);
    still = scene.Pixels();
    scene.PumpFor(300);
    EXPECT_GT(Mismatches(still, scene.Pixels()), 0) << "moving again";
    EXPECT_EQ(0u, IAccessible_Release(acc));
}

/* Without client-area animation one headline stands at the left edge and
   the next follows after eight seconds; high contrast draws in the
   system's colours and the stored ones come back after it. */
TEST_F(TickerOnScreen, StillRowWithoutAnimationAndSystemColoursInHighContrast)
{
    BOOL animate = TRUE;
    ASSERT_TRUE(SystemParametersInfoA(0x1042 /* SPI_GETCLIENTAREAANIMATION */, 0, &animate, 0));
    ASSERT_TRUE(SystemParametersInfoA(0x1043 /* SPI_SETCLIENTAREAANIMATION */, 0, (void *)FALSE, 0));
    TickerScene scene(150, 300);
    Colour(scene);
    scene.band.speed = 4;
    bool shown = scene.Show(Feed(3));
    TickerState *t = scene.ticker();
    LONG head = t->headIndex;
    scene.PumpFor(500);
    std::vector<DWORD> still = scene.Pixels();
    scene.PumpFor(500);
    int moved = Mismatches(still, scene.Pixels());
    int drawn = 0;
    std::string rects;
    for (LONG i = 0; i < t->itemCount; i++) {
        drawn += !IsRectEmpty(&t->items[i].rect);
        rects += std::to_string(t->items[i].rect.left) + "," + std::to_string(t->items[i].rect.right) + "," +
                 std::to_string(t->items[i].rect.bottom) + " ";
    }
    LONG left = t->items[head].rect.left;
    InterlockedOr(&t->items[(head + 1) % 4].flags, ITEM_HIDDEN);
    bool next = PumpUntil([t, head] { return t->headIndex != head; }, 10000);
    LONG after = t->headIndex;
    SystemParametersInfoA(0x1043, 0, (void *)(INT_PTR)animate, 0);
    ASSERT_TRUE(shown);
    EXPECT_EQ(0, moved) << "the row stands";
    EXPECT_EQ(1, drawn) << "one headline at a time: " << rects << "head " << head;
    EXPECT_EQ(0, left);
    EXPECT_TRUE(next) << "the next one follows";
    EXPECT_EQ((head + 2) % 4, after) << "passing over a hidden one";

    scene.PumpFor(300);
    EXPECT_GT(scene.CountColor(BACK_COLOR), 1000);
    stagedContrast = 1;
    bool system = PumpUntil([&] {
        return scene.CountColor(BACK_COLOR) == 0 && scene.CountColor(GetSysColor(COLOR_WINDOW)) > 1000 &&
               scene.CountColor(TEXT_COLOR) == 0;
    }, 5000);
    stagedContrast = 0;
    EXPECT_TRUE(system) << "the system's colours in high contrast";
    EXPECT_TRUE(PumpUntil([&] { return scene.CountColor(BACK_COLOR) > 1000; }, 5000)) << "the stored ones after";
}

}  // namespace
