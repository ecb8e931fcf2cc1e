/* The ticker window's procedure, on the window thread. The moving row is
   drawn by the rendering thread; this paints the status texts, shows the
   cursor that thread chose, answers the tooltip, and turns clicks on the
   hovered headline into opening its link. hoveredItem, hoveredNode and the
   item's hover bit change under it at any time; it reads them as they stand
   and holds its own reference to the node it acts on. */
#include "ticker/ticker.h"
#include "browser/browser.h"
#include "feeds/feeds.h"
#include "core/module.h"
#include "core/handoff.h"
#include "core/ids.h"
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

/* Only over the client area: the border keeps the system's cursor. */
static LRESULT TickerOnSetCursor(HWND window)
{
    TickerState *ticker = TickerFromWindow(window);
    if (!ticker)
        return FALSE;
    POINT cursor;
    RECT client;
    GetCursorPos(&cursor);
    GetClientRect(window, &client);
    MapWindowPoints(window, NULL, (POINT *)&client, 2);
    if (!PtInRect(&client, cursor))
        return FALSE;
    SetCursor(ticker->cursor);
    return TRUE;
}

static UINT StatusTextId(TickerState *ticker, BOOL loading)
{
    if (ticker->loadFailed)
        return IDS_LOAD_FAILED;
    return loading ? IDS_LOADING : IDS_INACTIVE;
}

static LRESULT TickerOnPaint(HWND window, WPARAM wParam, LPARAM lParam)
{
    TickerState *ticker = TickerFromWindow(window);
    /* Validated all the same, or the window would be asked to paint forever. */
    if (!ticker)
        return CallWindowProcA(DefWindowProcA, window, WM_PAINT, wParam, lParam);
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

/* A relative link is the document's to resolve: the one the item came
   from, not the feed chosen since. */
static void OpenItemLink(IXMLDOMNode *node, DWORD flags)
{
    BSTR link;
    if (GetFeedItemText(node, FEED_ITEM_LINK, &link) != S_OK)
        return;
    BSTR base = NULL;
    (void)GetFeedDocumentUrl(node, &base);   /* without it only absolute links open */
    BSTR url = NULL;
    if (ResolveLink(base, link, &url) == S_OK)
        OpenLink(url, flags);
    SysFreeString(url);
    SysFreeString(base);
    SysFreeString(link);
}

void OpenHoveredItem(TickerState *ticker)
{
    IXMLDOMNode *node = HoldHoveredNode(ticker);
    if (!node)
        return;
    OpenItemLink(node, 0);
    IXMLDOMNode_Release(node);
}

void ShowItemMenu(TickerState *ticker, HWND window)
{
    TickerItem *item = ticker->hoveredItem;
    IXMLDOMNode *node = HoldHoveredNode(ticker);
    if (!node)
        return;
    ticker->itemMenuOpen = 1;
    WakeRenderer(ticker);
    DWORD position = GetMessagePos();
    /* The menu's loop may see the last band object go, and the ticker with
       it; the held state cannot be freed meanwhile, so no new one can take
       its place, and a ticker of the state still in place is this one. */
    BandState *band = processBandState;
    HoldBandState(band);
    UINT command = (UINT)TrackPopupMenu(GetSubMenu(ticker->itemMenu, 0), TPM_RETURNCMD,
                                        (short)LOWORD(position), (short)HIWORD(position), 0,
                                        window, NULL);
    if (processBandState == band) {
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
    ReleaseBandState(band);
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
    if (GetFeedItemText(node, FEED_ITEM_DESCRIPTION, &description) == S_OK) {
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

/* The mouse moved or left: the hover may change. */
static LRESULT TickerOnMouse(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    TickerState *ticker = TickerFromWindow(window);
    if (ticker) {
        InterlockedIncrement(&ticker->cursorMoves);
        WakeRenderer(ticker);
        if (message == WM_MOUSEMOVE)
            TickerOnMouseMove(window, ticker);
        else
            ticker->cursorOver = 0;
    }
    return CallWindowProcA(DefWindowProcA, window, message, wParam, lParam);
}

static LRESULT TickerOnLeftButtonUp(HWND window)
{
    TickerState *ticker = TickerFromWindow(window);
    if (ticker)
        OpenHoveredItem(ticker);
    return 0;
}

static LRESULT TickerOnRightButtonUp(HWND window)
{
    TickerState *ticker = TickerFromWindow(window);
    if (ticker)
        ShowItemMenu(ticker, window);
    return 0;
}

static LRESULT TickerOnNotify(HWND window, NMHDR *header)
{
    TickerState *ticker = TickerFromWindow(window);
    if (ticker && header->code == TTN_GETDISPINFOA)
        return TickerOnGetDispInfo(ticker, (NMTTDISPINFOA *)header);
    return 0;
}

LRESULT CALLBACK TickerWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_CREATE:         return TickerOnCreate(window, (const CREATESTRUCTA *)lParam);
    case WM_TICKER_FOLLOW:  ActivateSitedBand(GetParent(window)); return 0;
    case WM_PAINT:          return TickerOnPaint(window, wParam, lParam);
    case WM_SETCURSOR:      return TickerOnSetCursor(window);
    case WM_MOUSEMOVE:
    case WM_MOUSELEAVE:     return TickerOnMouse(window, message, wParam, lParam);
    case WM_LBUTTONUP:      return TickerOnLeftButtonUp(window);
    case WM_RBUTTONUP:      return TickerOnRightButtonUp(window);
    case WM_NOTIFY:         return TickerOnNotify(window, (NMHDR *)lParam);
    default:                return CallWindowProcA(DefWindowProcA, window, message, wParam, lParam);
    }
}
