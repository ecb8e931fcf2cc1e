/* What the ticker window, its keys and its screen-reader object do to a
   headline, on the window thread: open its link, show its menu; and the
   live ticker a ticker window belongs to. hoveredItem and hoveredNode
   change under the window thread at any time: they are read as they stand,
   with a reference of its own to the node acted on. */
#include "ticker/ticker.h"
#include "browser/browser.h"
#include "feeds/feeds.h"
#include "core/module.h"
#include "core/handoff.h"
#include "resources/resource.h"

/* A window can outlive the last band object and with it the record whose
   address it keeps; only the live record is used. */
static BOOL TickerIsLive(const TickerState *ticker)
{
    return ticker && processBandState && processBandState->ticker == ticker;
}

TickerState *TickerFromWindow(HWND window)
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
IXMLDOMNode *HoldHoveredNode(TickerState *ticker)
{
    IXMLDOMNode *node = ticker->hoveredNode;
    if (node)
        IXMLDOMNode_AddRef(node);
    return node;
}

/* A relative link is the document's to resolve: the one the item came
   from, not the feed chosen since. */
void OpenItemLink(IXMLDOMNode *node, DWORD flags)
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

void ShowItemMenu(TickerState *ticker, HWND window, DWORD position)
{
    TickerItem *item = ticker->hoveredItem;
    IXMLDOMNode *node = HoldHoveredNode(ticker);
    if (!node)
        return;
    ticker->itemMenuOpen = 1;
    WakeRenderer(ticker);
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
