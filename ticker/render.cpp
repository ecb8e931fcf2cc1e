/* The rendering thread: loads feeds, owns the item list and the tooltip
   window, and draws the scrolling row into the ticker window of the active
   band. The ticker window belongs to the window thread; this thread only
   draws into it, posts to it, and waits for it during the repaints it asks
   for and the tooltip's text requests. The tooltip is a top-level window of
   this thread, so every wait here answers the thread's messages: a program
   that broadcasts (a settings change, DDE) waits for every top-level window. */
#include "ticker/ticker.h"
#include "ticker/scroll.h"
#include "core/module.h"
#include "core/handoff.h"
#include "core/ids.h"
#include "core/display.h"
#include <commctrl.h>
#include <ddraw.h>
#include <stddef.h>
#include <limits.h>

/* The tool record as far as its lParam (44 bytes, 64 in a 64-bit build):
   the size every version of the tooltip control accepts. */
#define TOOLINFO_SIZE (offsetof(TTTOOLINFOA, lParam) + sizeof(LPARAM))
static_assert(TOOLINFO_SIZE == (sizeof(void *) == 4 ? 44 : 64), "tool record layout");

enum { WAIT_LOAD = 0, WAIT_EXIT = 1, WAIT_TARGET = 2 };
enum RenderNext { NEXT_FRAME, NEXT_ATTACH, NEXT_END };

#define MAX_ROW_SEGMENTS    4096
#define FAILED_LOAD_RETRY_MS    60000
/* A row standing still looks around as often as an idle one. */
#define STILL_WAIT_MS       1000
/* Frames between two looks at the foreground window while the row moves. */
#define FOREGROUND_FRAMES   5
/* Without animation one headline stands this long before the next. */
#define STILL_HEADLINE_MS   8000

static const WCHAR SEPARATOR[] = L" +++ ";

/* A width measured once for the text it was measured for. */
struct TextWidth {
    const WCHAR *text;
    LONG length;
    LONG width;
};

/* What the kept row was drawn with; a frame that finds it unchanged and the
   row not moved draws nothing. */
struct RowLook {
    SIZE size;
    HFONT textFont;
    HFONT linkFont;
    COLORREF textColor;
    COLORREF linkColor;
    COLORREF backColor;
    TickerItem *hovered;   /* drawn in the link font, at hoveredX */
    LONG hoveredX;
    RECT focusRect;        /* drawn over the window's copy only; empty: none */
};

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
    POINT tipAt;          /* where the tooltip was last moved */
    BOOL idleRepaintDone;
    SIZE separator;
    HCURSOR arrowCursor;
    HCURSOR handCursor;
    /* The off-screen row, kept from frame to frame while the client size
       stays: a moving frame shifts it by the step and draws only the
       columns that came in. */
    HDC frameDc;
    HBITMAP frameBitmap;
    HGDIOBJ frameOldBitmap;
    HGDIOBJ frameOldFont;
    SIZE frameSize;
    HBRUSH backBrush;
    COLORREF backBrushColor;
    HFONT rowFont;        /* what the frame context has selected */
    COLORREF rowColor;
    BOOL rowValid;        /* the kept row shows drawn, shifted by shift */
    LONG shift;           /* how far the row moved since it was drawn */
    RowLook drawn;
    BOOL frameStill;      /* this frame left the hover as it stood */
    LONG seenMoves;       /* cursorMoves when the hover was last tested */
    LONG seenMenuOpen;
    LONG seenHides;
    DWORD woken;          /* what the frame's last wait saw of the three events */
    BOOL foreground;      /* the browser's window was in front at the last look */
    LONG foregroundAge;   /* moving frames until the next look */
    /* The system's wishes, looked at with the foreground: no animation
       shows one headline at a time, standing; high contrast uses the
       system's colours. */
    BOOL stillRow;
    BOOL highContrast;
    DWORD headlineShownAt;
    /* Item widths in textFont, kept per list and font; the head's remaining
       text has a slot of its own. */
    HFONT widthFont;
    TextWidth widths[TICKER_MAX_ITEMS];
    TextWidth headWidth;
    /* The head's first character: the scroll asks for it every frame, and
       it changes only when a character has scrolled off. */
    TextWidth firstChar;
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

/* The stored speed stays as written; a hand-edited value out of range would
   push the row off to the right (negative) or overflow the scroll arithmetic.
   A paused row, one the keyboard stepped into and one without animation
   stand still. */
static LONG CurrentSpeed(const Renderer *r)
{
    const TickerState *t = r->ticker;
    if (t->pauseFlags || t->focusIndex >= 0 || r->stillRow)
        return 0;
    LONG speed = r->band->speed;
    return speed < 0 ? 0 : speed > MAX_SPEED ? MAX_SPEED : speed;
}

static BOOL CursorInWindow(const TickerState *ticker, HWND window, POINT *cursor)
{
    return ticker->cursorOver && window && CursorInsideWindow(window, cursor);
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
    InterlockedIncrement(&t->hoverSerial);
    IXMLDOMNode *old = (IXMLDOMNode *)InterlockedExchangePointer((void *volatile *)&t->hoveredNode, node);
    InterlockedIncrement(&t->hoverSerial);
    if (old)
        IXMLDOMNode_Release(old);
}

/* New titles: nothing measured or drawn of the old ones is kept. */
static void ForgetRow(Renderer *r)
{
    PublishHover(r->ticker, NULL);
    r->rowValid = FALSE;
    r->widthFont = NULL;
    /* A list that failed is told by the window's own text, painted anew. */
    r->idleRepaintDone = FALSE;
}

/* The window shows the loading text until the loader has the list. */
static void Reload(Renderer *r)
{
    ForgetRow(r);
    BeginFeedChoice(r->ticker, r->tickerWindow);
}

/* index becomes the head, whole, at the left edge. */
static void MakeHead(Renderer *r, LONG index)
{
    TickerState *t = r->ticker;
    if (t->headIndex < t->itemCount)
        t->items[t->headIndex].scrolledChars = 0;
    t->headIndex = index;
    t->items[index].scrolledChars = 0;
    r->scroll.offset = 0;
    r->scroll.separatorPhase = FALSE;
    r->rowValid = FALSE;
    r->headlineShownAt = GetTickCount();
}

static void LookAtSystem(Renderer *r)
{
    r->highContrast = HighContrastOn();
    BOOL still = !ClientAnimationOn();
    if (still == r->stillRow)
        return;
    r->stillRow = still;
    if (r->ticker->itemCount > 0)
        MakeHead(r, r->ticker->headIndex < r->ticker->itemCount ? r->ticker->headIndex : 0);
}

/* Without animation the next shown headline follows every few seconds,
   unless something holds the row. */
static void NextStillHeadline(Renderer *r)
{
    TickerState *t = r->ticker;
    if (!r->stillRow || t->itemCount <= 0)
        return;
    DWORD now = GetTickCount();
    if ((t->hoverFlags & 1) || t->pauseFlags || t->focusIndex >= 0) {
        r->headlineShownAt = now;
        return;
    }
    if (now - r->headlineShownAt < STILL_HEADLINE_MS)
        return;
    LONG head = t->headIndex < t->itemCount ? t->headIndex : 0;
    LONG next = NextShownHeadline(t, head, 1);
    MakeHead(r, next >= 0 ? next : head);
}

static DWORD StillWaitMs(const Renderer *r)
{
    if (!r->stillRow)
        return STILL_WAIT_MS;
    DWORD shown = GetTickCount() - r->headlineShownAt;
    DWORD left = shown < STILL_HEADLINE_MS ? STILL_HEADLINE_MS - shown : 0;
    return left < STILL_WAIT_MS ? left : STILL_WAIT_MS;
}

static RenderNext Attach(Renderer *r, BOOL reload)
{
    /* The tip belongs to the tool of the window being left, and the tool
       goes with it: the tooltip holds only the target's, however many band
       windows come and go. */
    HideTip(r);
    TTTOOLINFOA tool;
    FillToolInfo(&tool, r->tickerWindow);
    SendMessageA(r->tooltip, TTM_DELTOOLA, 0, (LPARAM)&tool);
    r->tickerWindow = GetDlgItem(r->band->bandWindow, TICKER_ID);
    FillToolInfo(&tool, r->tickerWindow);
    tool.uFlags = TTF_IDISHWND | TTF_TRACK | TTF_ABSOLUTE;
    tool.hinst = moduleHandle;
    tool.lpszText = LPSTR_TEXTCALLBACKA;
    SendMessageA(r->tooltip, TTM_ADDTOOLA, 0, (LPARAM)&tool);
    /* With no active band there is no toolbar to ask; a post to no window
       would land in this thread's own queue. */
    if (r->band->bandWindow)
        PostMessageA(r->band->bandWindow, WM_FEEDLIST_RESELECT, 0, 0);
    if (WaitForSingleObject(r->ticker->exitEvent, 0) == WAIT_OBJECT_0)
        return NEXT_END;
    r->foregroundAge = 0;
    r->scroll.offset = 0;
    r->scroll.separatorPhase = FALSE;
    r->hoverSeen = FALSE;
    r->rowValid = FALSE;
    r->headlineShownAt = GetTickCount();
    LookAtSystem(r);
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
    /* After a failed load, or while a chosen feed loads, the window's own
       text says so; nothing is drawn over it. */
    return !foreground || !IsWindowEnabled(r->tickerWindow) || r->ticker->loadFailed ||
           r->ticker->choiceLoading;
}

static void EndHover(Renderer *r)
{
    TickerState *t = r->ticker;
    t->cursor = r->arrowCursor;
    if (t->hoverFlags & 1) {
        t->hoverFlags &= ~1;
        PublishHover(t, NULL);
        HideTip(r);
        r->step = CurrentSpeed(r);
    }
}

static RenderNext IdleFrame(Renderer *r)
{
    /* The tooltip is topmost: left showing, it would stand over whatever
       the user turned to. */
    r->hoverSeen = FALSE;
    EndHover(r);
    /* Wakes once a second to look at the events; any of them ends it sooner. */
    r->frameStill = FALSE;
    r->foregroundAge = 0;
    /* The window shows its own text; coming back, the row is copied anew. */
    r->rowValid = FALSE;
    /* The loader's word that the chosen list is there ends the wait. */
    DWORD woken = WaitAnsweringMessages(3, r->waitSet, 1000, QS_ALLINPUT, r->ticker->choiceLoading);
    if (woken == WAIT_OBJECT_0 + WAIT_EXIT)
        return NEXT_END;
    if (!r->idleRepaintDone && r->tickerWindow) {
        r->idleRepaintDone = TRUE;
        InvalidateRect(r->tickerWindow, NULL, TRUE);
        UpdateWindow(r->tickerWindow);
    }
    r->woken = woken;
    return NEXT_FRAME;
}

/* Below and left of the cursor, or under a headline the keys chose. */
static POINT TipForCursor(POINT cursor)
{
    POINT tip = { cursor.x - 256 > 0 ? cursor.x - 256 : 0, cursor.y + 16 };
    return tip;
}

static POINT TipForItem(const Renderer *r, const TickerItem *item)
{
    RECT client;
    GetClientRect(r->tickerWindow, &client);
    POINT tip = { item->rect.left > 0 ? item->rect.left : 0, client.bottom + 2 };
    ClientToScreen(r->tickerWindow, &tip);
    return tip;
}

static void HoverItem(Renderer *r, TickerItem *item, POINT tip)
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
        r->tipAt.x = LONG_MIN;
    }
    /* Each move makes the tooltip ask the window for its text again. */
    LONG x = tip.x;
    LONG y = tip.y;
    if (x == r->tipAt.x && y == r->tipAt.y)
        return;
    r->tipAt.x = x;
    r->tipAt.y = y;
    SendMessageA(r->tooltip, TTM_TRACKPOSITION, 0, MAKELPARAM(x, y));
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

/* Width of an item's text in textFont: measured once per list and font,
   and the head's remaining text once per character scrolled off. */
static LONG TextWidthOf(Renderer *r, HDC dc, LONG index, LONG drawn, const WCHAR *text, LONG length)
{
    if (!text || length <= 0)
        return 0;
    TextWidth *kept = &r->widths[index];
    if (kept->text == text && kept->length == length)
        return kept->width;
    if (r->headWidth.text == text && r->headWidth.length == length)
        return r->headWidth.width;
    if (drawn == 0)
        kept = &r->headWidth;
    SIZE size = { 0, 0 };
    SelectRowFont(r, dc, r->widthFont, r->rowColor);
    GetTextExtentPoint32W(dc, text, length, &size);
    kept->text = text;
    kept->length = length;
    kept->width = size.cx;
    return size.cx;
}

/* Room left and right of the columns being drawn for glyphs that reach
   beyond their advance: a neighbour's ink must land as a full draw puts it. */
#define ROW_OVERHANG 32

/* Walks the row from the head as it stands. Without paint it lays the row
   out: stores each item's rect and returns the item under cursor (its x in
   underX); with paint it draws what lies near paint, clipped to it. */
static TickerItem *WalkRow(Renderer *r, HDC dc, const RECT *paint, const POINT *cursor, LONG *underX)
{
    TickerState *t = r->ticker;
    if (t->itemCount <= 0 || t->headIndex >= t->itemCount)
        return NULL;
    const RowLook *look = &r->drawn;
    /* The layout stops at the right edge: a rect holds a visible item. */
    LONG end = paint ? paint->right + ROW_OVERHANG : r->frameSize.cx;
    LONG from = paint ? paint->left - ROW_OVERHANG : LONG_MIN;
    LONG x = r->scroll.offset;
    LONG i = t->headIndex;
    LONG drawn = 0;
    TickerItem *under = NULL;
    BOOL separatorNext = r->scroll.separatorPhase;
    /* A rect says where an item stands now, or that it is not shown. */
    if (!paint)
        for (LONG k = 0; k < t->itemCount; k++)
            SetRectEmpty(&t->items[k].rect);
    for (int segments = 0; segments < MAX_ROW_SEGMENTS && x < end; segments++) {
        if (!separatorNext) {
            TickerItem *item = &t->items[i];
            const WCHAR *text;
            LONG length;
            item->ops->getText(item, &text, &length, drawn);
            LONG width = TextWidthOf(r, dc, i, drawn++, text, length);
            if (!paint) {
                /* A short list shows a headline more than once: its first
                   copy is the one the keys, the tip and screen readers use. */
                if (IsRectEmpty(&item->rect))
                    SetRect(&item->rect, x, 0, x + width, width > 0 ? r->separator.cy : 0);
                if (cursor && !under && !(item->flags & ITEM_HIDDEN) && cursor->x >= x &&
                    cursor->x <= x + width && cursor->y >= 0 && cursor->y <= item->rect.bottom) {
                    under = item;
                    *underX = x;
                } else if (item->flags & ITEM_HOVERED) {
                    InterlockedAnd(&item->flags, ~ITEM_HOVERED);
                }
            } else if (width > 0 && x + width > from) {
                if (item == look->hovered && x == look->hoveredX)
                    SelectRowFont(r, dc, look->linkFont, look->linkColor);
                else
                    SelectRowFont(r, dc, look->textFont, look->textColor);
                ExtTextOutW(dc, x, 0, ETO_CLIPPED, paint, text, length, NULL);
            }
            x += width;
            if (x >= end || r->stillRow)
                break;
        }
        separatorNext = FALSE;
        if (paint && x + r->separator.cx > from) {
            SelectRowFont(r, dc, look->textFont, look->textColor);
            ExtTextOutW(dc, x, 0, ETO_CLIPPED, paint, SEPARATOR, 5, NULL);
        }
        x += r->separator.cx;
        if (++i >= t->itemCount)
            i = 0;
    }
    return under;
}

static BOOL SameLook(const RowLook *a, const RowLook *b)
{
    return a->size.cx == b->size.cx && a->size.cy == b->size.cy && a->textFont == b->textFont &&
           a->linkFont == b->linkFont && a->textColor == b->textColor &&
           a->linkColor == b->linkColor && a->backColor == b->backColor &&
           a->hovered == b->hovered && (!a->hovered || a->hoveredX == b->hoveredX) &&
           EqualRect(&a->focusRect, &b->focusRect);
}

static void Paint(Renderer *r, HDC dc, LONG left, LONG right)
{
    RECT part = { left, 0, right, r->drawn.size.cy };
    if (r->backBrushColor != r->drawn.backColor || !r->backBrush) {
        if (r->backBrush)
            DeleteObject(r->backBrush);
        r->backBrush = CreateSolidBrush(r->drawn.backColor);
        r->backBrushColor = r->drawn.backColor;
    }
    FillRect(dc, &part, r->backBrush);
    WalkRow(r, dc, &part, NULL, NULL);
}

static LONG MeasureFirstCharacter(const WCHAR *text, void *context)
{
    Renderer *r = (Renderer *)context;
    if (r->firstChar.text == text)
        return r->firstChar.width;
    SIZE size = { 0, 0 };
    GetTextExtentPoint32W(r->frameDc, text, 1, &size);
    r->firstChar.text = text;
    r->firstChar.width = size.cx;
    return size.cx;
}

/* The pacing wait watches the load, exit and target events too, so that a
   frame needs no look at them of its own; one of them cuts it short. */
static void Pace(Renderer *r)
{
    r->woken = WaitAnsweringMessages(3, r->waitSet, r->directDraw ? 20 : 100, QS_ALLINPUT, FALSE);
    if (r->directDraw && r->woken == WAIT_TIMEOUT)
        (void)IDirectDraw_WaitForVerticalBlank(r->directDraw, DDWAITVB_BLOCKBEGIN, NULL);
}

/* Nothing moves: no frame is due until a change is reported (a message:
   the cursor moved, the menu opened or closed, an item was hidden, the
   window was uncovered, a colour, font or the speed changed) or one of the
   events is set; the browser going to the background is seen within a
   second, as an idle frame would. */
static void WaitForChange(Renderer *r)
{
    DWORD woken = WaitAnsweringMessages(3, r->waitSet, StillWaitMs(r), QS_ALLINPUT, TRUE);
    r->woken = woken < WAIT_OBJECT_0 + 3 ? woken : WAIT_TIMEOUT;
    r->foregroundAge = 0;
}

static void Show(Renderer *r)
{
    /* Only copied into, so nothing needs resetting when it goes back to the
       cache; the clipping is what GetDC gives the window's styles. */
    HDC window = GetDCEx(r->tickerWindow, NULL, DCX_CACHE | DCX_CLIPSIBLINGS | DCX_CLIPCHILDREN |
                                                    DCX_NORESETATTRS);
    if (!window)
        return;
    BitBlt(window, 0, 0, r->drawn.size.cx, r->drawn.size.cy, r->frameDc, 0, 0, SRCCOPY);
    /* Never in the kept row, which moves on under it. */
    if (!IsRectEmpty(&r->drawn.focusRect))
        DrawFocusRect(window, &r->drawn.focusRect);
    ReleaseDC(r->tickerWindow, window);
    InterlockedIncrement(&r->ticker->framesShown);
}

static void FreeFrameBitmap(Renderer *r)
{
    if (r->backBrush)
        DeleteObject(r->backBrush);
    r->backBrush = NULL;
    if (!r->frameDc)
        return;
    SelectObject(r->frameDc, r->frameOldFont);
    SelectObject(r->frameDc, r->frameOldBitmap);
    DeleteObject(r->frameBitmap);
    DeleteDC(r->frameDc);
    r->frameDc = NULL;
    r->frameBitmap = NULL;
    r->rowValid = FALSE;
}

/* The window thread deletes replaced fonts only through this thread: none
   may stay selected into the kept context. */
static void LetGoOfFonts(Renderer *r)
{
    if (r->frameDc && r->rowFont) {
        SelectObject(r->frameDc, r->frameOldFont);
        r->rowFont = NULL;
    }
    /* A later font may get a deleted one's handle. */
    r->widthFont = NULL;
    r->rowValid = FALSE;
}

/* The memory context holding a bitmap of the client size, made anew only
   when the size changed. */
static HDC FrameDc(Renderer *r, LONG width, LONG height)
{
    if (r->frameDc && r->frameSize.cx == width && r->frameSize.cy == height)
        return r->frameDc;
    HDC window = GetDC(r->tickerWindow);
    if (!window)
        return NULL;
    FreeFrameBitmap(r);
    r->frameDc = CreateCompatibleDC(window);
    r->frameBitmap = CreateCompatibleBitmap(window, width, height);
    ReleaseDC(r->tickerWindow, window);
    r->frameOldBitmap = SelectObject(r->frameDc, r->frameBitmap);
    r->frameOldFont = GetCurrentObject(r->frameDc, OBJ_FONT);
    SetBkMode(r->frameDc, TRANSPARENT);
    r->rowFont = NULL;
    r->rowColor = GetTextColor(r->frameDc);
    r->frameSize.cx = width;
    r->frameSize.cy = height;
    return r->frameDc;
}

/* The headline the keys stepped to, while it can be shown. */
static TickerItem *KeyboardItem(const Renderer *r)
{
    TickerState *t = r->ticker;
    LONG index = t->focusIndex;
    if (index < 0 || index >= t->itemCount || (t->items[index].flags & ITEM_HIDDEN))
        return NULL;
    return &t->items[index];
}

/* A headline the keys step to comes into view whole, as the head, unless
   it stands there already. */
static BOOL BringIntoView(Renderer *r, const TickerItem *item, LONG width)
{
    TickerState *t = r->ticker;
    LONG index = (LONG)(item - t->items);
    BOOL whole = !IsRectEmpty(&item->rect) && item->rect.left >= 0 && item->rect.right <= width;
    BOOL atHead = t->headIndex == index && r->scroll.offset == 0 && !r->scroll.separatorPhase;
    if (whole || atHead)
        return FALSE;
    MakeHead(r, index);
    return TRUE;
}

static void ChooseColours(const Renderer *r, RowLook *look)
{
    if (r->highContrast) {
        look->textColor = GetSysColor(COLOR_WINDOWTEXT);
        look->linkColor = GetSysColor(COLOR_HOTLIGHT);
        look->backColor = GetSysColor(COLOR_WINDOW);
        return;
    }
    look->textColor = r->band->textColor;
    look->linkColor = r->band->linkColor;
    look->backColor = r->band->backColor;
}

/* Around the headline the keys chose, or the whole row, while the window
   has the keyboard focus. */
static void ChooseFocusRect(const Renderer *r, RowLook *look)
{
    SetRectEmpty(&look->focusRect);
    if (!r->ticker->hasFocus)
        return;
    RECT client = { 0, 0, look->size.cx, look->size.cy };
    const TickerItem *item = KeyboardItem(r);
    if (!item || !IntersectRect(&look->focusRect, &item->rect, &client))
        look->focusRect = client;
}

/* Lays the row out and finds what is hovered: the headline the keys chose,
   else the one under the cursor. */
static void FindHover(Renderer *r, HDC memory, RowLook *look, BOOL foreground)
{
    TickerState *t = r->ticker;
    r->hoverSeen = FALSE;
    TickerItem *chosen = KeyboardItem(r);
    POINT cursor = { 0, 0 };
    /* Hit testing asks the system for the cursor; with it elsewhere, or
       another window in front, no item can be under it. */
    BOOL mayHover = !chosen && foreground && CursorInWindow(t, r->tickerWindow, &cursor);
    POINT inClient = cursor;
    if (mayHover)
        ScreenToClient(r->tickerWindow, &inClient);
    LONG underX = 0;
    TickerItem *under = WalkRow(r, memory, NULL, mayHover ? &inClient : NULL, &underX);
    look->hovered = NULL;
    if (chosen) {
        if (BringIntoView(r, chosen, look->size.cx))
            (void)WalkRow(r, memory, NULL, NULL, &underX);
        InterlockedOr(&chosen->flags, ITEM_HOVERED);
        look->hovered = chosen;
        look->hoveredX = chosen->rect.left;
        HoverItem(r, chosen, TipForItem(r, chosen));
        return;
    }
    if (!under)
        return;
    under->ops->hitTest(under, r->tickerWindow);
    if (under->flags & ITEM_HOVERED) {
        look->hovered = under;
        look->hoveredX = underX;
        HoverItem(r, under, TipForCursor(cursor));
    }
}

static RenderNext ActiveFrame(Renderer *r, BOOL foreground)
{
    TickerState *t = r->ticker;
    r->idleRepaintDone = FALSE;
    if (!(t->hoverFlags & 1))
        r->step = CurrentSpeed(r);

    RECT client;
    /* The band closed since the idle check; the next target event brings another. */
    if (!GetClientRect(r->tickerWindow, &client))
        return IdleFrame(r);
    HDC memory = FrameDc(r, client.right - client.left, client.bottom - client.top);
    if (!memory)
        return IdleFrame(r);

    RowLook look;
    ZeroMemory(&look, sizeof(look));
    look.size = r->frameSize;
    look.textFont = t->textFont;
    look.linkFont = t->linkFont;
    ChooseColours(r, &look);
    look.hovered = r->drawn.hovered;
    look.hoveredX = r->drawn.hoveredX;
    if (r->widthFont != look.textFont) {
        ZeroMemory(r->widths, sizeof(r->widths));
        ZeroMemory(&r->headWidth, sizeof(r->headWidth));
        ZeroMemory(&r->firstChar, sizeof(r->firstChar));
        SelectRowFont(r, memory, look.textFont, r->rowColor);
        GetTextExtentPoint32W(memory, SEPARATOR, 5, &r->separator);
        r->widthFont = look.textFont;
    }
    NextStillHeadline(r);

    /* The hover can change only when the row moved or changed (a hide
       among them), or the cursor moved, or the item menu opened or closed. */
    LONG moves = t->cursorMoves;
    LONG menuOpen = t->itemMenuOpen;
    LONG hides = t->hides;
    BOOL sameRow = r->rowValid && r->shift == 0 && r->drawn.size.cx == look.size.cx &&
                   r->drawn.size.cy == look.size.cy && r->drawn.textFont == look.textFont &&
                   r->drawn.linkFont == look.linkFont && hides == r->seenHides;
    r->frameStill = sameRow && moves == r->seenMoves && menuOpen == r->seenMenuOpen;
    if (!r->frameStill) {
        r->seenMoves = moves;
        r->seenMenuOpen = menuOpen;
        r->seenHides = hides;
        FindHover(r, memory, &look, foreground);
    }
    ChooseFocusRect(r, &look);

    BOOL exposed = InterlockedExchange(&t->rowExposed, 0);
    BOOL redraw = !r->rowValid || !SameLook(&look, &r->drawn);
    LONG shift = r->shift;
    r->drawn = look;
    if (redraw || shift >= look.size.cx) {
        Paint(r, memory, 0, look.size.cx);
    } else if (shift > 0 && t->itemCount > 0) {
        BitBlt(memory, 0, 0, look.size.cx - shift, look.size.cy, memory, shift, 0, SRCCOPY);
        Paint(r, memory, look.size.cx - shift, look.size.cx);
    }
    BOOL show = redraw || exposed || (shift > 0 && t->itemCount > 0);
    r->rowValid = TRUE;

    SelectRowFont(r, memory, look.textFont, r->rowColor);
    AdvanceScroll(&r->scroll, t, r->step, r->separator.cx, MeasureFirstCharacter, r);
    /* The bookkeeping moves the row by exactly the step; an empty row stays. */
    r->shift = t->itemCount > 0 ? r->step : 0;
    /* A step that just became non-zero moves the row from the next frame on. */
    if (r->frameStill && !show && r->shift == 0)
        WaitForChange(r);
    else
        Pace(r);
    InterlockedIncrement(&t->framesRun);
    if (show)
        Show(r);
    return NEXT_FRAME;
}

static void EndHoverIfGone(Renderer *r)
{
    TickerState *t = r->ticker;
    /* Nothing moved: the cursor the window shows is still the right one. */
    if (r->frameStill)
        return;
    if (r->hoverSeen) {
        PostMessageA(r->tickerWindow, WM_SETCURSOR, 0, 0);
        return;
    }
    EndHover(r);
    POINT cursor;
    if (CursorInWindow(t, r->tickerWindow, &cursor))
        PostMessageA(r->tickerWindow, WM_SETCURSOR, 0, 0);
}

static RenderNext Poll(Renderer *r)
{
    DWORD woken = r->woken;
    r->woken = WAIT_TIMEOUT;
    for (;;) {
        if (woken == WAIT_OBJECT_0 + WAIT_LOAD) {
            /* A failed load shows its text and waits for the next choice. */
            Reload(r);
            woken = WaitForMultipleObjects(3, r->waitSet, FALSE, 0);
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

/* Activating another browser window of the process fires no browser
   event: when the window in front is another sited band's, that band is
   asked to become the active one. Its window thread switches the shared
   state, which holds the browser only that thread may use, and sets the
   target event. Of several bands in one window (tabs), the shown one. */
static void FollowToFront(HWND front)
{
    for (int i = 0; i < SITED_BAND_LIMIT; i++) {
        if (sitedBands[i].topWindow != front)
            continue;
        HWND bandWindow = sitedBands[i].bandWindow;
        if (!bandWindow || !IsWindowVisible(bandWindow))
            continue;
        /* A post to no window would land in this thread's own queue. */
        HWND tickerWindow = GetDlgItem(bandWindow, TICKER_ID);
        if (tickerWindow)
            PostMessageA(tickerWindow, WM_TICKER_FOLLOW, 0, 0);
        return;
    }
}

/* Asked every few moving frames only: some systems answer it through a
   round trip to another process, and a browser gone to the background is
   still let go of within a tenth of a second. Idle and still frames ask
   each time. */
static BOOL BrowserInFront(Renderer *r)
{
    if (r->foregroundAge-- <= 0) {
        HWND front = GetForegroundWindow();
        r->foreground = front == r->band->topWindow;
        r->foregroundAge = FOREGROUND_FRAMES - 1;
        LookAtSystem(r);
        if (!r->foreground && front)
            FollowToFront(front);
    }
    return r->foreground;
}

static void RunFrames(Renderer *r, BOOL reload)
{
    RenderNext next = Attach(r, reload);
    while (next != NEXT_END) {
        if (next == NEXT_ATTACH) {
            next = Attach(r, FALSE);
            continue;
        }
        if (TakeFinishedList(r->ticker)) {
            ForgetRow(r);
            /* Screen readers read the list anew. */
            if (r->tickerWindow)
                NotifyWinEvent(EVENT_OBJECT_REORDER, r->tickerWindow, OBJID_CLIENT, CHILDID_SELF);
        }
        if (r->ticker->retiredFonts)
            LetGoOfFonts(r);
        DeleteRetiredFonts(r->ticker);
        BOOL foreground = BrowserInFront(r);
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
    DWORD woken = WAIT_FAILED;
    /* A feed chosen before any band became active is loaded, not dropped. */
    if (WaitForFirstList(r.ticker))
        woken = WaitAnsweringMessages(3, r.waitSet, INFINITE, QS_ALLINPUT, FALSE);
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
