#include "tests/support/band_rig.h"
#include "core/module.h"
#include "feeds/feedlist.h"
#include "settings/settings.h"
#include "toolbar/toolbar.h"
#include <commctrl.h>

static const char STORE_KEY[] = "CLSID\\{FE6B11C3-C72E-4061-86C6-9D163121F229}\\InprocServer32";

/* Wine reads classes only from HKCR; without a threading model a worker
   thread's creation would wait for the main apartment. */
static void RegisterStoreStandIn()
{
    HKEY key;
    if (RegCreateKeyExA(HKEY_CLASSES_ROOT, STORE_KEY, 0, NULL, 0, KEY_WRITE, NULL, &key, NULL))
        return;
    std::string path = TestProgramFolder() + "\\feedstore.dll";
    RegSetValueExA(key, NULL, 0, REG_SZ, (const BYTE *)path.c_str(), (DWORD)path.size() + 1);
    RegSetValueExA(key, "ThreadingModel", 0, REG_SZ, (const BYTE *)"Apartment", 10);
    RegCloseKey(key);
}

static LRESULT CALLBACK SiteProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    return DefWindowProcA(window, message, wParam, lParam);
}

std::string ChannelFeed(const std::string &title)
{
    return "<?xml version=\"1.0\"?><rss version=\"2.0\"><channel><title>" + title +
           "</title><item><title>news</title></item></channel></rss>";
}

BandRig::BandRig() : object(NULL), site(NULL), toolbar(NULL)
{
    server.Start();
    RegisterStoreStandIn();
    NoStore();
    /* The rendering thread's first load stays on the loopback server. */
    server.Serve("/ticker", ChannelFeed("ticker"));
    WriteServers({}, server.Url("/ticker"));
}

BandRig::~BandRig()
{
    DestroyWindows();
    Release();
    NoStore();
    /* A fill thread still downloading must end before the scratch DLL goes. */
    server.Release();
    PumpUntil([] { return CanUnloadModule() == S_OK; }, 30000);
    server.Stop();
    DeleteFileA((scratch.folder() + "\\store.txt").c_str());
}

void BandRig::WriteServers(const std::vector<std::string> &urls, const std::string &show)
{
    std::string list;
    for (const std::string &url : urls)
        list += url + ";";
    scratch.WriteSettings("[Servers]\r\nServers=" + list + "\r\nshow=" + show + "\r\n");
}

bool BandRig::Build()
{
    if (!scratch.ok() || CreateBandObject(&object) != 0)
        return false;
    BandObject_AddRef(object);
    LoadBandSettings(processBandState);
    return true;
}

bool BandRig::CreateWindows(int siteWidth)
{
    WNDCLASSA windowClass = {};
    windowClass.lpfnWndProc = SiteProc;
    windowClass.hInstance = GetModuleHandleA(NULL);
    windowClass.lpszClassName = "velmora test site";
    RegisterClassA(&windowClass);
    site = CreateWindowExA(0, windowClass.lpszClassName, NULL, WS_POPUP | WS_CLIPCHILDREN, 0, 0, siteWidth, 40,
                           NULL, NULL, windowClass.hInstance, NULL);
    if (!site)
        return false;
    ActivateModuleContext();
    CreateBandWindows(processBandState, site, &toolbar);
    DeactivateModuleContext();
    return toolbar != NULL;
}

void BandRig::DestroyWindows()
{
    if (toolbar && IsWindow(toolbar))
        DestroyWindow(toolbar);
    toolbar = NULL;
    if (site)
        DestroyWindow(site);
    site = NULL;
}

void BandRig::Release()
{
    if (object)
        BandObject_Release(object);
    object = NULL;
}

void BandRig::SetStoreFeeds(const std::vector<std::pair<std::string, std::string>> &feeds)
{
    std::string text;
    for (const auto &feed : feeds)
        text += feed.first + "\t" + feed.second + "\n";
    std::string path = scratch.folder() + "\\store.txt";
    WriteWholeFile(path, text);
    SetEnvironmentVariableA("VELMORA_FEEDSTORE", path.c_str());
}

void BandRig::NoStore()
{
    SetEnvironmentVariableA("VELMORA_FEEDSTORE", NULL);
}

LONG BandRig::StoreObjects() const
{
    HMODULE store = GetModuleHandleA("feedstore.dll");
    auto live = store ? (LONG (WINAPI *)(void))(void (*)(void))GetProcAddress(store, "FeedStoreLiveObjects") : NULL;
    return live ? live() : 0;
}

HWND BandRig::combo() const
{
    return GetDlgItem(toolbar, FEED_COMBO_ID);
}

HWND BandRig::ticker() const
{
    return GetDlgItem(toolbar, TICKER_ID);
}

bool BandRig::WaitFills(int count, DWORD timeoutMs)
{
    for (int i = 0; i < count; i++)
        if (!WaitPumping(processBandState->feedListDoneEvent, timeoutMs))
            return false;
    return true;
}

std::vector<LONG> BandRig::ItemData() const
{
    std::vector<LONG> data;
    LRESULT count = SendMessageA(combo(), CB_GETCOUNT, 0, 0);
    for (LRESULT i = 0; i < count; i++)
        data.push_back((LONG)SendMessageA(combo(), CB_GETITEMDATA, i, 0));
    return data;
}

std::vector<std::string> BandRig::Texts() const
{
    std::vector<std::string> texts;
    LRESULT count = SendMessageA(combo(), CB_GETCOUNT, 0, 0);
    for (LRESULT i = 0; i < count; i++) {
        char text[2048] = {};
        COMBOBOXEXITEMA item = {};
        item.mask = CBEIF_TEXT;
        item.iItem = i;
        item.pszText = text;
        item.cchTextMax = sizeof(text);
        SendMessageA(combo(), CBEM_GETITEMA, 0, (LPARAM)&item);
        texts.push_back(text);
    }
    return texts;
}

void BandRig::Choose(int index)
{
    SendMessageA(combo(), CB_SETCURSEL, index, 0);
    SendMessageA(toolbar, WM_COMMAND, MAKEWPARAM(FEED_COMBO_ID, CBN_SELCHANGE), (LPARAM)combo());
}
