/* The ticker window's procedure, on the window thread. The moving row is
   drawn by the rendering thread; this paints the status texts, shows the
   cursor that thread chose, answers the tooltip, and turns clicks on the
   hovered headline into opening its link. hoveredItem, hoveredNode and the
   item's hover bit change under it at any time; it reads them as they stand
   and holds its own reference to the node it acts on. */
#include "ticker/ticker.h"
#include "ticker/keys.h"
#include "ticker/access.h"
#include "feeds/feeds.h"
#include "core/module.h"
#include "core/handoff.h"
#include "core/ids.h"
#include "core/display.h"
#include "resources/resource.h"
#include <commctrl.h>

#define STATUS_TEXT_SIZE 255
#define DESCRIPTION_BYTES (TICKER_TIP_SIZE - 1)

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

/* Black on white, or the system's colours in high contrast; with the
   keyboard focus a focus rectangle around it all. */
static void PaintStatusText(HWND window, HDC dc, const RECT *update, UINT id)
{
    TickerState *ticker = TickerFromWindow(window);
    BOOL contrast = HighContrastOn();
    FillRect(dc, update, contrast ? GetSysColorBrush(COLOR_WINDOW) : (HBRUSH)GetStockObject(WHITE_BRUSH));
    char text[STATUS_TEXT_SIZE];
    LoadStringA(moduleHandle, id, text, sizeof(text));
    RECT client;
    GetClientRect(window, &client);
    HGDIOBJ oldFont = SelectObject(dc, ticker->textFont);
    if (contrast) {
        SetTextColor(dc, GetSysColor(COLOR_WINDOWTEXT));
        SetBkColor(dc, GetSysColor(COLOR_WINDOW));
    }
    DrawTextA(dc, text, -1, &client, DT_CENTER | DT_VCENTER);
    SelectObject(dc, oldFont);
    if (ticker->hasFocus)
        DrawFocusRect(dc, &client);
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
    if (dc && !drawnByRenderer)
        PaintStatusText(window, dc, &paint.rcPaint, StatusTextId(ticker, loading));
    EndPaint(window, &paint);
    return 0;
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

/* The mouse moved or left: the hover may change. A mouse that really
   moves takes the row back from the keys. */
static LRESULT TickerOnMouse(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    static LPARAM lastPosition = -1;
    TickerState *ticker = TickerFromWindow(window);
    if (ticker) {
        if (message == WM_MOUSEMOVE && lParam != lastPosition && ticker->focusIndex >= 0)
            RequestHeadlineFocus(ticker, -1);
        if (message == WM_MOUSEMOVE)
            lastPosition = lParam;
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
        ShowItemMenu(ticker, window, GetMessagePos());
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
    case WM_GETDLGCODE:     return TickerOnGetDlgCode((const MSG *)lParam);
    case WM_KEYDOWN:
    case WM_SYSKEYDOWN:     return TickerOnKeyDown(window, message, wParam, lParam);
    case WM_KEYUP:
    case WM_SYSKEYUP:
    case WM_CHAR:           return TickerOnKeyOther(window, message, wParam, lParam);
    case WM_CONTEXTMENU:    return TickerOnContextMenu(window, lParam);
    case WM_SETFOCUS:
    case WM_KILLFOCUS:      return TickerOnFocus(window, message, (HWND)wParam);
    case WM_GETOBJECT:      return TickerOnGetObject(window, wParam, lParam);
    default:                return CallWindowProcA(DefWindowProcA, window, message, wParam, lParam);
    }
}
