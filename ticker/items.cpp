/* The ticker's headlines: the two operations every item shares, and the
   list's entries made from a feed's item nodes and given back. The list is
   the rendering thread's; the window thread reads an item's flags only. */
#include "ticker/ticker.h"
#include "feeds/feeds.h"

static const WCHAR HIDDEN_TEXT[] = L"[...]";

static int TickerItem_GetText(TickerItem *item, const WCHAR **text, LONG *length, LONG drawnBefore)
{
    const WCHAR *chars = item->title;
    LONG count = item->titleLength;
    if (item->flags & ITEM_HIDDEN) {
        chars = HIDDEN_TEXT;
        count = 5;
    }
    if (drawnBefore == 0 && chars) {
        LONG skip = item->scrolledChars;
        if (skip > count)
            skip = count;
        chars += skip;
        count -= skip;
    }
    *text = chars;
    *length = count;
    return 0;
}

static int TickerItem_HitTest(TickerItem *item, HWND tickerWindow)
{
    InterlockedAnd(&item->flags, ~ITEM_HOVERED);
    if (item->flags & ITEM_HIDDEN)
        return 0;
    POINT cursor;
    if (!CursorInsideWindow(tickerWindow, &cursor))
        return 0;
    ScreenToClient(tickerWindow, &cursor);
    if (cursor.x >= item->rect.left && cursor.x <= item->rect.right &&
        cursor.y >= item->rect.top && cursor.y <= item->rect.bottom)
        InterlockedOr(&item->flags, ITEM_HOVERED);
    return 0;
}

const TickerItemOps tickerItemOps = {
    TickerItem_GetText,
    TickerItem_HitTest
};

void ReleaseTickerItems(TickerItem *items, LONG count)
{
    for (LONG i = 0; i < count; i++) {
        SysFreeString(items[i].title);
        items[i].title = NULL;
        items[i].titleLength = 0;
        if (items[i].node) {
            IXMLDOMNode_Release(items[i].node);
            items[i].node = NULL;
        }
    }
}

HRESULT AddTickerItem(IXMLDOMNode *node, void *context)
{
    TickerState *ticker = (TickerState *)context;
    return AddItemToList(node, ticker->items, &ticker->itemCount);
}

HRESULT AddItemToList(IXMLDOMNode *node, TickerItem *items, LONG *count)
{
    /* The list has room for 256; later items are let go at once. */
    if (*count >= TICKER_MAX_ITEMS) {
        IXMLDOMNode_Release(node);
        return S_OK;
    }
    TickerItem *item = &items[*count];
    item->node = node;
    item->ops = &tickerItemOps;
    item->flags = 0;
    item->scrolledChars = 0;
    item->title = NULL;
    item->titleLength = 0;
    SetRectEmpty(&item->rect);
    BSTR title;
    if (GetFeedItemText(node, FEED_ITEM_TITLE, &title) == S_OK) {
        item->title = title;
        item->titleLength = (LONG)SysStringLen(title);
    }
    (*count)++;
    return S_OK;
}

LONG NextShownHeadline(const TickerState *ticker, LONG from, LONG direction)
{
    LONG count = ticker->itemCount;
    LONG index = from;
    for (LONG tries = 0; tries < count; tries++) {
        index = (index + direction + count) % count;
        if (!(ticker->items[index].flags & ITEM_HIDDEN))
            return index;
    }
    return -1;
}
