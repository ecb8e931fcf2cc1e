/* The ticker window's procedure, on the window thread. The moving row is
   drawn by the rendering thread; this paints the status texts, shows the
   cursor that thread chose, answers the tooltip, and turns clicks on the
   hovered headline into opening its link. hoveredItem, hoveredNode and the
   item's hover bit change under it at any time; it reads them as they stand
   and holds its own reference to the node it acts on. */
#include "ticker/ticker.h"
#include "browser/browser.h"
#include "feeds/feeds.h"
#include "band/module.h"
#include "resources/resource.h"
#include <commctrl.h>

#define STATUS_TEXT_SIZE 255
#define DESCRIPTION_BYTES (TICKER_TIP_SIZE - 1)

/* A window can outlive the last band object and with it the record whose
   address it keeps; only the live record is used. */
static BOOL TickerIsLive(const TickerState *ticker)
{
    return ticker && processBandState && processBandState->ticker == ticker;
}

static TickerState *TickerFromWindow(HWND window)
{
    TickerState *ticker = (TickerState *)GetWindowLongPtrA(window, GWLP_USERDATA);
    return TickerIsLive(ticker) ? ticker : NULL;
}

BOOL CursorInsideWindow(HWND window, POINT *cursor)
{
    RECT rect;
    if (!GetWindowRect(window, &rect) || !GetCursorPos(cursor))
        return FALSE;
    return cursor->x >= rect.left && cursor->x <= rect.right &&
           cursor->y >= rect.top && cursor->y <= rect.bottom;
}

/* The hovered headline's node with a reference for the caller, or null. */
static IXMLDOMNode *HoldHoveredNode(TickerState *ticker)
{
    IXMLDOMNode *node = ticker->hoveredNode;
    if (node)
        IXMLDOMNode_AddRef(node);
    return node;
}

/* A row that stands still waits for a message; anything that can change
   it without moving it wakes the rendering thread. */
void WakeRenderer(TickerState *ticker)
{
    PostThreadMessageA(GetThreadId(ticker->renderThread), WM_NULL, 0, 0);
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
    if (drawnByRenderer) {
        InterlockedExchange(&ticker->rowExposed, 1);
        WakeRenderer(ticker);
    }
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
    IXMLDOMNode *node = HoldHoveredNode(ticker);
    if (!node)
        return;
    OpenItemLink(node, 0);
    IXMLDOMNode_Release(node);
}

void ShowItemMenu(TickerState *ticker, HWND window, int x, int y)
{
    (void)x;
    (void)y;
    TickerItem *item = ticker->hoveredItem;
    IXMLDOMNode *node = HoldHoveredNode(ticker);
    if (!node)
        return;
    ticker->itemMenuOpen = 1;
    WakeRenderer(ticker);
    DWORD position = GetMessagePos();
    UINT command = (UINT)TrackPopupMenu(GetSubMenu(ticker->itemMenu, 0), TPM_RETURNCMD,
                                        (short)LOWORD(position), (short)HIWORD(position), 0,
                                        window, NULL);
    /* The menu's loop may have seen the last band object go, and the record with it. */
    if (TickerIsLive(ticker)) {
        ticker->itemMenuOpen = 0;
        /* A reload during the menu may have put another headline into the slot. */
        if (command == IDM_ITEM_HIDE && item && item->node == node) {
            InterlockedOr(&item->flags, ITEM_HIDDEN | ITEM_HIDDEN_BY_USER);
            InterlockedIncrement(&ticker->hides);
        }
        WakeRenderer(ticker);
    }
    if (command == IDM_ITEM_NEWWINDOW)
        OpenItemLink(node, OPEN_IN_NEW_WINDOW);
    IXMLDOMNode_Release(node);
}

static LRESULT TickerOnGetDispInfo(TickerState *ticker, NMTTDISPINFOA *info)
{
    /* Without its buffer the tooltip keeps what it has. */
    if (!ticker->tipText)
        return 0;
    LONG serial = ticker->hoverSerial;
    IXMLDOMNode *node = HoldHoveredNode(ticker);
    if (!node)
        return 0;
    /* The tooltip asks at every show and move; the text stands for the hover. */
    if (!(serial & 1) && serial == ticker->hoverSerial && serial == ticker->tipSerial) {
        IXMLDOMNode_Release(node);
        info->lpszText = ticker->tipText;
        info->hinst = NULL;
        return 0;
    }
    ticker->tipSerial = serial == ticker->hoverSerial ? serial : -1;
    BSTR description;
    if (GetChildText(node, L"description", &description) == S_OK) {
        WideToAnsiCut(description, ticker->tipText, DESCRIPTION_BYTES);
        SysFreeString(description);
    } else {
        LoadStringA(moduleHandle, IDS_NO_DESCRIPTION, ticker->tipText, 1023);
    }
    IXMLDOMNode_Release(node);
    info->lpszText = ticker->tipText;
    info->hinst = NULL;
    return 0;
}

LRESULT CALLBACK TickerWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_CREATE)
        return TickerOnCreate(window, (const CREATESTRUCTA *)lParam);
    if (message == WM_TICKER_FOLLOW) {
        ActivateSitedBand(GetParent(window));
        return 0;
    }
    TickerState *ticker;
    switch (message) {
    case WM_PAINT:
        ticker = TickerFromWindow(window);
        /* Validated all the same, or the window would be asked to paint forever. */
        if (!ticker)
            return CallWindowProcA(DefWindowProcA, window, message, wParam, lParam);
        break;
    case WM_SETCURSOR:
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
        if (ticker) {
            InterlockedIncrement(&ticker->cursorMoves);
            WakeRenderer(ticker);
        }
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
