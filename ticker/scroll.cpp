/* Scroll bookkeeping (rendering thread). Consuming only one character or
   separator a frame would let the offset fall behind any step wider than
   the characters, and the row measured every frame would grow without end;
   everything that has left the window is consumed instead. */
#include "ticker/scroll.h"

#define MAX_CONSUMED_PER_FRAME 65536

static void NextHead(TickerState *ticker)
{
    ticker->headIndex++;
    if (ticker->headIndex >= ticker->itemCount)
        ticker->headIndex = 0;
}

/* Consumes one thing that has left the window; FALSE when nothing has. */
static BOOL ConsumeOne(ScrollState *scroll, TickerState *ticker, LONG separatorWidth,
                       MeasureFirstChar measure, void *context)
{
    if (scroll->separatorPhase) {
        if (separatorWidth + scroll->offset > 0)
            return FALSE;
        scroll->offset += separatorWidth;
        scroll->separatorPhase = FALSE;
        NextHead(ticker);
        return TRUE;
    }
    TickerItem *head = &ticker->items[ticker->headIndex];
    const WCHAR *text;
    LONG length;
    head->ops->getText(head, &text, &length, 0);
    if (!text || length <= 0) {
        /* Nothing to scroll off: the separator follows at once. */
        head->scrolledChars = 0;
        scroll->separatorPhase = TRUE;
        return TRUE;
    }
    LONG width = measure(text, context);
    if (width + scroll->offset > 0)
        return FALSE;
    scroll->offset += width;
    head->scrolledChars++;
    if (length <= 1) {
        head->scrolledChars = 0;
        scroll->separatorPhase = TRUE;
    }
    return TRUE;
}

void AdvanceScroll(ScrollState *scroll, TickerState *ticker, LONG step, LONG separatorWidth,
                   MeasureFirstChar measure, void *context)
{
    scroll->offset -= step;
    if (ticker->itemCount <= 0) {
        scroll->offset = 0;
        scroll->separatorPhase = FALSE;
        return;
    }
    if (ticker->headIndex >= ticker->itemCount)
        ticker->headIndex = 0;
    /* Text and separators of zero width would never stop being consumed;
       such a row simply stands at the left edge. */
    for (LONG consumed = 0; ConsumeOne(scroll, ticker, separatorWidth, measure, context);) {
        if (++consumed >= MAX_CONSUMED_PER_FRAME) {
            scroll->offset = 0;
            break;
        }
    }
}
