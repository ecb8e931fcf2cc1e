/* The commands of the band's toolbar and menu 600, sent to the source
   dialog as the command window: the ticker's font and colours, the speed,
   the product's pages and the menu itself, and the two choosers. Runs on
   the browser's window thread; the rendering thread reads the colours, the
   speed and the fonts changed here. Choosers and the menu run modal loops:
   the process state is held across each, and nothing is changed after one
   unless the state and the dialog are still there. */
#include "settings/dialog.h"
#include "settings/settings.h"
#include "core/module.h"
#include "core/state.h"
#include "core/handoff.h"
#include "core/display.h"
#include "browser/browser.h"
#include "resources/resource.h"
#include <commctrl.h>
#include <commdlg.h>

/* The browser window of the dialog's band: choosers it owns keep that
   window from being used, or closed, under them. */
static HWND ChooserOwner(HWND dialog)
{
    return GetWindow(dialog, GW_OWNER);
}

static void WriteConfigStruct(const char *key, void *value, UINT size)
{
    char path[SETTINGS_PATH_SIZE + 1];
    SettingsFilePath(path);
    if (path[0])
        (void)WritePrivateProfileStructA("Config", key, value, size, path);
}

/* The old pair goes to the rendering thread, which deletes it between two
   frames: it may be drawing with it right now. */
void ChooseTickerFont(HWND dialog, BandState *band)
{
    char face[FONT_FACE_SIZE] = DEFAULT_FONT_FACE;
    FontStyle style = { FW_NORMAL, 0, ANSI_CHARSET };
    char path[SETTINGS_PATH_SIZE + 1];
    SettingsFilePath(path);
    /* The chooser opens on the font the ticker shows. */
    if (path[0]) {
        GetPrivateProfileStringA("Config", "Font", face, face, FONT_FACE_SIZE - 1, path);
        ReadSettingsStruct(path, "Config", "FontStyle", &style, sizeof(style));
    }
    HoldBandState(band);
    BOOL chosen = SUCCEEDED(PickFont(ChooserOwner(dialog), face, &style)) && OutlivedModalLoop(dialog, band);
    ReleaseBandState(band);
    if (!chosen)
        return;
    if (path[0]) {
        (void)WritePrivateProfileStringA("Config", "Font", face, path);
        (void)WritePrivateProfileStructA("Config", "FontStyle", &style, sizeof(style), path);
    }
    TickerState *ticker = band->ticker;
    if (!ticker)
        return;
    HFONT textFont = NULL, linkFont = NULL;
    (void)CreateTickerFonts(&textFont, &linkFont);
    if (!HandOverFonts(ticker, textFont, linkFont)) {
        DeleteObject(textFont);
        DeleteObject(linkFont);
        return;
    }
    WakeRenderer(ticker);
}

/* A row standing still looks at the band's colours and speed only when woken. */
static void WakeBandRenderer(BandState *band)
{
    if (band->ticker)
        WakeRenderer(band->ticker);
}

void ChooseTickerColor(HWND dialog, BandState *band, COLORREF *field, const char *key)
{
    COLORREF chosen;
    HoldBandState(band);
    if (SUCCEEDED(PickColor(ChooserOwner(dialog), *field, &chosen)) && OutlivedModalLoop(dialog, band)) {
        *field = chosen;
        WriteConfigStruct(key, &chosen, sizeof(chosen));
        WakeBandRenderer(band);
    }
    ReleaseBandState(band);
}

/* "Pause ticker": kept in the settings, so that whoever needs the row to
   stand still finds it so the next time. */
void TogglePause(BandState *band)
{
    TickerState *ticker = band->ticker;
    if (!ticker)
        return;
    LONG paused = (ticker->pauseFlags & PAUSE_STORED) ? 0 : 1;
    RequestPause(ticker, PAUSE_STORED, paused);
    WriteConfigStruct("Paused", &paused, sizeof(paused));
}

void StepSpeed(BandState *band, LONG step)
{
    LONG speed = band->speed + step;
    if ((step > 0 && band->speed >= MAX_SPEED) || (step < 0 && band->speed <= 0))
        return;
    band->speed = speed;
    WriteConfigStruct("Speed", &speed, sizeof(speed));
    WakeBandRenderer(band);
}

/* The download runs on the loader; the row goes on meanwhile. */
void RefreshNow(BandState *band)
{
    if (band->ticker)
        RequestRefresh(band->ticker);
}

void OpenProductPage(BOOL help)
{
    WCHAR url[URL_SIZE];
    if (SUCCEEDED(LoadProductPageUrl(url, help)))
        OpenLink(url, 0);
}

/* At the cursor when clicked; under the button when the cursor is not on it
   (the keyboard dropped it). */
static POINT BandMenuPosition(const NMTOOLBARA *drop)
{
    DWORD position = GetMessagePos();
    POINT at = { (short)LOWORD(position), (short)HIWORD(position) };
    RECT button = drop->rcButton;
    if (IsRectEmpty(&button))
        return at;
    MapWindowPoints(drop->hdr.hwndFrom, NULL, (POINT *)&button, 2);
    if (PtInRect(&button, at))
        return at;
    at.x = button.left;
    at.y = button.bottom;
    return at;
}

void ShowBandMenu(HWND dialog, BandState *band, const NMTOOLBARA *drop)
{
    POINT at = BandMenuPosition(drop);
    BOOL paused = band->ticker && (band->ticker->pauseFlags & PAUSE_STORED);
    CheckMenuItem(band->mainMenu, IDM_PAUSE, MF_BYCOMMAND | (paused ? MF_CHECKED : MF_UNCHECKED));
    HoldBandState(band);
    TrackPopupMenu(band->mainMenu, 0, at.x, at.y, 0, dialog, NULL);
    ReleaseBandState(band);
    if (IsWindow(dialog))
        SetWindowLongPtrA(dialog, DWLP_MSGRESULT, TBDDRET_DEFAULT);
}

/* The choosers are loaded when first asked for: an import of the common
   dialogs would pull the system's older common controls into the process
   before the band's manifest can choose version 6. Once loaded they stay for
   the process: unloading them again leaves handles behind each time. */
typedef BOOL (WINAPI *ChooseColorProc)(CHOOSECOLORA *choice);
typedef BOOL (WINAPI *ChooseFontProc)(CHOOSEFONTA *choice);

static HMODULE commonDialogs;

static void (*CommonDialogProc(const char *name))(void)
{
    if (!commonDialogs)
        commonDialogs = LoadLibraryA("comdlg32.dll");
    return commonDialogs ? (void (*)(void))GetProcAddress(commonDialogs, name) : NULL;
}

HRESULT PickColor(HWND owner, COLORREF initial, COLORREF *chosen)
{
    COLORREF custom[16];
    ZeroMemory(custom, sizeof(custom));
    CHOOSECOLORA choice;
    ZeroMemory(&choice, sizeof(choice));
    choice.lStructSize = sizeof(choice);
    choice.hwndOwner = owner;
    choice.rgbResult = initial;
    choice.lpCustColors = custom;
    choice.Flags = CC_RGBINIT | CC_FULLOPEN | CC_SHOWHELP;
    ChooseColorProc chooseColor = (ChooseColorProc)CommonDialogProc("ChooseColorA");
    if (!chooseColor || !chooseColor(&choice))
        return E_FAIL;
    *chosen = choice.rgbResult;
    return S_OK;
}

/* The fonts have one height (16 pixels at 96 DPI), so the chooser offers
   that one size. */
static INT FontPointSize(int height)
{
    return height * 72 / SystemDpi();
}

HRESULT PickFont(HWND owner, char *face, FontStyle *style)
{
    LOGFONTA font;
    ZeroMemory(&font, sizeof(font));
    font.lfHeight = ScaleToDpi(16);
    font.lfWeight = style->weight;
    font.lfItalic = (BYTE)style->italic;
    font.lfCharSet = (BYTE)style->charSet;
    lstrcpynA(font.lfFaceName, face, FONT_FACE_SIZE - 1);
    CHOOSEFONTA choice;
    ZeroMemory(&choice, sizeof(choice));
    choice.lStructSize = sizeof(choice);
    choice.hwndOwner = owner;
    choice.lpLogFont = &font;
    choice.Flags = CF_SCREENFONTS | CF_INITTOLOGFONTSTRUCT | CF_LIMITSIZE | CF_FORCEFONTEXIST;
    choice.nSizeMin = choice.nSizeMax = FontPointSize(font.lfHeight);
    ChooseFontProc chooseFont = (ChooseFontProc)CommonDialogProc("ChooseFontA");
    if (!chooseFont || !chooseFont(&choice))
        return E_FAIL;
    lstrcpynA(face, font.lfFaceName, FONT_FACE_SIZE - 1);
    style->weight = font.lfWeight;
    style->italic = font.lfItalic ? 1 : 0;
    style->charSet = font.lfCharSet;
    return S_OK;
}
