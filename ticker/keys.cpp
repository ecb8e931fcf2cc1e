/* The ticker window's keys, on the window thread: Left and Right step
   through the headlines (the row stands still and shows the one chosen as
   hovered), Enter opens it, the context-menu key and Shift+F10 open its
   menu, Space pauses and resumes. The window claims just these through
   WM_GETDLGCODE, so that a host asking first leaves every other key to the
   browser. The rendering thread publishes the hover a frame later; the
   keys that act on a headline act on that hover. */
#include "ticker/keys.h"
#include "ticker/ticker.h"
#include "core/handoff.h"
#include "core/ids.h"

static BOOL ShiftDown(void)
{
    return GetKeyState(VK_SHIFT) < 0;
}

static BOOL IsMenuKey(UINT message, WPARAM key)
{
    if (message == WM_SYSKEYDOWN || message == WM_SYSKEYUP)
        return key == VK_F10 && ShiftDown();
    return key == VK_APPS;
}

static BOOL WantsKey(const MSG *msg)
{
    switch (msg->message) {
    case WM_KEYDOWN:
    case WM_KEYUP:
        return msg->wParam == VK_LEFT || msg->wParam == VK_RIGHT || msg->wParam == VK_RETURN ||
               msg->wParam == VK_SPACE || msg->wParam == VK_APPS;
    case WM_SYSKEYDOWN:
    case WM_SYSKEYUP:
        return IsMenuKey(msg->message, msg->wParam);
    case WM_CHAR:
        /* What TranslateMessage makes of Space and Enter. */
        return msg->wParam == ' ' || msg->wParam == '\r';
    default:
        return FALSE;
    }
}

LRESULT TickerOnGetDlgCode(const MSG *msg)
{
    return msg && WantsKey(msg) ? DLGC_WANTMESSAGE : 0;
}

/* The next headline that is not hidden, from the one chosen, or the head
   when none is chosen yet. */
static LONG NextHeadline(const TickerState *ticker, LONG direction)
{
    LONG count = ticker->itemCount;
    LONG from = ticker->focusIndex;
    if (count <= 0)
        return -1;
    if (from < 0 || from >= count) {
        from = ticker->headIndex < count ? ticker->headIndex : 0;
        if (!(ticker->items[from].flags & ITEM_HIDDEN))
            return from;
    }
    return NextShownHeadline(ticker, from, direction);
}

static void StepHeadline(HWND window, TickerState *ticker, LONG direction)
{
    LONG index = NextHeadline(ticker, direction);
    if (index < 0)
        return;
    RequestHeadlineFocus(ticker, index);
    NotifyWinEvent(EVENT_OBJECT_FOCUS, window, OBJID_CLIENT, index + 1);
}

/* Under the headline the keys chose, or under the window's left edge. */
static DWORD KeyboardMenuPosition(HWND window, const TickerState *ticker)
{
    RECT client;
    GetClientRect(window, &client);
    POINT at = { 0, client.bottom };
    const TickerItem *item = ticker->hoveredItem;
    if (item && item->rect.left > 0)
        at.x = item->rect.left;
    ClientToScreen(window, &at);
    return MAKELONG((short)at.x, (short)at.y);
}

LRESULT TickerOnKeyDown(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    TickerState *ticker = TickerFromWindow(window);
    BOOL menuKey = IsMenuKey(message, wParam);
    if (!ticker || (message == WM_SYSKEYDOWN && !menuKey))
        return CallWindowProcA(DefWindowProcA, window, message, wParam, lParam);
    if (menuKey) {
        ShowItemMenu(ticker, window, KeyboardMenuPosition(window, ticker));
        return 0;
    }
    switch (wParam) {
    case VK_LEFT:   StepHeadline(window, ticker, -1); return 0;
    case VK_RIGHT:  StepHeadline(window, ticker, 1); return 0;
    case VK_RETURN: OpenHoveredItem(ticker); return 0;
    case VK_SPACE:  RequestPause(ticker, PAUSE_BY_KEY, !(ticker->pauseFlags & PAUSE_BY_KEY)); return 0;
    default:        return CallWindowProcA(DefWindowProcA, window, message, wParam, lParam);
    }
}

/* The key-ups of the menu keys would make a second menu out of
   DefWindowProc's WM_CONTEXTMENU; the characters of Space and Enter are
   used up. */
LRESULT TickerOnKeyOther(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    BOOL used = message == WM_CHAR ? (wParam == ' ' || wParam == '\r') : IsMenuKey(message, wParam);
    return used ? 0 : CallWindowProcA(DefWindowProcA, window, message, wParam, lParam);
}

/* A context menu asked for by another way than the keys above. */
LRESULT TickerOnContextMenu(HWND window, LPARAM lParam)
{
    TickerState *ticker = TickerFromWindow(window);
    if (!ticker)
        return 0;
    DWORD position = lParam == -1 ? KeyboardMenuPosition(window, ticker) : (DWORD)lParam;
    ShowItemMenu(ticker, window, position);
    return 0;
}

/* The band above hears of the focus through its toolbar, so that it can
   tell the browser; a step back into the row starts from the head again. */
LRESULT TickerOnFocus(HWND window, UINT message, HWND other)
{
    HWND toolbar = GetParent(window);
    BOOL focused = message == WM_SETFOCUS;
    TickerState *ticker = TickerFromWindow(window);
    if (ticker) {
        if (!focused)
            RequestHeadlineFocus(ticker, -1);
        ShowKeyboardFocus(ticker, focused);
    }
    BOOL inBand = focused || (other && (other == toolbar || IsChild(toolbar, other)));
    if (toolbar)
        SendMessageA(toolbar, WM_BAND_FOCUS, inBand, 0);
    return 0;
}
