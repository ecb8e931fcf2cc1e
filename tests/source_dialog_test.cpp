/* The hidden source management dialog of a sited band: the server list
   editor, and the command window of the menu button, the speed buttons and
   menu 600. Choosers and the input dialog are answered from a thread of the
   test's own while the window thread runs them. */
#include "tests/support/site_rig.h"
#include "tests/support/leak_check.h"
#include "tests/support/hresult.h"
#include "browser/browser.h"
#include "settings/dialog.h"
#include "core/ids.h"
#include "resources/resource.h"
#include <commctrl.h>

namespace {

class SourceDialog : public SiteRig {
protected:
    void Host(const std::vector<std::string> &urls, const std::string &show)
    {
        rig.WriteServers(urls, show);
        site = new StandInSite(browser.browser());
        ASSERT_HR(S_OK, site->Host((IUnknown *)bands[0]));
        dialog = bands[0]->owner->commandWindow;
        ASSERT_NE(nullptr, dialog);
    }
    void TearDown() override
    {
        SiteRig::TearDown();
        delete site;
        site = NULL;
    }
    void Command(UINT id) { SendMessageA(dialog, WM_COMMAND, id, 0); }
    HWND List() { return GetDlgItem(dialog, IDC_SERVER_LIST); }
    std::vector<std::string> Rows()
    {
        std::vector<std::string> rows;
        int count = (int)SendMessageA(List(), LVM_GETITEMCOUNT, 0, 0);
        for (int i = 0; i < count; i++) {
            char text[2048] = "";
            LVITEMA item = {};
            item.pszText = text;
            item.cchTextMax = sizeof(text);
            SendMessageA(List(), LVM_GETITEMTEXTA, i, (LPARAM)&item);
            rows.push_back(text);
        }
        return rows;
    }
    void Select(std::initializer_list<int> rows)
    {
        for (int row : rows) {
            LVITEMA item = {};
            item.stateMask = item.state = LVIS_SELECTED;
            SendMessageA(List(), LVM_SETITEMSTATE, row, (LPARAM)&item);
        }
    }
    std::string Field()
    {
        char text[1100] = "";
        GetDlgItemTextA(dialog, IDC_DEFAULT_FEED, text, sizeof(text));
        return text;
    }
    std::string Setting(const char *section, const char *key)
    {
        std::vector<char> text(70000);
        GetPrivateProfileStringA(section, key, "(none)", text.data(), (DWORD)text.size(),
                                 rig.scratch.SettingsPath().c_str());
        return text.data();
    }
    bool SettingStruct(const char *key, void *value, UINT size)
    {
        return GetPrivateProfileStructA("Config", key, value, size, rig.scratch.SettingsPath().c_str()) != 0;
    }
    std::string Url(const char *path) { return rig.server.Url(path); }
public:
    /* As a browser closing its last tab: every band leaves and goes. */
    void CloseAllBands()
    {
        for (InterfaceEntry *&band : bands) {
            EXPECT_HR(S_OK, SetSite(band, NULL));
            EXPECT_EQ(0u, BandObject_Release(band));
            band = NULL;
        }
    }

protected:
    StandInBrowser browser;
    StandInSite *site = NULL;
    HWND dialog = NULL;
};

/* The input dialog: the URL it opened with, then typed is entered with OK. */
struct Typing {
    std::string typed;
    std::string shown;
    std::string prompt;
    bool cancelAfterRefusal;
};

void TypeUrl(HWND input, void *context)
{
    Typing *typing = (Typing *)context;
    char text[1100] = "";
    GetDlgItemTextA(input, IDC_URL, text, sizeof(text));
    typing->shown = text;
    SetDlgItemTextA(input, IDC_URL, typing->typed.c_str());
    PostMessageA(input, WM_COMMAND, IDOK, 0);
    if (!typing->cancelAfterRefusal)
        return;
    char before[512] = "", now[512] = "";
    GetDlgItemTextA(input, IDC_URL_PROMPT, before, sizeof(before));
    for (int i = 0; i < 200 && IsWindowVisible(input); i++) {
        GetDlgItemTextA(input, IDC_URL_PROMPT, now, sizeof(now));
        if (lstrcmpA(now, before) != 0)
            break;
        Sleep(10);
    }
    typing->prompt = IsWindowVisible(input) ? now : "(closed)";
    PostMessageA(input, WM_COMMAND, IDCANCEL, 0);
}

TEST_F(SourceDialog, OkWritesTheRowsAndTheDefaultAndNewServersGoOnTop)
{
    Host({ Url("/a"), Url("/b"), Url("/c") }, Url("/b"));
    EXPECT_FALSE(IsWindowVisible(dialog));
    EXPECT_EQ(std::vector<std::string>({ Url("/a"), Url("/b"), Url("/c") }), Rows());
    EXPECT_EQ(Url("/b"), Field());
    Command(IDM_SOURCES);
    EXPECT_TRUE(IsWindowVisible(dialog));
    Command(IDOK);
    EXPECT_FALSE(IsWindowVisible(dialog));
    EXPECT_EQ(Url("/a") + ";" + Url("/b") + ";" + Url("/c") + ";", Setting("Servers", "Servers"));
    EXPECT_EQ(Url("/b"), Setting("Servers", "show"));

    Typing typing = { Url("/x;y"), "", "", false };
    {
        DialogDriver input(TypeUrl, &typing, dialog);
        Command(IDC_NEW_SERVER);
    }
    EXPECT_EQ("", typing.shown);
    Typing empty = { "", "", "", false };
    {
        DialogDriver input(TypeUrl, &empty, dialog);
        Command(IDC_NEW_SERVER);
    }
    EXPECT_EQ(4u, Rows().size()) << "an empty URL adds nothing";
    Command(IDCANCEL);
    EXPECT_FALSE(IsWindowVisible(dialog));
    EXPECT_EQ(Url("/a") + ";" + Url("/b") + ";" + Url("/c") + ";", Setting("Servers", "Servers"));
    Command(IDM_SOURCES);
    ASSERT_FALSE(Rows().empty());
    EXPECT_EQ(Url("/x%3By"), Rows()[0]) << "kept after Cancel, ';' escaped";
    Command(IDOK);
    EXPECT_EQ(Url("/x%3By") + ";" + Url("/a") + ";" + Url("/b") + ";" + Url("/c") + ";",
              Setting("Servers", "Servers"));
    ExpectAllReleased();
}

TEST_F(SourceDialog, SeveralSelectedRowsActOnTheFirst)
{
    Host({ Url("/a"), Url("/b"), Url("/c") }, Url("/a"));
    EXPECT_FALSE(IsWindowEnabled(GetDlgItem(dialog, IDC_EDIT)));
    Select({ 1, 2 });
    EXPECT_TRUE(IsWindowEnabled(GetDlgItem(dialog, IDC_EDIT)));
    Command(IDC_AS_DEFAULT);
    EXPECT_EQ(Url("/b"), Field());
    Typing typing = { Url("/e"), "", "", false };
    {
        DialogDriver input(TypeUrl, &typing, dialog);
        Command(IDC_EDIT);
    }
    EXPECT_EQ(Url("/b"), typing.shown);
    EXPECT_EQ(std::vector<std::string>({ Url("/a"), Url("/e"), Url("/c") }), Rows());
    Command(IDC_REMOVE);
    EXPECT_EQ(std::vector<std::string>({ Url("/a"), Url("/c") }), Rows());
    Command(IDOK);
    EXPECT_EQ(Url("/a") + ";" + Url("/c") + ";", Setting("Servers", "Servers"));
    EXPECT_EQ(Url("/b"), Setting("Servers", "show")) << "a removed default is written all the same";
    ExpectAllReleased();
}

TEST_F(SourceDialog, AnEntryThatNoLongerFitsIsRefusedWhenEntered)
{
    /* 33 entries of 1000 characters: 32 733 of the 32 765 a saved list may hold. */
    std::vector<std::string> urls;
    for (int i = 0; i < 33; i++) {
        std::string url = Url(("/" + std::to_string(i) + "-").c_str());
        urls.push_back(url + std::string(1000 - url.size() - (i == 32 ? 300 : 0), 'q'));
    }
    Host(urls, urls[0]);
    ASSERT_EQ(33u, Rows().size());
    Typing tooLong = { Url("/") + std::string(40, 'z'), "", "", true };
    {
        DialogDriver input(TypeUrl, &tooLong, dialog);
        Command(IDC_NEW_SERVER);
    }
    char reason[256];
    LoadStringA(moduleHandle, IDS_LIST_FULL, reason, sizeof(reason));
    EXPECT_EQ(reason, tooLong.prompt) << "the input dialog stays open and says why";
    EXPECT_EQ(33u, Rows().size());
    Typing fits = { Url("/ok"), "", "", false };
    {
        DialogDriver input(TypeUrl, &fits, dialog);
        Command(IDC_NEW_SERVER);
    }
    EXPECT_EQ(34u, Rows().size());
    Command(IDOK);
    std::string saved = Setting("Servers", "Servers");
    EXPECT_LE(saved.size(), 32765u);
    EXPECT_EQ(Url("/ok") + ";" + urls[0] + ";", saved.substr(0, Url("/ok").size() + urls[0].size() + 2));
    EXPECT_EQ(urls[32] + ";", saved.substr(saved.size() - urls[32].size() - 1));
    ExpectAllReleased();
}

TEST_F(SourceDialog, AListReadWholeIsSavedWholeOrRefusedAsItWas)
{
    /* Written by other means: 40 540 characters, the first entry 1 500 long. */
    std::vector<std::string> urls;
    std::string stored;
    for (int i = 0; i < 40; i++) {
        std::string url = Url(("/" + std::to_string(i) + "-").c_str());
        urls.push_back(url + std::string((i ? 1000 : 1500) - url.size(), 'q'));
        stored += urls.back() + ";";
    }
    rig.scratch.WriteSettings("[Servers]\r\nServers=" + stored + "\r\nshow=" + urls[0] + "\r\n");
    site = new StandInSite(browser.browser());
    ASSERT_HR(S_OK, site->Host((IUnknown *)bands[0]));
    dialog = bands[0]->owner->commandWindow;
    ASSERT_TRUE(urls == Rows()) << Rows().size() << " rows";
    std::string file = ReadWholeFile(rig.scratch.SettingsPath());
    Command(IDM_SOURCES);
    {
        BoxWatcher boxes;
        Command(IDOK);
        EXPECT_EQ(1, boxes.Count());
        char reason[512];
        LoadStringA(moduleHandle, IDS_LIST_TOO_LONG, reason, sizeof(reason));
        EXPECT_EQ(reason, boxes.LastText());
        EXPECT_EQ(dialog, boxes.LastOwner());
    }
    EXPECT_TRUE(IsWindowVisible(dialog)) << "refused, the dialog stays open";
    EXPECT_EQ(file, ReadWholeFile(rig.scratch.SettingsPath())) << "the file stays as it was";
    EXPECT_EQ(urls[0], std::string(rig.band()->serverList)) << "so does the list in memory";

    /* Eight rows fewer fit: 32 532 characters, each row whole. */
    for (int i = 0; i < 8; i++)
        SendMessageA(List(), LVM_DELETEITEM, 1, 0);
    Command(IDOK);
    EXPECT_FALSE(IsWindowVisible(dialog));
    EXPECT_EQ(stored.substr(0, 1501) + stored.substr(1501 + 8 * 1001), Setting("Servers", "Servers"));
    ExpectAllReleased();
}

/* The colour chooser: the colour in context is typed in and taken with OK;
   a null context cancels. */
void ChooseColour(HWND chooser, void *context)
{
    if (!context) {
        PostMessageA(chooser, WM_COMMAND, IDCANCEL, 0);
        return;
    }
    COLORREF color = *(COLORREF *)context;
    SetDlgItemInt(chooser, 706, GetRValue(color), FALSE);
    SetDlgItemInt(chooser, 707, GetGValue(color), FALSE);
    SetDlgItemInt(chooser, 708, GetBValue(color), FALSE);
    PostMessageA(chooser, WM_COMMAND, IDOK, 0);
}

TEST_F(SourceDialog, ColoursAndSpeedReachTheFileAtOnceAndTheNextFrame)
{
    Host({ Url("/a") }, Url("/ticker"));
    SetForegroundWindow(site->frame);
    BandState *band = rig.band();
    COLORREF mark = MARK;
    {
        DialogDriver chooser(ChooseColour, &mark, dialog);
        Command(IDM_BACKCOLOR);
    }
    EXPECT_EQ(MARK, band->backColor);
    COLORREF stored = 0;
    EXPECT_TRUE(SettingStruct("Backcolor", &stored, sizeof(stored)));
    EXPECT_EQ(MARK, stored);
    EXPECT_TRUE(TickerDrawsIn(BandWindow(bands[0]), MARK));
    {
        DialogDriver chooser(ChooseColour, NULL, dialog);
        Command(IDM_TEXTCOLOR);
    }
    EXPECT_EQ(0u, band->textColor) << "a cancelled chooser changes nothing";
    EXPECT_EQ("(none)", Setting("Config", "Textcolor"));

    LONG speed = 0;
    for (int i = 0; i < 20; i++)
        Command(IDM_FASTER);
    EXPECT_EQ(16, band->speed);
    EXPECT_TRUE(SettingStruct("Speed", &speed, sizeof(speed)));
    EXPECT_EQ(16, speed);
    for (int i = 0; i < 20; i++)
        Command(IDM_SLOWER);
    EXPECT_EQ(0, band->speed);
    EXPECT_TRUE(SettingStruct("Speed", &speed, sizeof(speed)));
    EXPECT_EQ(0, speed);

    /* "Pause ticker" is kept, and a band sited later finds it. */
    TickerState *ticker = band->ticker;
    LONG paused = 0;
    Command(IDM_PAUSE);
    EXPECT_EQ(PAUSE_STORED, ticker->pauseFlags);
    EXPECT_TRUE(SettingStruct("Paused", &paused, sizeof(paused)));
    EXPECT_EQ(1, paused);
    InterlockedExchange(&ticker->pauseFlags, 0);
    StandInSite later(browser.browser(), 0, 200);
    ASSERT_EQ(S_OK, later.Host((IUnknown *)NewBand()));
    EXPECT_EQ(PAUSE_STORED, ticker->pauseFlags) << "read back at siting";
    Command(IDM_PAUSE);
    EXPECT_EQ(0, ticker->pauseFlags);
    EXPECT_TRUE(SettingStruct("Paused", &paused, sizeof(paused)));
    EXPECT_EQ(0, paused);
    ExpectAllReleased();
}

TEST_F(SourceDialog, HelpAndHomePageOpenInTheCurrentBrowserWindow)
{
    Host({ Url("/a") }, Url("/a"));
    Command(IDM_HELP);
    Command(IDM_HOMEPAGE);
    WCHAR base[256];
    ASSERT_HR(S_OK, LoadWideString(moduleHandle, IDS_HOMEPAGE_URL, base, NULL));
    ASSERT_EQ(2u, browser.navigations.size());
    EXPECT_EQ(std::wstring(base) + L"/support.html", browser.navigations[0].url);
    EXPECT_EQ(std::wstring(base), browser.navigations[1].url);
    EXPECT_EQ(VT_EMPTY, browser.navigations[0].targetType);
    EXPECT_EQ(VT_EMPTY, browser.navigations[1].targetType);
    ExpectAllReleased();
}

void Click(POINT at)
{
    SetCursorPos(at.x, at.y);
    INPUT clicks[2] = {};
    clicks[0].type = clicks[1].type = INPUT_MOUSE;
    clicks[0].mi.dwFlags = MOUSEEVENTF_LEFTDOWN;
    clicks[1].mi.dwFlags = MOUSEEVENTF_LEFTUP;
    SendInput(2, clicks, sizeof(INPUT));
}

/* The drop-down menu: where it opened, then "Faster" clicked. Keys counted
   from the top would race the opening click's button-up, which selects the
   item under the cursor whenever it comes. */
void ChooseFaster(HWND menu, void *context)
{
    GetWindowRect(menu, (RECT *)context);
    HMENU items = (HMENU)SendMessageA(menu, MN_GETHMENU, 0, 0);
    int count = items ? GetMenuItemCount(items) : 0;
    for (int i = 0; i < count; i++) {
        RECT item;
        if (GetMenuItemID(items, i) != IDM_FASTER || !GetMenuItemRect(NULL, items, i, &item))
            continue;
        Click({ (item.left + item.right) / 2, (item.top + item.bottom) / 2 });
        return;
    }
}

TEST_F(SourceDialog, DropDownMenuOpensAtTheClickWhetherShownOrHidden)
{
    Host({ Url("/a") }, Url("/a"));
    SetForegroundWindow(site->frame);
    HWND toolbar = BandWindow(bands[0]);
    RECT button;
    SendMessageA(toolbar, TB_GETITEMRECT, 0, (LPARAM)&button);
    LONG speed = rig.band()->speed;
    for (bool shown : { false, true }) {
        if (shown) {
            Command(IDM_SOURCES);
            SetForegroundWindow(site->frame);
        }
        POINT at = { button.left + 20 + 10 * shown, button.top + 10 };
        ClientToScreen(toolbar, &at);
        RECT menu = {};
        {
            DialogDriver driver(ChooseFaster, &menu, NULL, "#32768");
            Click(at);
            EXPECT_TRUE(PumpUntil([&] { return rig.band()->speed == speed + 1; }, 5000)) << "shown " << shown;
        }
        EXPECT_NEAR(at.x, menu.left, 2) << "shown " << shown;
        EXPECT_NEAR(at.y, menu.top, 2) << "shown " << shown;
        speed = rig.band()->speed;
    }
    ExpectAllReleased();
}

/* The font chooser: what it offers as sizes, then another face with OK. */
struct FontChoiceSeen {
    int sizes;
    std::string size;
    std::string face;
};

void ChooseOtherFace(HWND chooser, void *context)
{
    FontChoiceSeen *seen = (FontChoiceSeen *)context;
    HWND sizes = GetDlgItem(chooser, 0x472), faces = GetDlgItem(chooser, 0x470);
    seen->sizes = (int)SendMessageA(sizes, CB_GETCOUNT, 0, 0);
    char text[64] = "";
    SendMessageA(sizes, CB_GETLBTEXT, 0, (LPARAM)text);
    seen->size = text;
    int current = (int)SendMessageA(faces, CB_GETCURSEL, 0, 0);
    int count = (int)SendMessageA(faces, CB_GETCOUNT, 0, 0);
    int other = count > 1 ? (current + 1) % count : 0;
    SendMessageA(faces, CB_SETCURSEL, other, 0);
    SendMessageA(chooser, WM_COMMAND, MAKEWPARAM(0x470, CBN_SELCHANGE), (LPARAM)faces);
    char face[LF_FACESIZE] = "";
    SendMessageA(faces, CB_GETLBTEXT, other, (LPARAM)face);
    seen->face = face;
    PostMessageA(chooser, WM_COMMAND, IDOK, 0);
}

TEST_F(SourceDialog, TheChosenFontDrawsTheRowAndOldFontsAreDeletedBetweenFrames)
{
    Host({ Url("/a") }, Url("/ticker"));
    SetForegroundWindow(site->frame);
    rig.band()->backColor = MARK;
    ASSERT_TRUE(TickerDrawsIn(BandWindow(bands[0])));
    TickerState *ticker = rig.band()->ticker;
    HFONT oldText = ticker->textFont;
    FontChoiceSeen seen = {};
    {
        DialogDriver chooser(ChooseOtherFace, &seen, dialog);
        Command(IDM_FONT);
    }
    HDC screen = GetDC(NULL);
    int pointSize = 1152 / GetDeviceCaps(screen, LOGPIXELSY);
    ReleaseDC(NULL, screen);
    EXPECT_EQ(1, seen.sizes) << "exactly one size";
    EXPECT_EQ(std::to_string(pointSize), seen.size);
    EXPECT_EQ(seen.face, Setting("Config", "Font"));
    LOGFONTA font = {};
    ASSERT_NE(oldText, ticker->textFont);
    GetObjectA(ticker->textFont, sizeof(font), &font);
    EXPECT_EQ(seen.face, font.lfFaceName);
    EXPECT_EQ(16, font.lfHeight);
    EXPECT_TRUE(PumpUntil([oldText] { return GetObjectType(oldText) == 0; }, 5000))
        << "the rendering thread deletes the old pair";
    EXPECT_TRUE(TickerDrawsIn(BandWindow(bands[0]))) << "and draws on with the new one";

    /* Many changes while the row scrolls leave no fonts behind. */
    DialogDriver chooser(ChooseOtherFace, &seen, dialog);
    auto change = [&] {
        Command(IDM_FONT);
        PumpUntil([] { return false; }, 30);
    };
    ExpectCyclesFlat(change, 100, 16384);
    EXPECT_TRUE(TickerDrawsIn(BandWindow(bands[0])));
    ExpectAllReleased();
}

/* The last band goes while a chooser or the input dialog is open, from a
   timer that the modal loop itself runs; then the dialog is answered. */
struct ModalEnd {
    UINT command;
    DialogDriver::Action answer;
    void *context;
    bool ownedByBrowserWindow;
};
SourceDialog *closingRig;
const ModalEnd *closing;
HWND closingOwner;

void CALLBACK CloseTabInModalLoop(HWND, UINT, UINT_PTR timer, DWORD)
{
    HWND modal = FindBox(GetCurrentProcessId(), NULL, NULL, DIALOG_BOX);
    if (!modal)
        return;
    KillTimer(NULL, timer);
    closingOwner = GetWindow(modal, GW_OWNER);
    closingRig->CloseAllBands();
    closing->answer(modal, closing->context);
}

TEST_F(SourceDialog, TheLastBandGoingDuringAModalLoopIsSurvived)
{
    COLORREF mark = MARK;
    FontChoiceSeen seen = {};
    Typing typing = { Url("/new"), "", "", false };
    const ModalEnd cases[] = {
        { IDM_TEXTCOLOR, ChooseColour, &mark, true },
        { IDM_FONT, ChooseOtherFace, &seen, true },
        { IDC_NEW_SERVER, TypeUrl, &typing, false },
    };
    for (const ModalEnd &end : cases) {
        Host({ Url("/a") }, Url("/a"));
        std::string file = ReadWholeFile(rig.scratch.SettingsPath());
        HWND frame = site->frame;
        closingRig = this;
        closing = &end;
        closingOwner = NULL;
        SetTimer(NULL, 0, 50, CloseTabInModalLoop);
        Command(end.command);
        EXPECT_EQ(end.ownedByBrowserWindow ? frame : dialog, closingOwner) << end.command;
        EXPECT_EQ(nullptr, processBandState) << end.command;
        EXPECT_EQ(file, ReadWholeFile(rig.scratch.SettingsPath())) << "nothing acts for a band that went";
        EXPECT_TRUE(PumpUntil([] { return CanUnloadModule() == S_OK; }, 5000)) << end.command;
        delete site;
        site = NULL;
        bands.clear();
        ASSERT_TRUE(rig.Build());
        bands.push_back(rig.object);
        rig.object = NULL;
    }
    ExpectAllReleased();
}

/* The keys the dialog handles as a dialog does, though nothing but the
   thread's own message loop runs: Tab moves on from the list, Alt+O is OK,
   Esc is Cancel. */
TEST_F(SourceDialog, TabEscAndShortcutsWorkInTheModelessDialog)
{
    Host({ Url("/a") }, Url("/a"));
    struct Key { UINT message; WPARAM key; bool hides; } keys[] = {
        { WM_KEYDOWN, VK_TAB, false },
        { WM_SYSCHAR, 'o', true },
        { WM_KEYDOWN, VK_ESCAPE, true },
    };
    for (const Key &key : keys) {
        DeleteFileA(rig.scratch.SettingsPath().c_str());
        Command(IDM_SOURCES);
        SetForegroundWindow(dialog);
        SetFocus(List());
        PostMessageA(List(), key.message, key.key, 0);
        EXPECT_TRUE(PumpUntil([&] { return key.hides ? !IsWindowVisible(dialog) : GetFocus() != List(); }, 2000))
            << std::hex << key.key;
        EXPECT_EQ(key.key == 'o' ? Url("/a") + ";" : "(none)", Setting("Servers", "Servers")) << std::hex << key.key;
    }
    ExpectAllReleased();
}

}  // namespace
