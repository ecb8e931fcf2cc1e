/* The rendering thread: loads feeds, owns the item list and the tooltip
   window, and draws the scrolling row into the ticker window of the active
   band. The ticker window belongs to the window thread; this thread only
   draws into it, posts to it, and waits for it during the repaints it asks
   for and the tooltip's text requests. The tooltip is a top-level window of
   this thread, so every wait here answers the thread's messages: a program
   that broadcasts (a settings change, DDE) waits for every top-level window. */
#include "ticker/ticker.h"
#include "ticker/scroll.h"
#include "band/module.h"
#include "toolbar/ids.h"
#include <commctrl.h>
#include <ddraw.h>
#include <stddef.h>

/* The tool record as far as its lParam (44 bytes, 64 in a 64-bit build):
   the size every version of the tooltip control accepts. */
#define TOOLINFO_SIZE (offsetof(TTTOOLINFOA, lParam) + sizeof(LPARAM))
static_assert(TOOLINFO_SIZE == (sizeof(void *) == 4 ? 44 : 64), "tool record layout");

enum { WAIT_LOAD = 0, WAIT_EXIT = 1, WAIT_TARGET = 2 };
enum RenderNext { NEXT_FRAME, NEXT_ATTACH, NEXT_END };

#define MAX_ROW_SEGMENTS    4096
#define FAILED_LOAD_RETRY_MS    60000
#define MAX_SPEED           16

static const WCHAR SEPARATOR[] = L" +++ ";

struct Renderer {
    BandState *band;
    TickerState *ticker;
    HWND tooltip;
    IDirectDraw *directDraw;
    HANDLE waitSet[3];
    HWND tickerWindow;
    ScrollState scroll;
    LONG step;
    BOOL hoverSeen;
    BOOL tipShown;
    BOOL idleRepaintDone;
    SIZE separator;
    /* The off-screen row, kept from frame to frame while the client size
       stays: making a compatible bitmap costs more than drawing the row. */
    HCURSOR arrowCursor;
    HCURSOR handCursor;
    HDC frameDc;
    HBITMAP frameBitmap;
    HGDIOBJ frameOldBitmap;
    SIZE frameSize;
    HFONT rowFont;       /* what the row last selected into the frame */
    COLORREF rowColor;
};

static HWND CreateTooltipWindow(void)
{
    HWND tooltip = CreateWindowExA(WS_EX_TOPMOST, TOOLTIPS_CLASSA, NULL, WS_POPUP,
                                   CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT,
                                   NULL, NULL, moduleHandle, NULL);
    if (!tooltip)
        return NULL;
    SetWindowPos(tooltip, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    RECT margin = { 8, 6, 8, 6 };
    SendMessageA(tooltip, TTM_SETMARGIN, 0, (LPARAM)&margin);
    SendMessageA(tooltip, TTM_SETMAXTIPWIDTH, 0, 512);
    return tooltip;
}

static void FillToolInfo(TTTOOLINFOA *tool, HWND tickerWindow)
{
    ZeroMemory(tool, sizeof(*tool));
    tool->cbSize = TOOLINFO_SIZE;
    tool->hwnd = tickerWindow;
    tool->uId = (UINT_PTR)tickerWindow;
}

static void TrackTooltip(Renderer *r, BOOL active)
{
    TTTOOLINFOA tool;
    FillToolInfo(&tool, r->tickerWindow);
    SendMessageA(r->tooltip, TTM_TRACKACTIVATE, active, (LPARAM)&tool);
}

static void HideTip(Renderer *r)
{
    if (r->tipShown)
        TrackTooltip(r, FALSE);
    r->tipShown = FALSE;
}

/* Waits like WaitForMultipleObjects (count may be 0: a sleep), answering
   this thread's messages meanwhile. */
static DWORD WaitAnswering(DWORD count, const HANDLE *handles, DWORD timeoutMs)
{
    DWORD start = GetTickCount();
    for (;;) {
        DWORD left = timeoutMs;
        if (timeoutMs != INFINITE) {
            DWORD spent = GetTickCount() - start;
            left = spent < timeoutMs ? timeoutMs - spent : 0;
        }
        DWORD woken = MsgWaitForMultipleObjectsEx(count, handles, left, QS_ALLINPUT,
                                                  MWMO_INPUTAVAILABLE);
        if (woken != WAIT_OBJECT_0 + count)
            return woken;
        MSG msg;
        while (PeekMessageA(&msg, NULL, 0, 0, PM_REMOVE))
            DispatchMessageA(&msg);
    }
}

/* The stored speed stays as written; a hand-edited value out of range would
   push the row off to the right (negative) or overflow the scroll arithmetic. */
static LONG CurrentSpeed(const Renderer *r)
{
    LONG speed = r->band->speed;
    return speed < 0 ? 0 : speed > MAX_SPEED ? MAX_SPEED : speed;
}

static BOOL CursorInWindow(const TickerState *ticker, HWND window)
{
    POINT cursor;
    return ticker->cursorOver && window && CursorInsideWindow(window, &cursor);
}

/* hoveredItem and its node for the window thread. The node's own reference
   keeps it whatever the list does; the list (or the retired list) holds it
   too, so the window thread can still take a reference of its own after
   reading the pointer. */
static void PublishHover(TickerState *t, TickerItem *item)
{
    IXMLDOMNode *node = item ? item->node : NULL;
    if (node)
        IXMLDOMNode_AddRef(node);
    t->hoveredItem = item;
    IXMLDOMNode *old = (IXMLDOMNode *)InterlockedExchangePointer((void *volatile *)&t->hoveredNode, node);
    if (old)
        IXMLDOMNode_Release(old);
}

static void Reload(Renderer *r)
{
    PublishHover(r->ticker, NULL);
    (void)LoadFeed(r->ticker, r->tickerWindow);
}

static RenderNext Attach(Renderer *r, BOOL reload)
{
    /* The tip belongs to the tool of the window being left. */
    HideTip(r);
    r->tickerWindow = GetDlgItem(r->band->bandWindow, TICKER_ID);
    TTTOOLINFOA tool;
    FillToolInfo(&tool, r->tickerWindow);
    tool.uFlags = TTF_IDISHWND | TTF_TRACK | TTF_ABSOLUTE;
    tool.hinst = moduleHandle;
    tool.lpszText = LPSTR_TEXTCALLBACKA;
    /* Each window is registered once, however often it becomes the target again. */
    SendMessageA(r->tooltip, TTM_DELTOOLA, 0, (LPARAM)&tool);
    SendMessageA(r->tooltip, TTM_ADDTOOLA, 0, (LPARAM)&tool);
    /* With no active band there is no toolbar to ask; a post to no window
       would land in this thread's own queue. */
    if (r->band->bandWindow)
        PostMessageA(r->band->bandWindow, WM_FEEDLIST_RESELECT, 0, 0);
    if (WaitForSingleObject(r->ticker->exitEvent, 0) == WAIT_OBJECT_0)
        return NEXT_END;
    r->scroll.offset = 0;
    r->scroll.separatorPhase = FALSE;
    r->hoverSeen = FALSE;
    /* A list that failed to load is tried again once there is a window to
       show the attempt in, but not at every tab switch: without a network
       each try blocks this thread in a download. */
    TickerState *t = r->ticker;
    if (reload || (t->loadFailed && GetTickCount() - t->loadFailedAt >= FAILED_LOAD_RETRY_MS))
        Reload(r);
    return NEXT_FRAME;
}

static BOOL IsIdle(const Renderer *r, BOOL foreground)
{
    /* After a failed load the window's own text says so; nothing is drawn over it. */
    return !foreground || !IsWindowEnabled(r->tickerWindow) || r->ticker->loadFailed;
}

static RenderNext IdleFrame(Renderer *r)
{
    /* Wakes once a second to look at the events; the exit event ends it sooner. */
    if (WaitAnswering(1, &r->ticker->exitEvent, 1000) == WAIT_OBJECT_0)
        return NEXT_END;
    if (!r->idleRepaintDone && r->tickerWindow) {
        r->idleRepaintDone = TRUE;
        InvalidateRect(r->tickerWindow, NULL, TRUE);
        UpdateWindow(r->tickerWindow);
    }
    return NEXT_FRAME;
}

static void HoverItem(Renderer *r, TickerItem *item)
{
    TickerState *t = r->ticker;
    t->cursor = r->handCursor;
    r->hoverSeen = TRUE;
    BOOL newItem = FALSE;
    if (!(t->hoverFlags & 1)) {
        PublishHover(t, item);
        t->hoverFlags |= 1;
        r->step = 0;
        newItem = TRUE;
    } else if (t->hoveredItem != item) {
        /* Another headline came under a cursor that did not move (the row
           closed up behind a hidden one): the hover follows it, so clicks
           and the tooltip never act on a headline the cursor has left. */
        PublishHover(t, item);
        newItem = TRUE;
    }
    /* The item menu opens where the tooltip stands; the hover goes on. */
    if (t->itemMenuOpen) {
        HideTip(r);
        return;
    }
    if (newItem || !r->tipShown) {
        TrackTooltip(r, TRUE);
        r->tipShown = TRUE;
    }
    POINT cursor;
    GetCursorPos(&cursor);
    LONG x = cursor.x - 256 > 0 ? cursor.x - 256 : 0;
    SendMessageA(r->tooltip, TTM_TRACKPOSITION, 0, MAKELPARAM(x, cursor.y + 16));
}

/* Selecting a font costs more than drawing a short text on some systems;
   most of a row is drawn in one font and colour. */
static void SelectRowFont(Renderer *r, HDC dc, HFONT font, COLORREF color)
{
    if (r->rowFont != font) {
        SelectObject(dc, font);
        r->rowFont = font;
    }
    if (r->rowColor != color) {
        SetTextColor(dc, color);
        r->rowColor = color;
    }
}

/* Draws one item at x; returns its width. */
static LONG DrawItem(Renderer *r, HDC dc, TickerItem *item, LONG x, LONG top, LONG drawn,
                     BOOL mayHover)
{
    const WCHAR *text;
    LONG length;
    item->ops->getText(item, &text, &length, drawn);
    SIZE size = { 0, 0 };
    if (text && length > 0)
        GetTextExtentPoint32W(dc, text, length, &size);
    SetRect(&item->rect, x, top, x + size.cx, top + size.cy);
    if (mayHover)
        item->ops->hitTest(item, r->tickerWindow);
    else
        InterlockedAnd(&item->flags, ~ITEM_HOVERED);
    if (item->flags & ITEM_HOVERED) {
        SelectRowFont(r, dc, r->ticker->linkFont, r->band->linkColor);
        HoverItem(r, item);
    } else {
        SelectRowFont(r, dc, r->ticker->textFont, r->band->textColor);
    }
    if (text && length > 0)
        TextOutW(dc, x, top, text, length);
    return size.cx;
}

static void DrawRow(Renderer *r, HDC dc, const RECT *client, BOOL foreground)
{
    TickerState *t = r->ticker;
    if (t->itemCount <= 0 || t->headIndex >= t->itemCount)
        return;
    LONG x = client->left + r->scroll.offset;
    LONG limit = client->right - r->scroll.offset;
    LONG i = t->headIndex;
    LONG drawn = 0;
    BOOL separatorNext = r->scroll.separatorPhase;
    /* Hit testing asks the system for the cursor and the window for every
       item; with the cursor elsewhere, or another window in front, no item
       can be under it, and the answer is known once for the whole row. */
    BOOL mayHover = foreground && CursorInWindow(t, r->tickerWindow);
    for (int segments = 0; segments < MAX_ROW_SEGMENTS; segments++) {
        if (!separatorNext) {
            LONG width = DrawItem(r, dc, &t->items[i], x, client->top, drawn++, mayHover);
            if (limit - x - width <= 0)
                return;
            x += width;
        }
        separatorNext = FALSE;
        SelectRowFont(r, dc, t->textFont, r->band->textColor);
        TextOutW(dc, x, client->top, SEPARATOR, 5);
        if (limit - x - r->separator.cx <= 0)
            return;
        x += r->separator.cx;
        if (++i >= t->itemCount)
            i = 0;
    }
}

static LONG MeasureWithDc(const WCHAR *text, void *context)
{
    SIZE size = { 0, 0 };
    GetTextExtentPoint32W((HDC)context, text, 1, &size);
    return size.cx;
}

static void Pace(Renderer *r)
{
    if (r->directDraw) {
        WaitAnswering(0, NULL, 20);
        (void)IDirectDraw_WaitForVerticalBlank(r->directDraw, DDWAITVB_BLOCKBEGIN, NULL);
    } else {
        WaitAnswering(0, NULL, 100);
    }
}

static void Show(Renderer *r, HDC memory, const RECT *client)
{
    HDC window = GetDC(r->tickerWindow);
    if (!window)
        return;
    BitBlt(window, 0, 0, client->right - client->left, client->bottom - client->top,
           memory, 0, 0, SRCCOPY);
    ReleaseDC(r->tickerWindow, window);
}

static void FreeFrameBitmap(Renderer *r)
{
    if (!r->frameDc)
        return;
    SelectObject(r->frameDc, r->frameOldBitmap);
    DeleteObject(r->frameBitmap);
    DeleteDC(r->frameDc);
    r->frameDc = NULL;
    r->frameBitmap = NULL;
}

/* The memory context holding a bitmap of the client size, made anew only
   when the size changed. */
static HDC FrameDc(Renderer *r, HDC window, LONG width, LONG height)
{
    if (r->frameDc && r->frameSize.cx == width && r->frameSize.cy == height)
        return r->frameDc;
    FreeFrameBitmap(r);
    r->frameDc = CreateCompatibleDC(window);
    r->frameBitmap = CreateCompatibleBitmap(window, width, height);
    r->frameOldBitmap = SelectObject(r->frameDc, r->frameBitmap);
    r->frameSize.cx = width;
    r->frameSize.cy = height;
    return r->frameDc;
}

static RenderNext ActiveFrame(Renderer *r, BOOL foreground)
{
    TickerState *t = r->ticker;
    r->idleRepaintDone = FALSE;
    if (!(t->hoverFlags & 1))
        r->step = CurrentSpeed(r);

    RECT client;
    GetClientRect(r->tickerWindow, &client);
    HDC window = GetDC(r->tickerWindow);
    /* The band closed since the idle check; the next target event brings another. */
    if (!window)
        return IdleFrame(r);
    HDC memory = FrameDc(r, window, client.right - client.left, client.bottom - client.top);
    ReleaseDC(r->tickerWindow, window);

    HGDIOBJ oldFont = SelectObject(memory, t->textFont);
    r->rowFont = t->textFont;
    r->rowColor = GetTextColor(memory);
    GetTextExtentPoint32W(memory, SEPARATOR, 5, &r->separator);
    HBRUSH background = CreateSolidBrush(r->band->backColor);
    RECT all = { 0, 0, client.right - client.left, client.bottom - client.top };
    FillRect(memory, &all, background);
    DeleteObject(background);
    SetBkMode(memory, TRANSPARENT);

    r->hoverSeen = FALSE;
    DrawRow(r, memory, &client, foreground);
    AdvanceScroll(&r->scroll, t, r->step, r->separator.cx, MeasureWithDc, memory);
    Pace(r);
    Show(r, memory, &client);
    /* The fonts may be replaced by the window thread before the next frame. */
    SelectObject(memory, oldFont);
    return NEXT_FRAME;
}

static void EndHoverIfGone(Renderer *r)
{
    TickerState *t = r->ticker;
    if (r->hoverSeen) {
        PostMessageA(r->tickerWindow, WM_SETCURSOR, 0, 0);
        return;
    }
    t->cursor = r->arrowCursor;
    if (t->hoverFlags & 1) {
        t->hoverFlags &= ~1;
        PublishHover(t, NULL);
        HideTip(r);
        r->step = CurrentSpeed(r);
    }
    if (CursorInWindow(t, r->tickerWindow))
        PostMessageA(r->tickerWindow, WM_SETCURSOR, 0, 0);
}

static RenderNext Poll(Renderer *r)
{
    for (;;) {
        DWORD woken = WaitForMultipleObjects(3, r->waitSet, FALSE, 0);
        if (woken == WAIT_OBJECT_0 + WAIT_LOAD) {
            /* A failed load shows its text and waits for the next choice. */
            Reload(r);
            continue;
        }
        if (woken == WAIT_OBJECT_0 + WAIT_EXIT)
            return NEXT_END;
        if (woken == WAIT_OBJECT_0 + WAIT_TARGET)
            return NEXT_ATTACH;
        EndHoverIfGone(r);
        return NEXT_FRAME;
    }
}

static void RunFrames(Renderer *r, BOOL reload)
{
    RenderNext next = Attach(r, reload);
    while (next != NEXT_END) {
        if (next == NEXT_ATTACH) {
            next = Attach(r, FALSE);
            continue;
        }
        DeleteRetiredFonts(r->ticker);
        BOOL foreground = GetForegroundWindow() == r->band->topWindow;
        next = IsIdle(r, foreground) ? IdleFrame(r) : ActiveFrame(r, foreground);
        if (next == NEXT_FRAME)
            next = Poll(r);
    }
}

DWORD WINAPI RenderThread(void *parameter)
{
    Renderer r;
    ZeroMemory(&r, sizeof(r));
    r.band = (BandState *)parameter;
    r.ticker = r.band->ticker;
    (void)CoInitialize(NULL);
    r.tooltip = CreateTooltipWindow();
    if (FAILED(DirectDrawCreate(NULL, &r.directDraw, NULL)))
        r.directDraw = NULL;
    /* Shared system cursors: loaded once, never destroyed. */
    r.arrowCursor = LoadCursor(NULL, IDC_ARROW);
    r.handCursor = LoadCursor(NULL, IDC_HAND);
    r.waitSet[WAIT_LOAD] = r.ticker->loadEvent;
    r.waitSet[WAIT_EXIT] = r.ticker->exitEvent;
    r.waitSet[WAIT_TARGET] = r.ticker->targetEvent;

    /* A failed first load leaves the list empty; the thread waits all the same. */
    (void)LoadFeed(r.ticker, NULL);
    /* A feed chosen before any band became active is loaded, not dropped. */
    DWORD woken = WaitAnswering(3, r.waitSet, INFINITE);
    if (woken == WAIT_OBJECT_0 + WAIT_LOAD || woken == WAIT_OBJECT_0 + WAIT_TARGET)
        RunFrames(&r, woken == WAIT_OBJECT_0 + WAIT_LOAD);

    PublishHover(r.ticker, NULL);
    FreeFrameBitmap(&r);
    if (r.directDraw)
        IDirectDraw_Release(r.directDraw);
    SetEvent(r.ticker->finishEvent);
    if (r.tooltip)
        DestroyWindow(r.tooltip);
    CoUninitialize();
    return 0;
}
