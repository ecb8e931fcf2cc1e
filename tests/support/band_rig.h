/* Test support: the process state as the first band object builds it, and
   the band's windows in a site window of their own, from the product code
   linked into the test program and the resources of a scratch velmora.dll.
   The feed store is the stand-in DLL built beside the tests. */
#ifndef VELMORA_TEST_BAND_RIG_H
#define VELMORA_TEST_BAND_RIG_H

#include "tests/support/http_server.h"
#include "tests/support/scratch.h"
#include "band/band.h"
#include "ticker/ticker.h"
#include <string>
#include <utility>
#include <vector>

class BandRig {
public:
    BandRig();
    ~BandRig();
    /* The settings file's server list and shown feed; then the state. */
    void WriteServers(const std::vector<std::string> &urls, const std::string &show);
    bool Build();
    /* The site window (client width siteWidth) and CreateBandWindows in it. */
    bool CreateWindows(int siteWidth = 1000);
    void DestroyWindows();
    void Release();

    /* The stand-in store's feeds as (URL, title); NoStore() removes it. */
    void SetStoreFeeds(const std::vector<std::pair<std::string, std::string>> &feeds);
    void NoStore();
    LONG StoreObjects() const;

    BandState *band() const { return processBandState; }
    HWND combo() const;
    HWND ticker() const;
    /* Waits until count fills have ended (the done event is auto-reset). */
    bool WaitFills(int count = 1, DWORD timeoutMs = 15000);
    std::vector<LONG> ItemData() const;
    std::vector<std::string> Texts() const;
    /* Selects entry index and tells the toolbar the user chose it. */
    void Choose(int index);

    ScratchModule scratch;
    LoopbackServer server;
    InterfaceEntry *object;
    HWND site;
    HWND toolbar;
};

/* A small RSS document whose channel is titled title. */
std::string ChannelFeed(const std::string &title);

#endif
