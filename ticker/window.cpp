/* The ticker window's procedure, on the window thread. The moving row is
   drawn by the rendering thread; this paints the status texts, shows the
   cursor that thread chose, answers the tooltip, and turns clicks on the
   hovered headline into opening its link. hoveredItem and the item's hover
   bit change under it at any time; it reads them as they stand. */
#include "ticker/ticker.h"
#include "browser/browser.h"
#include "feeds/feeds.h"
#include "band/module.h"
#include "resources/resource.h"
#include <commctrl.h>

#define STATUS_TEXT_SIZE 255
#define DESCRIPTION_BYTES (TICKER_TIP_SIZE - 1)

static TickerState *TickerFromWindow(HWND window)
{
    return (TickerState *)GetWindowLongPtrA(window, GWLP_USERDATA);
}

static LRESULT TickerOnCreate(HWND window, const CREATESTRUCTA *create)
{
    BandState *band = (BandState *)create->lpCreateParams;
    if (band && band->ticker) {
        SetWindowLongPtrA(window, GWLP_USERDATA, (LONG_PTR)band->ticker);
        band->ticker->band = band;
    }
    return 0;
}

static void TickerOnMouseMove(HWND window, TickerState *ticker)
{
    if (ticker->cursorOver)
        return;
    TRACKMOUSEEVENT track = { sizeof(track), TME_LEAVE, window, 0 };
    if (TrackMouseEvent(&track))
        ticker->cursorOver = 1;
}

static LRESULT TickerOnSetCursor(HWND window, TickerState *ticker)
{
    POINT cursor;
    RECT client;
    GetCursorPos(&cursor);
    GetClientRect(window, &client);
    MapWindowPoints(window, NULL, (POINT *)&client, 2);
    if (PtInRect(&client, cursor)) {
        SetCursor(ticker->cursor);
        return TRUE;
    }
    return FALSE;
}

static UINT StatusTextId(TickerState *ticker, BOOL loading)
{
    if (ticker->loadFailed)
        return IDS_LOAD_FAILED;
    return loading ? IDS_LOADING : IDS_INACTIVE;
}

static LRESULT TickerOnPaint(HWND window, TickerState *ticker)
{
    BOOL loading = WaitForSingleObject(ticker->loadingEvent, 0) != WAIT_OBJECT_0;
    PAINTSTRUCT paint;
    HDC dc = BeginPaint(window, &paint);
    BandState *band = ticker->band;
    BOOL drawnByRenderer = !loading && !ticker->loadFailed && band &&
                           GetForegroundWindow() == band->topWindow;
    if (dc && !drawnByRenderer) {
        FillRect(dc, &paint.rcPaint, (HBRUSH)GetStockObject(WHITE_BRUSH));
        char text[STATUS_TEXT_SIZE];
        LoadStringA(moduleHandle, StatusTextId(ticker, loading), text, sizeof(text));
        RECT client;
        GetClientRect(window, &client);
        HGDIOBJ oldFont = SelectObject(dc, ticker->textFont);
        DrawTextA(dc, text, -1, &client, DT_CENTER | DT_VCENTER);
        SelectObject(dc, oldFont);
    }
    EndPaint(window, &paint);
    return 0;
}

static void OpenItemLink(IXMLDOMNode *node, DWORD flags)
{
    BSTR link;
    if (GetChildText(node, L"link", &link) != S_OK)
        return;
    OpenLink(link, flags);
    SysFreeString(link);
}

void OpenHoveredItem(TickerState *ticker, HWND window, int x, int y)
{
    (void)window;
    (void)x;
    (void)y;
    TickerItem *item = ticker->hoveredItem;
    if (item && item->node)
        OpenItemLink(item->node, 0);
}

void ShowItemMenu(TickerState *ticker, HWND window, int x, int y)
{
    (void)x;
    (void)y;
    TickerItem *item = ticker->hoveredItem;
    IXMLDOMNode *node = item ? item->node : NULL;
    if (!node)
        return;
    /* The menu may stay open across a reload; the item's node is held meanwhile. */
    IXMLDOMNode_AddRef(node);
    DWORD position = GetMessagePos();
    UINT command = (UINT)TrackPopupMenu(GetSubMenu(ticker->itemMenu, 0), TPM_RETURNCMD,
                                        (short)LOWORD(position), (short)HIWORD(position), 0,
                                        window, NULL);
    if (command == IDM_ITEM_NEWWINDOW) {
        OpenItemLink(node, OPEN_IN_NEW_WINDOW);
    } else if (command == IDM_ITEM_HIDE && item->node == node) {
        /* The rendering thread changes the hover bit of the same word. */
        InterlockedOr(&item->flags, ITEM_HIDDEN | ITEM_HIDDEN_BY_USER);
    }
    IXMLDOMNode_Release(node);
}

/* Converts as much of text as fits whole into size bytes with its terminator. */
static void CopyDescription(char *buffer, int size, const WCHAR *text)
{
    int length = lstrlenW(text);
    while (length > 0 &&
           WideCharToMultiByte(CP_ACP, 0, text, length, NULL, 0, NULL, NULL) > size - 1) {
        length = length > 64 ? length - length / 8 : length - 1;
        if (length > 0 && IS_HIGH_SURROGATE(text[length - 1]))
            length--;
    }
    int written = length > 0 ? WideCharToMultiByte(CP_ACP, 0, text, length, buffer, size - 1, NULL, NULL) : 0;
    buffer[written] = 0;
}

static LRESULT TickerOnGetDispInfo(TickerState *ticker, NMTTDISPINFOA *info)
{
    TickerItem *item = ticker->hoveredItem;
    IXMLDOMNode *node = item ? item->node : NULL;
    if (!node)
        return 0;
    BSTR description;
    if (GetChildText(node, L"description", &description) == S_OK) {
        CopyDescription(ticker->tipText, TICKER_TIP_SIZE, description);
        SysFreeString(description);
    } else {
        LoadStringA(moduleHandle, IDS_NO_DESCRIPTION, ticker->tipText, 1023);
    }
    info->lpszText = ticker->tipText;
    info->hinst = NULL;
    return 0;
}

LRESULT CALLBACK TickerWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_CREATE)
        return TickerOnCreate(window, (const CREATESTRUCTA *)lParam);
    TickerState *ticker;
    switch (message) {
    case WM_SETCURSOR:
    case WM_PAINT:
    case WM_LBUTTONUP:
    case WM_RBUTTONUP:
    case WM_NOTIFY:
        ticker = TickerFromWindow(window);
        if (!ticker)
            return 0;
        break;
    case WM_MOUSEMOVE:
    case WM_MOUSELEAVE:
        ticker = TickerFromWindow(window);
        if (ticker && message == WM_MOUSEMOVE)
            TickerOnMouseMove(window, ticker);
        else if (ticker)
            ticker->cursorOver = 0;
        return CallWindowProcA(DefWindowProcA, window, message, wParam, lParam);
    default:
        return CallWindowProcA(DefWindowProcA, window, message, wParam, lParam);
    }
    switch (message) {
    case WM_SETCURSOR:
        return TickerOnSetCursor(window, ticker);
    case WM_PAINT:
        return TickerOnPaint(window, ticker);
    case WM_LBUTTONUP:
        OpenHoveredItem(ticker, window, (short)LOWORD(lParam), (short)HIWORD(lParam));
        return 0;
    case WM_RBUTTONUP:
        ShowItemMenu(ticker, window, (short)LOWORD(lParam), (short)HIWORD(lParam));
        return 0;
    default:
        if (((NMHDR *)lParam)->code == TTN_GETDISPINFOA)
            return TickerOnGetDispInfo(ticker, (NMTTDISPINFOA *)lParam);
        return 0;
    }
}
