/* The source management dialog (4000): the editor of the server list and the
   default feed, and the command window of the band's toolbar, which sends it
   the menu button's drop-down, the speed buttons and every command of menu
   600. Also the URL input dialog (4100) and the font and colour choosers.
   Everything here runs on the browser's window thread; the rendering thread
   reads the colours, the speed and the fonts this file changes. */
#include "settings/dialog.h"
#include "settings/settings.h"
#include "core/module.h"
#include "browser/browser.h"
#include "core/state.h"
#include "core/handoff.h"
#include "core/ids.h"
#include "resources/resource.h"
#include <commctrl.h>
#include <commdlg.h>

#define ROW_TEXT_SIZE       1023    /* 1022 characters and the terminator */

/* ';' ends an entry of the stored list, so inside a URL it is kept escaped. */
static const WCHAR ESCAPED_SEMICOLON[] = L"%3B";

static BandState *DialogBand(HWND dialog)
{
    return (BandState *)GetWindowLongPtrA(dialog, DWLP_USER);
}

static void SettingsPath(char *path)
{
    if (FAILED(GetSettingsPath(IDS_SETTINGS_FILE, path, SETTINGS_PATH_SIZE)))
        path[0] = 0;
}

static void WriteConfigStruct(const char *key, void *value, UINT size)
{
    char path[SETTINGS_PATH_SIZE + 1];
    SettingsPath(path);
    if (path[0])
        (void)WritePrivateProfileStructA("Config", key, value, size, path);
}

/* The first selected row from the top, or -1. */
static int SelectedRow(HWND list)
{
    return (int)SendMessageA(list, LVM_GETNEXTITEM, (WPARAM)-1, LVNI_SELECTED);
}

static int RowTextAnsi(HWND list, int row, char *text, int size)
{
    LVITEMA item;
    ZeroMemory(&item, sizeof(item));
    item.pszText = text;
    item.cchTextMax = size;
    text[0] = 0;
    return (int)SendMessageA(list, LVM_GETITEMTEXTA, (WPARAM)row, (LPARAM)&item);
}

static int AddServerRow(char *entry, int index, void *context)
{
    LVITEMA item;
    ZeroMemory(&item, sizeof(item));
    item.mask = LVIF_TEXT;
    item.iItem = index;
    item.pszText = entry;
    return (int)SendMessageA((HWND)context, LVM_INSERTITEMA, 0, (LPARAM)&item);
}

static void SetRowText(HWND list, int row, const WCHAR *text, BOOL insert)
{
    LVITEMW item;
    ZeroMemory(&item, sizeof(item));
    item.mask = LVIF_TEXT;
    item.iItem = row;
    item.pszText = (WCHAR *)text;
    SendMessageW(list, insert ? LVM_INSERTITEMW : LVM_SETITEMTEXTW, (WPARAM)row, (LPARAM)&item);
}

static BOOL SourceOnInitDialog(HWND dialog, BandState *band)
{
    SetWindowLongPtrA(dialog, DWLP_USER, (LONG_PTR)band);
    HWND list = GetDlgItem(dialog, IDC_SERVER_LIST);
    char header[64];
    LoadStringA(moduleHandle, IDS_SERVER_URL_HEADER, header, sizeof(header));
    LVCOLUMNA column;
    ZeroMemory(&column, sizeof(column));
    column.mask = LVCF_FMT | LVCF_TEXT | LVCF_WIDTH;
    column.fmt = LVCFMT_LEFT;
    column.cx = 320;
    column.pszText = header;
    SendMessageA(list, LVM_INSERTCOLUMNA, 0, (LPARAM)&column);
    if (band)
        (void)ForEachServer(band->serverList, AddServerRow, list);

    char path[SETTINGS_PATH_SIZE + 1];
    char show[1024];
    SettingsPath(path);
    LoadStringA(moduleHandle, IDS_DEFAULT_FEED, show, sizeof(show));
    if (path[0])
        GetPrivateProfileStringA("Servers", "show", show, show, ROW_TEXT_SIZE, path);
    SetDlgItemTextA(dialog, IDC_DEFAULT_FEED, show);
    SetDlgItemInt(dialog, IDC_REFRESH, band ? (UINT)band->refreshMinutes : 0, FALSE);
    return TRUE;
}

/* Rows from the top, each followed by ';', into the list buffer. A row that
   would pass the saved-list limit ends the list: entering one is refused
   already, so only a list read from a file written by other means gets here. */
static void StoreRows(HWND list, char *buffer)
{
    int rows = (int)SendMessageA(list, LVM_GETITEMCOUNT, 0, 0);
    SIZE_T at = 0;
    for (int row = 0; row < rows; row++) {
        if (at + ROW_TEXT_SIZE + 2 > SERVER_LIST_SIZE)
            break;
        int length = RowTextAnsi(list, row, buffer + at, ROW_TEXT_SIZE);
        if (length <= 0)
            continue;
        if (at + length + 1 > SERVER_LIST_SAVE_LIMIT)
            break;
        at += length;
        buffer[at++] = ';';
    }
    buffer[at] = 0;
    buffer[at + 1] = 0;
}

static void SourceOnOk(HWND dialog, BandState *band)
{
    char path[SETTINGS_PATH_SIZE + 1];
    SettingsPath(path);
    if (band->serverList) {
        StoreRows(GetDlgItem(dialog, IDC_SERVER_LIST), band->serverList);
        if (path[0])
            (void)WritePrivateProfileStringA("Servers", "Servers", band->serverList, path);
    }
    char show[ROW_TEXT_SIZE];
    GetDlgItemTextA(dialog, IDC_DEFAULT_FEED, show, sizeof(show));
    if (path[0])
        (void)WritePrivateProfileStringA("Servers", "show", show, path);
    BOOL read = FALSE;
    UINT minutes = GetDlgItemInt(dialog, IDC_REFRESH, &read, FALSE);
    if (read && (LONG)minutes != band->refreshMinutes)
        StoreRefreshMinutes(band, (LONG)(minutes < 0x7FFFFFFF ? minutes : 0x7FFFFFFF));
    if (band->bandWindow)
        PostMessageA(band->bandWindow, WM_FEEDLIST_FILL, 0, (LPARAM)band);
    ShowWindow(dialog, SW_HIDE);
}

static BOOL RunUrlInput(HWND dialog, UrlInput *input)
{
    return DialogBoxParamA(moduleHandle, MAKEINTRESOURCEA(IDD_URL_INPUT), dialog, UrlInputDialogProc,
                           (LPARAM)input) == 0 && input->url[0] != 0;
}

static void SourceOnNewServer(HWND dialog)
{
    UrlInput input;
    input.url[0] = 0;
    input.list = GetDlgItem(dialog, IDC_SERVER_LIST);
    input.replacedRow = -1;
    if (RunUrlInput(dialog, &input))
        SetRowText(input.list, 0, input.url, TRUE);
}

static void SourceOnEdit(HWND dialog)
{
    UrlInput input;
    input.list = GetDlgItem(dialog, IDC_SERVER_LIST);
    input.replacedRow = SelectedRow(input.list);
    if (input.replacedRow < 0)
        return;
    LVITEMW item;
    ZeroMemory(&item, sizeof(item));
    item.pszText = input.url;
    item.cchTextMax = ROW_TEXT_SIZE;
    input.url[0] = 0;
    SendMessageW(input.list, LVM_GETITEMTEXTW, (WPARAM)input.replacedRow, (LPARAM)&item);
    if (RunUrlInput(dialog, &input))
        SetRowText(input.list, input.replacedRow, input.url, FALSE);
}

static void SourceOnRemove(HWND dialog)
{
    HWND list = GetDlgItem(dialog, IDC_SERVER_LIST);
    int row = SelectedRow(list);
    if (row >= 0)
        SendMessageA(list, LVM_DELETEITEM, (WPARAM)row, 0);
}

static void SourceOnAsDefault(HWND dialog)
{
    HWND list = GetDlgItem(dialog, IDC_SERVER_LIST);
    int row = SelectedRow(list);
    if (row < 0)
        return;
    char text[ROW_TEXT_SIZE];
    RowTextAnsi(list, row, text, sizeof(text));
    SetDlgItemTextA(dialog, IDC_DEFAULT_FEED, text);
}

/* The old pair goes to the rendering thread, which deletes it between two
   frames: it may be drawing with it right now. */
static void SourceOnFont(HWND dialog, BandState *band)
{
    char face[FONT_FACE_SIZE] = DEFAULT_FONT_FACE;
    FontStyle style = { FW_NORMAL, 0, ANSI_CHARSET };
    char path[SETTINGS_PATH_SIZE + 1];
    SettingsPath(path);
    /* The chooser opens on the font the ticker shows. */
    if (path[0]) {
        GetPrivateProfileStringA("Config", "Font", face, face, FONT_FACE_SIZE - 1, path);
        ReadSettingsStruct(path, "Config", "FontStyle", &style, sizeof(style));
    }
    if (FAILED(PickFont(GetParent(dialog), face, &style)))
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

static void SourceOnColor(HWND dialog, BandState *band, COLORREF *field, const char *key)
{
    COLORREF chosen;
    if (FAILED(PickColor(GetParent(dialog), *field, &chosen)))
        return;
    *field = chosen;
    WriteConfigStruct(key, &chosen, sizeof(chosen));
    WakeBandRenderer(band);
}

static void SourceOnSpeed(BandState *band, LONG step)
{
    LONG speed = band->speed + step;
    if ((step > 0 && band->speed >= MAX_SPEED) || (step < 0 && band->speed <= 0))
        return;
    band->speed = speed;
    WriteConfigStruct("Speed", &speed, sizeof(speed));
    WakeBandRenderer(band);
}

/* The download runs on the loader; the row goes on meanwhile. */
static void SourceOnRefresh(BandState *band)
{
    if (band->ticker)
        RequestRefresh(band->ticker);
}

/* The product's site, with the support path behind it for the help page. */
static void OpenProductPage(BOOL help)
{
    WCHAR url[URL_SIZE];
    DWORD baseBytes = 0;
    if (FAILED(LoadWideString(moduleHandle, IDS_HOMEPAGE_URL, url, &baseBytes)))
        return;
    if (help)
        (void)LoadWideString(moduleHandle, IDS_SUPPORT_PATH, url + baseBytes / 2, NULL);
    OpenLink(url, 0);
}

static INT_PTR SourceOnCommand(HWND dialog, BandState *band, UINT id)
{
    switch (id) {
    case IDOK:              SourceOnOk(dialog, band); return TRUE;
    case IDCANCEL:          ShowWindow(dialog, SW_HIDE); return TRUE;
    case IDM_SOURCES:       ShowWindow(dialog, SW_SHOW); return TRUE;
    case IDM_FONT:          SourceOnFont(dialog, band); return TRUE;
    case IDM_TEXTCOLOR:     SourceOnColor(dialog, band, &band->textColor, "Textcolor"); return TRUE;
    case IDM_LINKCOLOR:     SourceOnColor(dialog, band, &band->linkColor, "Linkcolor"); return TRUE;
    case IDM_BACKCOLOR:     SourceOnColor(dialog, band, &band->backColor, "Backcolor"); return TRUE;
    case IDM_HELP:          OpenProductPage(TRUE); return TRUE;
    case IDM_HOMEPAGE:      OpenProductPage(FALSE); return TRUE;
    case IDM_FASTER:        SourceOnSpeed(band, 1); return FALSE;
    case IDM_SLOWER:        SourceOnSpeed(band, -1); return FALSE;
    case IDM_REFRESH:       SourceOnRefresh(band); return TRUE;
    case IDC_NEW_SERVER:    SourceOnNewServer(dialog); return TRUE;
    case IDC_REMOVE:        SourceOnRemove(dialog); return TRUE;
    case IDC_EDIT:          SourceOnEdit(dialog); return TRUE;
    case IDC_AS_DEFAULT:    SourceOnAsDefault(dialog); return TRUE;
    default:                return FALSE;
    }
}

static INT_PTR SourceOnNotify(HWND dialog, BandState *band, const NMHDR *header)
{
    if (header->idFrom == TOOLBAR_ID && header->code == TBN_DROPDOWN) {
        DWORD position = GetMessagePos();
        TrackPopupMenu(band->mainMenu, 0, (short)LOWORD(position), (short)HIWORD(position), 0, dialog, NULL);
        SetWindowLongPtrA(dialog, DWLP_MSGRESULT, TBDDRET_DEFAULT);
        return TRUE;
    }
    if (header->idFrom == IDC_SERVER_LIST && header->code == LVN_ITEMCHANGED) {
        const NMLISTVIEW *change = (const NMLISTVIEW *)header;
        BOOL selected = (change->uNewState & LVIS_SELECTED) != 0;
        EnableWindow(GetDlgItem(dialog, IDC_EDIT), selected);
        EnableWindow(GetDlgItem(dialog, IDC_REMOVE), selected);
        EnableWindow(GetDlgItem(dialog, IDC_AS_DEFAULT), selected);
        return TRUE;
    }
    return FALSE;
}

INT_PTR CALLBACK SourceDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_INITDIALOG:
        return SourceOnInitDialog(dialog, (BandState *)lParam);
    case WM_COMMAND:
        if (!DialogBand(dialog))
            return TRUE;
        return HIWORD(wParam) == 0 ? SourceOnCommand(dialog, DialogBand(dialog), LOWORD(wParam)) : FALSE;
    case WM_NOTIFY:
        if (!DialogBand(dialog))
            return TRUE;
        return SourceOnNotify(dialog, DialogBand(dialog), (const NMHDR *)lParam);
    case WM_CLOSE:
        ShowWindow(dialog, SW_HIDE);
        return TRUE;
    default:
        return FALSE;
    }
}

DWORD InitSettingsAndDialog(BandState *band, HWND *dialog)
{
    LoadBandSettings(band);
    HWND created = CreateDialogParamA(moduleHandle, MAKEINTRESOURCEA(IDD_SOURCES), GetDesktopWindow(),
                                      SourceDialogProc, (LPARAM)band);
    if (!created)
        return GetLastError();
    *dialog = created;
    return 0;
}

/* The ANSI length a row of this text is stored with, ';' escaped. */
static int StoredLength(const WCHAR *text)
{
    int length = WideCharToMultiByte(CP_ACP, 0, text, -1, NULL, 0, NULL, NULL);
    return length > 0 ? length - 1 : 0;
}

/* Whether url, in the place of the replaced row, still fits the saved list. */
static BOOL FitsServerList(const UrlInput *input)
{
    int rows = (int)SendMessageA(input->list, LVM_GETITEMCOUNT, 0, 0);
    SIZE_T total = (SIZE_T)StoredLength(input->url) + 1;
    for (int row = 0; row < rows; row++) {
        if (row == input->replacedRow)
            continue;
        char text[ROW_TEXT_SIZE];
        total += (SIZE_T)RowTextAnsi(input->list, row, text, sizeof(text)) + 1;
    }
    return total <= SERVER_LIST_SAVE_LIMIT;
}

/* Copies the edit's text with each ';' written as "%3B"; FALSE when that
   does not fit into the URL buffer. */
static BOOL ReadEscapedUrl(HWND dialog, WCHAR *url)
{
    WCHAR typed[URL_SIZE];
    GetDlgItemTextW(dialog, IDC_URL, typed, URL_SIZE);
    int at = 0;
    for (const WCHAR *c = typed; *c; c++) {
        const WCHAR *piece = *c == L';' ? ESCAPED_SEMICOLON : NULL;
        int length = piece ? 3 : 1;
        if (at + length >= URL_SIZE)
            return FALSE;
        if (piece)
            CopyMemory(url + at, piece, 3 * sizeof(WCHAR));
        else
            url[at] = *c;
        at += length;
    }
    url[at] = 0;
    return TRUE;
}

static void UrlInputOnOk(HWND dialog, UrlInput *input)
{
    WCHAR url[URL_SIZE];
    BOOL fits = ReadEscapedUrl(dialog, url);
    if (fits && input->list) {
        UrlInput candidate = *input;
        lstrcpynW(candidate.url, url, URL_SIZE);
        fits = FitsServerList(&candidate);
    }
    if (!fits) {
        /* Refused, not dropped: the dialog stays open and says why. */
        char reason[256];
        LoadStringA(moduleHandle, IDS_LIST_FULL, reason, sizeof(reason));
        SetDlgItemTextA(dialog, IDC_URL_PROMPT, reason);
        return;
    }
    lstrcpynW(input->url, url, URL_SIZE);
    EndDialog(dialog, 0);
}

INT_PTR CALLBACK UrlInputDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_INITDIALOG:
        SetWindowLongPtrA(dialog, DWLP_USER, lParam);
        SendDlgItemMessageW(dialog, IDC_URL, EM_LIMITTEXT, URL_SIZE - 1, 0);
        SetDlgItemTextW(dialog, IDC_URL, ((UrlInput *)lParam)->url);
        return TRUE;
    case WM_COMMAND:
        if (LOWORD(wParam) == IDOK) {
            UrlInputOnOk(dialog, (UrlInput *)GetWindowLongPtrA(dialog, DWLP_USER));
            return TRUE;
        }
        if (LOWORD(wParam) == IDCANCEL) {
            EndDialog(dialog, -1);
            return TRUE;
        }
        return FALSE;
    case WM_CLOSE:
        EndDialog(dialog, -1);
        return TRUE;
    default:
        return FALSE;
    }
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

/* The fonts are always 16 pixels high, so the chooser offers that one size. */
static INT FontPointSize(HWND owner)
{
    HDC dc = GetDC(owner);
    int dpi = dc ? GetDeviceCaps(dc, LOGPIXELSY) : 0;
    if (dc)
        ReleaseDC(owner, dc);
    return dpi > 0 ? 1152 / dpi : 12;
}

HRESULT PickFont(HWND owner, char *face, FontStyle *style)
{
    LOGFONTA font;
    ZeroMemory(&font, sizeof(font));
    font.lfHeight = 16;
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
    choice.nSizeMin = choice.nSizeMax = FontPointSize(owner);
    ChooseFontProc chooseFont = (ChooseFontProc)CommonDialogProc("ChooseFontA");
    if (!chooseFont || !chooseFont(&choice))
        return E_FAIL;
    lstrcpynA(face, font.lfFaceName, FONT_FACE_SIZE - 1);
    style->weight = font.lfWeight;
    style->italic = font.lfItalic ? 1 : 0;
    style->charSet = font.lfCharSet;
    return S_OK;
}
