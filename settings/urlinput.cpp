/* The URL input dialog (4100) of the source dialog's New server and Edit:
   it refuses a URL that would not fit into the saved list, and keeps ';',
   which ends an entry of the stored list, escaped. Runs on the browser's
   window thread, modal to the source dialog. */
#include "settings/dialog.h"
#include "core/module.h"
#include "resources/resource.h"
#include <commctrl.h>

/* ';' ends an entry of the stored list, so inside a URL it is kept escaped. */
static const WCHAR ESCAPED_SEMICOLON[] = L"%3B";

/* The ANSI length a row of this text is stored with, ';' escaped. */
static int StoredLength(const WCHAR *text)
{
    int length = WideCharToMultiByte(CP_ACP, 0, text, -1, NULL, 0, NULL, NULL);
    return length > 0 ? length - 1 : 0;
}

/* Whether url, in the place of the replaced row, still fits the saved list. */
static BOOL FitsServerList(const UrlInput *input, const WCHAR *url)
{
    int rows = (int)SendMessageA(input->list, LVM_GETITEMCOUNT, 0, 0);
    SIZE_T total = (SIZE_T)StoredLength(url) + 1;
    for (int row = 0; row < rows; row++) {
        if (row == input->replacedRow)
            continue;
        char text[ROW_TEXT_SIZE];
        total += (SIZE_T)ServerRowText(input->list, row, text, sizeof(text)) + 1;
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
    if (fits && input->list)
        fits = FitsServerList(input, url);
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
