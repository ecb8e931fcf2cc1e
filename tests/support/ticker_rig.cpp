#include "tests/support/ticker_rig.h"
#include "core/handoff.h"
#include "band/band.h"
#include <ole2.h>

std::string MakeRss(int count, const std::string &prefix, const std::string &extraPerItem)
{
    std::string body = "<?xml version=\"1.0\"?><rss version=\"2.0\"><channel><title>Test channel</title>";
    for (int i = 1; i <= count; i++)
        body += "<item><title>" + prefix + std::to_string(i) + "</title>" + extraPerItem + "</item>";
    return body + "</channel></rss>";
}

TickerRig::TickerRig() : band(), serverList(65536, 0)
{
    band.serverList = serverList.data();
    band.textColor = 0x000000;
    band.linkColor = 0xFF0000;
    band.backColor = 0xFFFFFF;
    band.speed = 1;
    server.Start();
}

TickerRig::~TickerRig()
{
    Stop();
    server.Stop();
}

bool TickerRig::Start(const std::string &body, LoopbackServer::Mode mode)
{
    server.Serve("/feed", body, 200, "text/xml", mode);
    WritePrivateProfileStringA("Servers", "show", server.Url("/feed").c_str(),
                               scratch.SettingsPath().c_str());
    return StartTicker();
}

bool TickerRig::StartTicker()
{
    if (!scratch.ok())
        return false;
    CreateTicker(moduleHandle, &band);
    return band.ticker != NULL;
}

void TickerRig::Stop()
{
    if (band.ticker)
        DestroyTicker(&band);
}

bool TickerRig::WaitLoaded(DWORD timeoutMs)
{
    TickerState *t = band.ticker;
    return PumpUntil([t] {
        return t->loadFailed || WaitForSingleObject(t->loadingEvent, 0) == WAIT_OBJECT_0;
    }, timeoutMs);
}

void TickerRig::ChooseFeed(const std::string &url)
{
    RequestFeedLoad(band.ticker, url.c_str());
}

std::string TickerRig::Title(int index) const
{
    std::string out;
    const BSTR title = band.ticker->items[index].title;
    for (UINT i = 0; title && i < SysStringLen(title); i++)
        out += (char)title[i];
    return out;
}

bool TickerEventsExist()
{
    /* Each process has its own: the name ends in the process id. */
    std::string name = "velmra load event " + std::to_string(GetCurrentProcessId());
    HANDLE event = OpenEventA(SYNCHRONIZE, FALSE, name.c_str());
    if (event)
        CloseHandle(event);
    return event != NULL;
}
