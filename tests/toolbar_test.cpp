/* The band's toolbar, its buttons and image lists, and the layout of the
   ticker and the combo box in the site window, through the real windows. */
#include "tests/support/band_rig.h"
#include "tests/support/comctl_imports.h"
#include "feeds/feedlist.h"
#include "toolbar/toolbar.h"
#include "resources/resource.h"
#include "feeds/fetch.h"
#include "core/display.h"
#include <gtest/gtest.h>
#include <commctrl.h>

namespace {

class BandWindows : public testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(rig.Build());
        ASSERT_TRUE(rig.CreateWindows());
        ASSERT_TRUE(rig.WaitFills());
    }
    RECT InToolbar(HWND window)
    {
        RECT rect;
        GetWindowRect(window, &rect);
        MapWindowPoints(NULL, GetParent(window), (POINT *)&rect, 2);
        return rect;
    }
    RECT Button(int index)
    {
        RECT rect = {};
        SendMessageA(rig.toolbar, TB_GETITEMRECT, index, (LPARAM)&rect);
        return rect;
    }
    /* A ticker over a button hides it from the user's clicks. */
    void ExpectButtonsClearOfTicker(const char *when)
    {
        RECT ticker = InToolbar(rig.ticker());
        for (int i = 0; i < 3; i++) {
            RECT button = Button(i), overlap;
            EXPECT_FALSE(IntersectRect(&overlap, &button, &ticker))
                << when << ": button " << i << " " << button.left << ".." << button.right
                << ", ticker from " << ticker.left;
        }
    }
    int ImageCount(HIMAGELIST images)
    {
        auto count = (int (WINAPI *)(HIMAGELIST))(void (*)(void))CommonControlsProc("ImageList_GetImageCount");
        return count(images);
    }
    SIZE ImageSize(HIMAGELIST images)
    {
        auto size = (BOOL (WINAPI *)(HIMAGELIST, int *, int *))(void (*)(void))CommonControlsProc("ImageList_GetIconSize");
        int cx = 0, cy = 0;
        size(images, &cx, &cy);
        return SIZE{ cx, cy };
    }
    /* The toolbar answers only for list 0; list 1 is read by swapping it out and back. */
    HIMAGELIST ToolbarImages(WPARAM index)
    {
        HIMAGELIST images = (HIMAGELIST)SendMessageA(rig.toolbar, TB_SETIMAGELIST, index, 0);
        SendMessageA(rig.toolbar, TB_SETIMAGELIST, index, (LPARAM)images);
        return images;
    }
    std::string ModuleOfWindowProc(LONG_PTR proc)
    {
        HMODULE module = NULL;
        char path[MAX_PATH] = {};
        GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                           (LPCSTR)proc, &module);
        GetModuleFileNameA(module, path, MAX_PATH);
        CharLowerA(path);
        return path;
    }
    BandRig rig;
};

TEST_F(BandWindows, ToolbarHasTheThreeButtons)
{
    HWND toolbar = rig.toolbar;
    EXPECT_EQ(TOOLBAR_ID, GetDlgCtrlID(toolbar));
    EXPECT_EQ(rig.site, GetParent(toolbar));
    DWORD style = (DWORD)GetWindowLongA(toolbar, GWL_STYLE);
    EXPECT_EQ(0x4600185Fu, style & 0x4600185Fu) << std::hex << style;
    EXPECT_FALSE(style & WS_VISIBLE) << "hidden until the band is shown";

    ASSERT_EQ(3, SendMessageA(toolbar, TB_BUTTONCOUNT, 0, 0));
    struct { int command; BYTE style; int image; } want[] = {
        { IDM_MAIN, 0xD0, MAKELONG(0, 1) }, { IDM_FASTER, 0x10, 0 }, { IDM_SLOWER, 0x10, 1 },
    };
    for (int i = 0; i < 3; i++) {
        TBBUTTON button = {};
        ASSERT_TRUE(SendMessageA(toolbar, TB_GETBUTTON, i, (LPARAM)&button));
        EXPECT_EQ(want[i].command, button.idCommand) << i;
        EXPECT_EQ(want[i].style, button.fsStyle) << i;
        EXPECT_EQ(want[i].image, button.iBitmap) << i;
        EXPECT_TRUE(button.fsState & TBSTATE_ENABLED) << i;
    }
    char text[64] = {};
    SendMessageA(toolbar, TB_GETBUTTONTEXTA, IDM_MAIN, (LPARAM)text);
    EXPECT_STREQ("                 ", text);

    HIMAGELIST speed = ToolbarImages(0);
    EXPECT_EQ(2, ImageCount(speed));
    EXPECT_EQ(22, ImageSize(speed).cx);
    HIMAGELIST logo = ToolbarImages(1);
    EXPECT_EQ(1, ImageCount(logo));
    EXPECT_EQ(73, ImageSize(logo).cx);
    EXPECT_EQ(22, ImageSize(logo).cy);
    HIMAGELIST feed = (HIMAGELIST)SendMessageA(rig.combo(), CBEM_GETIMAGELIST, 0, 0);
    EXPECT_EQ(1, ImageCount(feed));
    EXPECT_EQ(18, ImageSize(feed).cx);
}

/* At the DPI the process started with: 96 in the test prefix, 144 and
   192 when the case below runs it again in a child. */
TEST_F(BandWindows, ChildrenStartAtTheirCreationPlaces)
{
    int dpi = SystemDpi();
    char started[8] = "";
    if (GetEnvironmentVariableA("VELMORA_TEST_DPI", started, sizeof(started))) {
        EXPECT_EQ(atoi(started), dpi) << "the DPI the child was started at";
    }
    char name[64];
    GetClassNameA(rig.ticker(), name, sizeof(name));
    EXPECT_STREQ(TICKER_WINDOW_CLASS, name);
    EXPECT_TRUE(GetWindowLongA(rig.ticker(), GWL_EXSTYLE) & WS_EX_CLIENTEDGE);
    RECT ticker = InToolbar(rig.ticker());
    EXPECT_EQ(Button(2).right, ticker.left);
    EXPECT_EQ(ScaleAt(2, dpi), ticker.top);
    EXPECT_EQ(ScaleAt(1024, dpi), ticker.right - ticker.left);
    EXPECT_EQ(ScaleAt(25, dpi), ticker.bottom - ticker.top);
    EXPECT_LE(ticker.bottom, ScaleAt(28, dpi)) << "the row is cut by the band";

    GetClassNameA(rig.combo(), name, sizeof(name));
    EXPECT_STREQ("ComboBoxEx32", name);
    RECT combo = InToolbar(rig.combo());
    EXPECT_EQ(ScaleAt(400, dpi), combo.left);
    EXPECT_EQ(ScaleAt(2, dpi), combo.top);
    EXPECT_EQ(ScaleAt(256, dpi), combo.right - combo.left);

    /* The bitmaps, the buttons that show them and the ticker's font grow alike. */
    EXPECT_EQ(ScaleAt(22, dpi), ImageSize(ToolbarImages(0)).cx);
    EXPECT_EQ(ScaleAt(73, dpi), ImageSize(ToolbarImages(1)).cx);
    EXPECT_EQ(ScaleAt(18, dpi), ImageSize((HIMAGELIST)SendMessageA(rig.combo(), CBEM_GETIMAGELIST, 0, 0)).cx);
    EXPECT_GE(Button(0).bottom - Button(0).top, ScaleAt(22, dpi));
    LOGFONTA font = {};
    ASSERT_TRUE(rig.band()->ticker && GetObjectA(rig.band()->ticker->textFont, sizeof(font), &font));
    EXPECT_EQ(ScaleAt(16, dpi), abs(font.lfHeight));

    ExpectButtonsClearOfTicker("at creation");
    LayoutBandWindows(rig.site, rig.toolbar);
    ExpectButtonsClearOfTicker("after the layout");
}

/* Wine reads the DPI from its registry once per process: the case above
   runs in a child started at 144 and at 192, and 96 comes back before the
   outcome is looked at. */
TEST(BandBitmaps, RealWindowsAtHigherDpi)
{
    HKEY desktop = NULL;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(HKEY_CURRENT_USER, "Control Panel\\Desktop", 0, NULL, 0,
                                             KEY_QUERY_VALUE | KEY_SET_VALUE, NULL, &desktop, NULL));
    DWORD saved = 0, size = sizeof(saved);
    bool had = RegQueryValueExA(desktop, "LogPixels", NULL, NULL, (BYTE *)&saved, &size) == ERROR_SUCCESS;
    char program[MAX_PATH];
    GetModuleFileNameA(NULL, program, sizeof(program));
    for (DWORD dpi : { 144, 192 }) {
        RegSetValueExA(desktop, "LogPixels", 0, REG_DWORD, (const BYTE *)&dpi, sizeof(dpi));
        SetEnvironmentVariableA("VELMORA_TEST_DPI", std::to_string(dpi).c_str());
        HANDLE child = StartProgram(std::string("\"") + program +
                                        "\" --gtest_filter=BandWindows.ChildrenStartAtTheirCreationPlaces",
                                    "", NULL);
        DWORD code = child ? ExitCodeOnceEnded(child, 60000) : STILL_ACTIVE;
        if (child && code == STILL_ACTIVE)
            TerminateProcess(child, 1);
        SetEnvironmentVariableA("VELMORA_TEST_DPI", NULL);
        if (had)
            RegSetValueExA(desktop, "LogPixels", 0, REG_DWORD, (const BYTE *)&saved, sizeof(saved));
        else
            RegDeleteValueA(desktop, "LogPixels");
        if (child)
            CloseHandle(child);
        EXPECT_EQ(0u, code) << "the band's windows at " << dpi << " DPI";
    }
    RegCloseKey(desktop);
    EXPECT_EQ(96, SystemDpi());
}
TEST_F(BandWindows, DestroyingTheToolbarTakesChildrenAndImageListsAlong)
{
    HWND ticker = rig.ticker(), combo = rig.combo();
    HIMAGELIST lists[] = { ToolbarImages(0), ToolbarImages(1),
                           (HIMAGELIST)SendMessageA(combo, CBEM_GETIMAGELIST, 0, 0) };
    for (HIMAGELIST list : lists)
        ASSERT_GT(ImageCount(list), 0);
    DestroyWindow(rig.toolbar);
    EXPECT_FALSE(IsWindow(ticker));
    EXPECT_FALSE(IsWindow(combo));
    for (HIMAGELIST list : lists)
        EXPECT_EQ(0, ImageCount(list)) << "image list " << list << " outlived its toolbar";
}

TEST_F(BandWindows, CommonControlsSixFromTheManifest)
{
    EXPECT_EQ(nullptr, CommonControlsOf(GetModuleHandleA(NULL))) << "the test program imports comctl32";
#ifdef _WIN64
    const char *sideBySide = "\\winsxs\\amd64_microsoft.windows.common-controls_6595b64144ccf1df_6.0";
#else
    const char *sideBySide = "\\winsxs\\x86_microsoft.windows.common-controls_6595b64144ccf1df_6.0";
#endif
    EXPECT_NE(std::string::npos, ModuleOfWindowProc(GetWindowLongPtrW(rig.combo(), GWLP_WNDPROC)).find(sideBySide));
    EXPECT_NE(std::string::npos, ModuleOfWindowProc(GetClassLongPtrW(rig.toolbar, GCLP_WNDPROC)).find(sideBySide));
}

/* Records what reaches the site window's own procedure. */
int siteSizes;
LRESULT CALLBACK RecordingSiteProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_SIZE)
        siteSizes++;
    return DefWindowProcA(window, message, wParam, lParam);
}

void Subclass(HWND site)
{
    SetWindowLongPtrA(site, GWLP_WNDPROC, (LONG_PTR)RecordingSiteProc);
    SubclassSiteWindow(site, 1);
    siteSizes = 0;
}

TEST_F(BandWindows, SiteResizeFitsTickerAndCombo)
{
    /* The menu button made 120 pixels wide, as in a browser with large
       fonts, and the speed buttons 34 pixels wide each. */
    TBBUTTONINFOA info = {};
    info.cbSize = sizeof(info);
    info.dwMask = TBIF_SIZE | TBIF_BYINDEX;
    for (int i = 0; i < 3; i++) {
        info.cx = i ? 34 : 120;
        SendMessageA(rig.toolbar, TB_SETBUTTONINFOA, i, (LPARAM)&info);
    }
    ASSERT_EQ(120, Button(0).right);
    ASSERT_EQ(188, Button(2).right);
    Subclass(rig.site);

    SendMessageA(rig.site, WM_SIZE, 0, MAKELPARAM(1000, 40));
    RECT ticker = InToolbar(rig.ticker()), combo = InToolbar(rig.combo());
    EXPECT_EQ(188, ticker.left);
    EXPECT_EQ(532, ticker.right - ticker.left);
    EXPECT_EQ(25, ticker.bottom - ticker.top);
    EXPECT_EQ(728, combo.left);
    EXPECT_EQ(256, combo.right - combo.left);
    EXPECT_EQ(1, siteSizes);

    /* The room is measured from the toolbar's left edge. */
    MoveWindow(rig.toolbar, 50, 0, 900, 28, FALSE);
    SendMessageA(rig.site, WM_SIZE, 0, MAKELPARAM(1000, 40));
    EXPECT_EQ(678, InToolbar(rig.combo()).left);

    SendMessageA(rig.site, WM_SIZE, 0, MAKELPARAM(0, 40));
    EXPECT_EQ(678, InToolbar(rig.combo()).left) << "a width of 0 moves nothing";
    EXPECT_EQ(3, siteSizes) << "every WM_SIZE reaches the site's own procedure";

    HWND bare = CreateWindowExA(0, "velmora test site", NULL, WS_POPUP, 0, 0, 300, 40, NULL, NULL,
                                GetModuleHandleA(NULL), NULL);
    Subclass(bare);
    SendMessageA(bare, WM_SIZE, 0, MAKELPARAM(300, 40));
    EXPECT_EQ(1, siteSizes);
    DestroyWindow(bare);
}

TEST(BandBitmaps, GreenIsTransparentAndSomethingIsDrawn)
{
    ScratchModule scratch;
    ASSERT_TRUE(scratch.ok());
    struct { UINT id; int width, height, cell; } bitmaps[] = {
        { IDB_LOGO, 73, 22, 73 }, { IDB_SPEED, 44, 22, 22 }, { IDB_FEED, 18, 18, 18 },
    };
    for (const auto &b : bitmaps) {
        HBITMAP bitmap = (HBITMAP)LoadImageA(scratch.module(), MAKEINTRESOURCEA(b.id), IMAGE_BITMAP, 0, 0,
                                             LR_CREATEDIBSECTION);
        ASSERT_NE(nullptr, bitmap) << b.id;
        DIBSECTION dib = {};
        ASSERT_EQ((int)sizeof(dib), GetObjectA(bitmap, sizeof(dib), &dib));
        EXPECT_EQ(b.width, dib.dsBm.bmWidth) << b.id;
        EXPECT_EQ(b.height, dib.dsBm.bmHeight) << b.id;
        EXPECT_EQ(24, dib.dsBm.bmBitsPixel) << b.id;
        HDC dc = CreateCompatibleDC(NULL);
        HGDIOBJ old = SelectObject(dc, bitmap);
        EXPECT_EQ(RGB(0, 255, 0), GetPixel(dc, 0, 0)) << b.id;
        for (int cell = 0; cell < b.width / b.cell; cell++) {
            int drawn = 0;
            for (int y = 0; y < b.height; y++)
                for (int x = cell * b.cell; x < (cell + 1) * b.cell; x++)
                    drawn += GetPixel(dc, x, y) != RGB(0, 255, 0);
            EXPECT_GT(drawn, 20) << "bitmap " << b.id << " cell " << cell;
        }
        SelectObject(dc, old);
        DeleteDC(dc);
        DeleteObject(bitmap);
    }
}

BOOL CALLBACK FindOwnedTip(HWND window, LPARAM found)
{
    char name[32];
    HWND *tip = (HWND *)found;
    if (GetClassNameA(window, name, sizeof(name)) && lstrcmpiA(name, TOOLTIPS_CLASSA) == 0 &&
        GetWindow(window, GW_OWNER) == GetAncestor(tip[1], GA_ROOT))
        tip[0] = window;
    return TRUE;
}

/* The combo box's tooltip tells what the last fetch came to, each cause
   in words of the user's language, and goes with the toolbar. */
TEST_F(BandWindows, ComboTooltipTellsTheLastFetch)
{
    HWND tip[2] = { NULL, rig.toolbar };
    EnumThreadWindows(GetCurrentThreadId(), FindOwnedTip, (LPARAM)tip);
    ASSERT_NE(nullptr, tip[0]);
    EXPECT_EQ(1, (int)SendMessageA(tip[0], TTM_GETTOOLCOUNT, 0, 0));
    const bool de = ExpectedLanguage() == "de";
    const struct { int cause; LONG status; const char *en, *de; } cases[] = {
        { FETCH_OK, 200, "Up to date", "Aktuell" },
        { FETCH_NOT_MODIFIED, 304, "Up to date", "Aktuell" },
        { FETCH_NAME_NOT_FOUND, 0, "Refresh failed: server name not found",
          "Aktualisierung fehlgeschlagen: Servername nicht gefunden" },
        { FETCH_NO_CONNECTION, 0, "Refresh failed: no connection", "Aktualisierung fehlgeschlagen: keine Verbindung" },
        { FETCH_TIMED_OUT, 0, "Refresh failed: time-out", "Aktualisierung fehlgeschlagen: Zeitüberschreitung" },
        { FETCH_HTTP_STATUS, 503, "Refresh failed: HTTP status 503", "Aktualisierung fehlgeschlagen: HTTP-Status 503" },
        { FETCH_NOT_A_FEED, 200, "Refresh failed: not a feed", "Aktualisierung fehlgeschlagen: kein Feed" },
        { 99, 0, "Refresh failed: no connection", "Aktualisierung fehlgeschlagen: keine Verbindung" },
    };
    TickerState *ticker = rig.band()->ticker;
    ASSERT_NE(nullptr, ticker);
    /* The loader's own first fetch is over before the causes are staged. */
    ASSERT_TRUE(PumpUntil([&] { return WaitForSingleObject(ticker->loadingEvent, 0) == 0 || ticker->loadFailed; }, 10000));
    for (const auto &c : cases) {
        ticker->fetchCause = c.cause;
        ticker->fetchStatus = c.status;
        NMTTDISPINFOA info = {};
        info.hdr.hwndFrom = tip[0];
        info.hdr.idFrom = (UINT_PTR)SendMessageA(rig.combo(), CBEM_GETCOMBOCONTROL, 0, 0);
        info.hdr.code = TTN_GETDISPINFOA;
        SendMessageA(rig.toolbar, WM_NOTIFY, info.hdr.idFrom, (LPARAM)&info);
        ASSERT_NE(nullptr, info.lpszText) << c.cause;
        /* The German texts are in the ANSI code page. */
        char want[128];
        WCHAR wide[128];
        MultiByteToWideChar(CP_UTF8, 0, de ? c.de : c.en, -1, wide, 128);
        WideCharToMultiByte(CP_ACP, 0, wide, -1, want, sizeof(want), NULL, NULL);
        EXPECT_STREQ(want, info.lpszText) << c.cause;
    }
    rig.DestroyWindows();
    EXPECT_FALSE(IsWindow(tip[0])) << "the tooltip outlived its toolbar";
}

/* At 96 DPI every size is the old one; at 144 and 192 the ticker, the
   combo box and the band's height grow with the system font, and in a
   band as wide as 1000 pixels at 96 nothing overlaps or leaves the band. */
TEST(BandBitmaps, SizesFollowTheSystemDpi)
{
    EXPECT_EQ(96, SystemDpi()) << "the test prefix's DPI";
    const struct { int dpi, tickerTop, tickerHeight, comboLeft, comboWidth, bandHeight, font; } sizes[] = {
        { 96, 2, 25, 728, 256, 28, 16 },
        { 144, 3, 38, 1092, 384, 42, 24 },
        { 192, 4, 50, 1456, 512, 56, 32 },
    };
    for (const auto &at : sizes) {
        RECT ticker, combo;
        /* Buttons that grew with the DPI too: 188 pixels at 96. */
        int buttonsEnd = ScaleAt(188, at.dpi);
        int width = ScaleAt(1000, at.dpi);
        PlaceBandChildren(width, buttonsEnd, at.dpi, &ticker, &combo);
        EXPECT_EQ(at.tickerTop, ticker.top) << at.dpi;
        EXPECT_EQ(at.tickerHeight, ticker.bottom - ticker.top) << at.dpi;
        EXPECT_EQ(at.comboLeft, combo.left) << at.dpi;
        EXPECT_EQ(at.comboWidth, combo.right - combo.left) << at.dpi;
        EXPECT_EQ(at.bandHeight, ScaleAt(28, at.dpi)) << at.dpi;
        EXPECT_EQ(at.font, ScaleAt(16, at.dpi)) << at.dpi;
        EXPECT_LT(ticker.right, combo.left) << at.dpi << ": the ticker reaches the combo box";
        EXPECT_EQ(ScaleAt(532, at.dpi), ticker.right - ticker.left) << at.dpi;
        EXPECT_LE(ticker.bottom, at.bandHeight) << at.dpi << ": the row is cut";
        EXPECT_LE(combo.right, width) << at.dpi;
    }
    EXPECT_EQ(16, ScaleToDpi(16));
}

}  // namespace
