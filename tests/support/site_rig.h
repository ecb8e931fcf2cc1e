/* Test support: band objects of the product code hosted in stand-in band
   sites, with the ticker's feed on the loopback server; the band's boxes and
   dialogs are answered with tests/support/boxes.h. */
#ifndef VELMORA_TEST_SITE_RIG_H
#define VELMORA_TEST_SITE_RIG_H

#include "tests/support/band_rig.h"
#include "tests/standins/site.h"
#include "tests/support/hresult.h"
#include "tests/support/boxes.h"
#include "tests/support/standin_rig.h"
#include <gtest/gtest.h>
#include <string>
#include <vector>

/* The ticker's feed: three headlines, each linking to /linkN. */
std::string LinkedFeed(const LoopbackServer &server);

template <class Interface> Interface *QueryBand(InterfaceEntry *band, REFIID riid)
{
    void *out = NULL;
    EXPECT_HR(S_OK, BandObject_QueryInterface(band, riid, &out));
    return (Interface *)out;
}

class SiteRig : public StandInRig {
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

#endif
