/* The source management dialog (4000): the editor of the server list and the
   default feed, and the command window of the band's toolbar, which sends it
   the menu button's drop-down, the speed buttons and every command of menu
   600 (carried out in commands.cpp). Everything here runs on the browser's
   window thread.
   The input dialog, menus and boxes run modal loops that dispatch the
   browser's messages, so the last band may go during one, taking the process
   state and this dialog with it: the record is held across each loop, and
   what follows a loop acts only while both are still there. */
#include "settings/dialog.h"
#include "settings/settings.h"
#include "core/module.h"
#include "core/state.h"
#include "core/ids.h"
#include "resources/resource.h"
#include <commctrl.h>


/* The dialog's property that holds its keyboard hook. */
static const char KEYS_HOOK_PROPERTY[] = "velmora dialog keys";

static BandState *DialogBand(HWND dialog)
{
    return (BandState *)GetWindowLongPtrA(dialog, DWLP_USER);
}

/* The first selected row from the top, or -1. */
static int SelectedRow(HWND list)
{
    return (int)SendMessageA(list, LVM_GETNEXTITEM, (WPARAM)-1, LVNI_SELECTED);
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

/* Modeless, the dialog gets Tab, Enter, Esc and its '&' keys only if the
   thread's message loop hands them to IsDialogMessage. The browser's loop
   knows nothing of it, so a hook on the thread does, for as long as the
   dialog exists. Each dialog has a hook; the first to handle a key voids it. */
static LRESULT CALLBACK DialogKeysHook(int code, WPARAM wParam, LPARAM lParam)
{
    MSG *msg = (MSG *)lParam;
    if (code == HC_ACTION && wParam == PM_REMOVE && msg->hwnd &&
        msg->message >= WM_KEYFIRST && msg->message <= WM_KEYLAST) {
        HWND root = GetAncestor(msg->hwnd, GA_ROOT);
        if (root && GetPropA(root, KEYS_HOOK_PROPERTY) && IsDialogMessageA(root, msg))
            msg->message = WM_NULL;
    }
    return CallNextHookEx(NULL, code, wParam, lParam);
}

static void HookDialogKeys(HWND dialog)
{
    HHOOK hook = SetWindowsHookExA(WH_GETMESSAGE, DialogKeysHook, NULL, GetCurrentThreadId());
    if (hook && !SetPropA(dialog, KEYS_HOOK_PROPERTY, (HANDLE)hook))
        UnhookWindowsHookEx(hook);
}

static void UnhookDialogKeys(HWND dialog)
{
    HHOOK hook = (HHOOK)RemovePropA(dialog, KEYS_HOOK_PROPERTY);
    if (hook)
        UnhookWindowsHookEx(hook);
}

static BOOL SourceOnInitDialog(HWND dialog, BandState *band)
{
    SetWindowLongPtrA(dialog, DWLP_USER, (LONG_PTR)band);
    HookDialogKeys(dialog);
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
    SettingsFilePath(path);
    LoadStringA(moduleHandle, IDS_DEFAULT_FEED, show, sizeof(show));
    if (path[0])
        GetPrivateProfileStringA("Servers", "show", show, show, ROW_TEXT_SIZE, path);
    SetDlgItemTextA(dialog, IDC_DEFAULT_FEED, show);
    SetDlgItemInt(dialog, IDC_REFRESH, band ? (UINT)band->refreshMinutes : 0, FALSE);
    /* No focus while hidden: setting it would activate the hidden dialog
       and take the foreground from the browser window, whose ticker then
       idles. The dialog manager gives the focus when the dialog is shown. */
    return FALSE;
}

/* The rows from the top, each followed by ';', then two NULs, into joined
   (SERVER_LIST_SAVE_LIMIT + 2 bytes); FALSE when they do not fit whole. Each
   row is fetched with room for one character more than may follow, so a row
   that does not fit shows itself rather than being cut. Entering a row that
   does not fit is refused already; a list read from a file written by other
   means may still be longer. */
static BOOL JoinRows(HWND list, char *joined)
{
    int rows = (int)SendMessageA(list, LVM_GETITEMCOUNT, 0, 0);
    SIZE_T at = 0;
    for (int row = 0; row < rows; row++) {
        SIZE_T room = SERVER_LIST_SAVE_LIMIT - at;      /* the row and its ';' */
        if (room < 2)
            return FALSE;
        int length = ServerRowText(list, row, joined + at, (int)room + 1);
        if (length <= 0)
            continue;
        if ((SIZE_T)length >= room)
            return FALSE;
        at += length;
        joined[at++] = ';';
    }
    joined[at] = 0;
    joined[at + 1] = 0;
    return TRUE;
}

/* The list in memory and in the file stays as it was; the dialog stays open. */
static void RefuseLongList(HWND dialog, BandState *band)
{
    char text[512], caption[64];
    LoadStringA(moduleHandle, IDS_LIST_TOO_LONG, text, sizeof(text));
    LoadStringA(moduleHandle, IDS_PRODUCT_NAME, caption, sizeof(caption));
    HoldBandState(band);
    MessageBoxA(dialog, text, caption, MB_OK | MB_ICONEXCLAMATION);
    ReleaseBandState(band);
}

/* FALSE when the rows cannot be saved whole; nothing is written then. */
static BOOL SaveServerList(HWND dialog, BandState *band, const char *path)
{
    if (!band->serverList)
        return TRUE;
    char *joined = (char *)GlobalAlloc(GMEM_FIXED, SERVER_LIST_SAVE_LIMIT + 2);
    if (!joined)
        return FALSE;
    BOOL whole = JoinRows(GetDlgItem(dialog, IDC_SERVER_LIST), joined);
    if (whole) {
        CopyMemory(band->serverList, joined, lstrlenA(joined) + 2);
        if (path[0])
            (void)WritePrivateProfileStringA("Servers", "Servers", band->serverList, path);
    }
    GlobalFree(joined);
    return whole;
}

static void SourceOnOk(HWND dialog, BandState *band)
{
    char path[SETTINGS_PATH_SIZE + 1];
    SettingsFilePath(path);
    if (!SaveServerList(dialog, band, path)) {
        RefuseLongList(dialog, band);
        return;
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
        PostMessageA(band->bandWindow, WM_FEEDLIST_FILL, 0, 0);
    ShowWindow(dialog, SW_HIDE);
}

/* Owned by this dialog, so that its rows cannot change under an Edit. */
static BOOL RunUrlInput(HWND dialog, BandState *band, UrlInput *input)
{
    HoldBandState(band);
    INT_PTR result = DialogBoxParamA(moduleHandle, MAKEINTRESOURCEA(IDD_URL_INPUT), dialog,
                                     UrlInputDialogProc, (LPARAM)input);
    BOOL entered = result == 0 && input->url[0] != 0 && OutlivedModalLoop(dialog, band);
    ReleaseBandState(band);
    return entered;
}

static void SourceOnNewServer(HWND dialog, BandState *band)
{
    UrlInput input;
    input.url[0] = 0;
    input.list = GetDlgItem(dialog, IDC_SERVER_LIST);
    input.replacedRow = -1;
    if (RunUrlInput(dialog, band, &input))
        SetRowText(input.list, 0, input.url, TRUE);
}

static void SourceOnEdit(HWND dialog, BandState *band)
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
    if (RunUrlInput(dialog, band, &input))
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
    ServerRowText(list, row, text, sizeof(text));
    SetDlgItemTextA(dialog, IDC_DEFAULT_FEED, text);
}

static INT_PTR SourceOnCommand(HWND dialog, BandState *band, UINT id)
{
    switch (id) {
    case IDOK:              SourceOnOk(dialog, band); return TRUE;
    case IDCANCEL:          ShowWindow(dialog, SW_HIDE); return TRUE;
    case IDM_SOURCES:       ShowWindow(dialog, SW_SHOW); return TRUE;
    case IDM_FONT:          ChooseTickerFont(dialog, band); return TRUE;
    case IDM_TEXTCOLOR:     ChooseTickerColor(dialog, band, &band->textColor, "Textcolor"); return TRUE;
    case IDM_LINKCOLOR:     ChooseTickerColor(dialog, band, &band->linkColor, "Linkcolor"); return TRUE;
    case IDM_BACKCOLOR:     ChooseTickerColor(dialog, band, &band->backColor, "Backcolor"); return TRUE;
    case IDM_HELP:          OpenProductPage(TRUE); return TRUE;
    case IDM_HOMEPAGE:      OpenProductPage(FALSE); return TRUE;
    case IDM_FASTER:        StepSpeed(band, 1); return FALSE;
    case IDM_SLOWER:        StepSpeed(band, -1); return FALSE;
    case IDM_REFRESH:       RefreshNow(band); return TRUE;
    case IDC_NEW_SERVER:    SourceOnNewServer(dialog, band); return TRUE;
    case IDC_REMOVE:        SourceOnRemove(dialog); return TRUE;
    case IDC_EDIT:          SourceOnEdit(dialog, band); return TRUE;
    case IDC_AS_DEFAULT:    SourceOnAsDefault(dialog); return TRUE;
    case IDM_PAUSE:         TogglePause(band); return TRUE;
    default:                return FALSE;
    }
}

static INT_PTR SourceOnNotify(HWND dialog, BandState *band, const NMHDR *header)
{
    if (header->idFrom == TOOLBAR_ID && header->code == TBN_DROPDOWN) {
        ShowBandMenu(dialog, band, (const NMTOOLBARA *)header);
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
    case WM_DESTROY:
        UnhookDialogKeys(dialog);
        return FALSE;
    default:
        return FALSE;
    }
}

/* Owned by the band's browser window, so that the dialog and its choosers
   stay with that window, and go with it. */
DWORD InitSettingsAndDialog(BandState *band, HWND owner, HWND *dialog)
{
    LoadBandSettings(band);
    HWND created = CreateDialogParamA(moduleHandle, MAKEINTRESOURCEA(IDD_SOURCES),
                                      owner ? owner : GetDesktopWindow(), SourceDialogProc, (LPARAM)band);
    if (!created)
        return GetLastError();
    *dialog = created;
    return 0;
}

