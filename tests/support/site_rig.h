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

/* A visible window of this process of class #32770 whose caption contains
   title, or null. */
HWND FindDialog(const char *title, bool messageBox);

#endif
