#include "tests/support/site_rig.h"
#include "core/module.h"
#include "settings/settings.h"
#include "core/ids.h"

std::string LinkedFeed(const LoopbackServer &server)
{
    std::string body = "<?xml version=\"1.0\"?><rss version=\"2.0\"><channel><title>linked</title>";
    for (int i = 1; i <= 3; i++)
        body += "<item><title>headline number " + std::to_string(i) + "</title><link>" +
                server.Url("/link" + std::to_string(i)) + "</link></item>";
    return body + "</channel></rss>";
}

void SiteRig::SetUp()
{
    StandInRig::SetUp();
    rig.server.Serve("/ticker", LinkedFeed(rig.server));
    ASSERT_TRUE(rig.Build());
    bands.push_back(rig.object);
    rig.object = NULL;
}

void SiteRig::TearDown()
{
    for (InterfaceEntry *band : bands)
        if (band) {
            SetSite(band, NULL);
            BandObject_Release(band);
        }
    bands.clear();
    StandInRig::TearDown();
}

InterfaceEntry *SiteRig::NewBand()
{
    InterfaceEntry *band = NULL;
    EXPECT_EQ(0u, CreateBandObject(&band));
    if (band) {
        BandObject_AddRef(band);
        bands.push_back(band);
    }
    return band;
}

HRESULT SiteRig::SetSite(InterfaceEntry *band, IUnknown *site)
{
    IObjectWithSite *withSite = QueryBand<IObjectWithSite>(band, IID_IObjectWithSite);
    if (!withSite)
        return E_NOINTERFACE;
    HRESULT hr = IObjectWithSite_SetSite(withSite, site);
    IObjectWithSite_Release(withSite);
    return hr;
}

HWND SiteRig::BandWindow(InterfaceEntry *band)
{
    IDeskBand *deskBand = QueryBand<IDeskBand>(band, IID_IDeskBand);
    HWND window = NULL;
    if (deskBand) {
        IDeskBand_GetWindow(deskBand, &window);
        IDeskBand_Release(deskBand);
    }
    return window;
}

void SiteRig::ExpectAllReleased()
{
    for (InterfaceEntry *&band : bands) {
        EXPECT_HR(S_OK, SetSite(band, NULL));
        EXPECT_EQ(0u, BandObject_Release(band)) << "the last Release";
        band = NULL;
    }
    bands.clear();
    EXPECT_TRUE(PumpUntil([] { return CanUnloadModule() == S_OK; }, 15000)) << "DllCanUnloadNow";
}

int CountPixels(HWND window, COLORREF color)
{
    DWORD rgb = (GetRValue(color) << 16) | (GetGValue(color) << 8) | GetBValue(color);
    int count = 0;
    for (DWORD p : WindowPixels(window))
        count += p == rgb;
    return count;
}

bool TickerDrawsIn(HWND toolbar, COLORREF color)
{
    HWND ticker = GetDlgItem(toolbar, TICKER_ID);
    return PumpUntil([ticker, color] { return CountPixels(ticker, color) > 500; }, 10000);
}
