/* Test support: a BandState with a live ticker whose feed comes from the
   loopback server, on a private copy of the DLL. */
#ifndef VELMORA_TEST_TICKER_RIG_H
#define VELMORA_TEST_TICKER_RIG_H

#include "tests/support/http_server.h"
#include "tests/support/scratch.h"
#include "ticker/ticker.h"
#include <string>
#include <vector>

/* An RSS 2.0 document with count items titled prefix1, prefix2, ... */
std::string MakeRss(int count, const std::string &prefix = "item",
                    const std::string &extraPerItem = "");

/* Whether this process's ticker events exist: they do exactly while a
   process state does. */
bool TickerEventsExist();

class TickerRig {
public:
    TickerRig();
    ~TickerRig();
    /* Serves body at /feed, stores it as the shown feed and creates the ticker. */
    bool Start(const std::string &body, LoopbackServer::Mode mode = LoopbackServer::Answer);
    /* Creates the ticker with the settings as they stand. */
    bool StartTicker();
    void Stop();
    TickerState *ticker() const { return band.ticker; }
    /* Waits until the current load has finished, well or not. */
    bool WaitLoaded(DWORD timeoutMs = 10000);
    /* Stores url as feedUrl and sets the load event, as the combo box does. */
    void ChooseFeed(const std::string &url);
    std::string Title(int index) const;

    ScratchModule scratch;
    LoopbackServer server;
    BandState band;
    std::vector<char> serverList;
};

#endif
