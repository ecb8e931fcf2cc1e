/* The scroll bookkeeping of the rendering thread, apart from any drawing so
   that it can be driven frame by frame. */
#ifndef VELMORA_SCROLL_H
#define VELMORA_SCROLL_H

#include "ticker/ticker.h"

struct ScrollState {
    LONG offset;          /* x of the head's remaining text; 0 or negative */
    BOOL separatorPhase;  /* only the head's separator is left */
};

/* Width in pixels of the first character of text. */
typedef LONG (*MeasureFirstChar)(const WCHAR *text, void *context);

/* Moves the row left by step and consumes everything that has wholly left
   the window: leading characters of the head, then its separator, then the
   following items. The row on screen moves by exactly step. */
void AdvanceScroll(ScrollState *scroll, TickerState *ticker, LONG step, LONG separatorWidth,
                   MeasureFirstChar measure, void *context);

#endif
