/* The scroll bookkeeping driven frame by frame with widths the test sets. */
#include <gtest/gtest.h>
#include <windows.h>
#include <string>
#include <vector>
#include "ticker/scroll.h"

namespace {

/* Every character is charWidth wide; the separator is separatorWidth. */
struct Row {
    TickerState *ticker;
    ScrollState scroll = { 0, FALSE };
    LONG charWidth = 10;
    LONG separatorWidth = 50;

    explicit Row(const std::vector<const WCHAR *> &titles)
    {
        ticker = (TickerState *)GlobalAlloc(GPTR, sizeof(TickerState));
        for (const WCHAR *title : titles) {
            TickerItem *item = &ticker->items[ticker->itemCount++];
            item->ops = &tickerItemOps;
            item->title = title ? SysAllocString(title) : NULL;
            item->titleLength = title ? lstrlenW(title) : 0;
        }
    }
    ~Row()
    {
        ReleaseTickerItems(ticker->items, ticker->itemCount);
        GlobalFree(ticker);
    }
    static LONG Measure(const WCHAR *, void *context) { return ((Row *)context)->charWidth; }
    void Frame(LONG step)
    {
        AdvanceScroll(&scroll, ticker, step, separatorWidth, Measure, this);
    }
};

TEST(ScrollBookkeeping, ConsumesACharacterOnceItHasLeft)
{
    Row row({ L"Headline" });
    row.Frame(4);
    EXPECT_EQ(-4, row.scroll.offset);
    row.Frame(4);
    EXPECT_EQ(-8, row.scroll.offset);
    row.Frame(4);
    EXPECT_EQ(-2, row.scroll.offset);
    EXPECT_EQ(1, row.ticker->items[0].scrolledChars);
    EXPECT_FALSE(row.scroll.separatorPhase);
}

TEST(ScrollBookkeeping, SeparatorPhaseThenTheNextItemAndTheWrap)
{
    Row row({ L"ab", L"c" });
    row.Frame(10);   /* 'a' gone */
    EXPECT_EQ(1, row.ticker->items[0].scrolledChars);
    row.Frame(10);   /* 'b' gone: only the separator is left */
    EXPECT_TRUE(row.scroll.separatorPhase);
    EXPECT_EQ(0, row.ticker->items[0].scrolledChars);
    EXPECT_EQ(0, row.ticker->headIndex);
    row.Frame(49);
    EXPECT_TRUE(row.scroll.separatorPhase);
    row.Frame(1);    /* the separator has left */
    EXPECT_FALSE(row.scroll.separatorPhase);
    EXPECT_EQ(1, row.ticker->headIndex);
    EXPECT_EQ(0, row.scroll.offset);
    row.Frame(10);   /* 'c' gone */
    row.Frame(50);   /* its separator gone: back to the first item */
    EXPECT_EQ(0, row.ticker->headIndex);
    EXPECT_FALSE(row.scroll.separatorPhase);
}

TEST(ScrollBookkeeping, SpeedZeroStandsStill)
{
    Row row({ L"one", L"two" });
    for (int i = 0; i < 1000; i++)
        row.Frame(0);
    EXPECT_EQ(0, row.scroll.offset);
    EXPECT_EQ(0, row.ticker->headIndex);
    EXPECT_EQ(0, row.ticker->items[0].scrolledChars);
}

TEST(ScrollBookkeeping, AnyStepKeepsTheOffsetBoundedAndMovesExactly)
{
    for (LONG step : { 1, 3, 16, 37, 1000 }) {
        Row row({ L"first headline", L"x", L"the third and longest headline of all" });
        row.charWidth = 9;
        row.separatorWidth = 45;
        LONG travelled = 0;
        for (int frame = 0; frame < 5000; frame++) {
            row.Frame(step);
            ASSERT_LE(row.scroll.offset, 0) << "step " << step;
            LONG bound = row.scroll.separatorPhase ? row.separatorWidth : row.charWidth;
            ASSERT_GT(row.scroll.offset, -bound) << "step " << step << " frame " << frame;
            travelled += step;
        }
        /* The row moved by exactly the step every frame: where it stands now
           follows from the distance alone. One cycle of the row is all
           characters and three separators. */
        LONG cycle = (14 + 1 + 37) * 9 + 3 * 45;
        LONG left = travelled % cycle;
        LONG head = 0, chars = 0;
        const LONG lengths[] = { 14, 1, 37 };
        BOOL separator = FALSE;
        for (;;) {
            LONG w = separator ? 45 : 9;
            if (left < w)
                break;
            left -= w;
            if (separator) {
                separator = FALSE;
                head = (head + 1) % 3;
            } else if (++chars == lengths[head]) {
                chars = 0;
                separator = TRUE;
            }
        }
        EXPECT_EQ(head, row.ticker->headIndex) << "step " << step;
        EXPECT_EQ(chars, row.ticker->items[head].scrolledChars) << "step " << step;
        EXPECT_EQ(separator, row.scroll.separatorPhase) << "step " << step;
        EXPECT_EQ(-left, row.scroll.offset) << "step " << step;
    }
}

TEST(ScrollBookkeeping, EmptyAndMissingTitlesStillAdvance)
{
    Row row({ NULL, L"", L"z" });
    row.Frame(1);
    /* Both empty heads went straight to their separators. */
    EXPECT_EQ(0, row.ticker->headIndex);
    EXPECT_TRUE(row.scroll.separatorPhase);
    EXPECT_EQ(-1, row.scroll.offset);
    row.Frame(49);
    EXPECT_EQ(1, row.ticker->headIndex);
    EXPECT_TRUE(row.scroll.separatorPhase) << "the empty second title has only its separator";
    row.Frame(50);
    EXPECT_EQ(2, row.ticker->headIndex);
    EXPECT_FALSE(row.scroll.separatorPhase);
}

TEST(ScrollBookkeeping, EmptyListAndZeroWidthsDoNotSpin)
{
    Row none({});
    none.Frame(5);
    EXPECT_EQ(0, none.scroll.offset);
    EXPECT_EQ(0, none.ticker->headIndex);

    Row flat({ L"abc", L"de" });
    flat.charWidth = 0;
    flat.separatorWidth = 0;
    flat.Frame(3);
    EXPECT_EQ(0, flat.scroll.offset);
}

TEST(ScrollBookkeeping, ReloadDuringTheSeparatorPhase)
{
    Row row({ L"a", L"b" });
    row.Frame(12);
    ASSERT_TRUE(row.scroll.separatorPhase);
    EXPECT_EQ(-2, row.scroll.offset);
    /* A reload keeps the thread's offset and phase and starts at item 0,
       so the separator that is left leads to the new list's second item. */
    ReleaseTickerItems(row.ticker->items, row.ticker->itemCount);
    row.ticker->itemCount = 0;
    row.ticker->headIndex = 0;
    for (const WCHAR *title : { L"new one", L"new two" }) {
        TickerItem *item = &row.ticker->items[row.ticker->itemCount++];
        item->ops = &tickerItemOps;
        item->title = SysAllocString(title);
        item->titleLength = lstrlenW(title);
        item->scrolledChars = 0;
    }
    row.Frame(48);
    EXPECT_FALSE(row.scroll.separatorPhase);
    EXPECT_EQ(1, row.ticker->headIndex);
    EXPECT_EQ(0, row.ticker->items[1].scrolledChars);
}

}  // namespace
