/* Test support: band objects of the product code hosted in stand-in band
   sites, with the ticker's feed on the loopback server, and a watcher that
   answers the message boxes the band shows. */
#ifndef VELMORA_TEST_SITE_RIG_H
#define VELMORA_TEST_SITE_RIG_H

#include "tests/support/band_rig.h"
#include "tests/support/site_standin.h"
#include <gtest/gtest.h>
#include <string>
#include <vector>

/* The ticker's feed: three headlines, each linking to /linkN. */
std::string LinkedFeed(const LoopbackServer &server);

template <class Interface> Interface *QueryBand(InterfaceEntry *band, REFIID riid)
{
    void *out = NULL;
    EXPECT_EQ(S_OK, BandObject_QueryInterface(band, riid, &out));
    return (Interface *)out;
}

class SiteRig : public testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;
    /* Another band object of the same process state, with one reference. */
    InterfaceEntry *NewBand();
    HRESULT SetSite(InterfaceEntry *band, IUnknown *site);
    HWND BandWindow(InterfaceEntry *band);
    /* The last Release of each band gives 0 and the module can unload. */
    void ExpectAllReleased();

    BandRig rig;
    std::vector<InterfaceEntry *> bands;
};

/* Pixels of window's client area in color. */
int CountPixels(HWND window, COLORREF color);

/* A background no default colour has, for telling the renderer's frames. */
const COLORREF MARK = RGB(0, 200, 0);

/* Waits until the rendering thread draws color into the ticker of toolbar. */
bool TickerDrawsIn(HWND toolbar, COLORREF color = MARK);

/* Answers every message box of this process with OK, keeping its text and owner. */
class BoxWatcher {
public:
    BoxWatcher();
    ~BoxWatcher();
    int Count() const { return count_; }
    std::string LastText() const;
    HWND LastOwner() const { return owner_; }

private:
    static DWORD WINAPI Watch(void *self);
    HANDLE stop_;
    HANDLE thread_;
    volatile LONG count_;
    char text_[512];
    HWND owner_;
};

/* A visible window of this process of class name ("#32770" dialogs and
   boxes, "#32768" menus), other than ignore; for #32770, a message box or
   not as messageBox says. Null when there is none. */
HWND FindVisible(const char *name, bool messageBox = false, HWND ignore = NULL);

/* Acts on each dialog (not a message box) that shows while it lives, other
   than ignore, on a thread of its own, and waits until that dialog is gone. */
class DialogDriver {
public:
    typedef void (*Action)(HWND dialog, void *context);
    DialogDriver(Action action, void *context, HWND ignore = NULL, const char *name = "#32770");
    ~DialogDriver();
    int Count() const { return count_; }

private:
    static DWORD WINAPI Drive(void *self);
    Action action_;
    void *context_;
    HWND ignore_;
    const char *name_;
    HANDLE stop_;
    HANDLE thread_;
    volatile LONG count_;
};

#endif
