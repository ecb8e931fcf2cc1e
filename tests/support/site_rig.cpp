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
        EXPECT_EQ(S_OK, SetSite(band, NULL));
        EXPECT_EQ(0u, BandObject_Release(band)) << "the last Release";
        band = NULL;
    }
    bands.clear();
    EXPECT_TRUE(PumpUntil([] { return CanUnloadModule() == S_OK; }, 15000)) << "DllCanUnloadNow";
}

struct DialogSearch {
    const char *name;
    bool messageBox;
    HWND ignore;
    HWND found;
};

static BOOL CALLBACK MatchDialog(HWND window, LPARAM context)
{
    DialogSearch *search = (DialogSearch *)context;
    char name[64];
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    if (process != GetCurrentProcessId() || !IsWindowVisible(window) || window == search->ignore ||
        !GetClassNameA(window, name, sizeof(name)) || lstrcmpA(name, search->name) != 0)
        return TRUE;
    if (lstrcmpA(name, "#32770") == 0 && search->messageBox != (GetDlgItem(window, 0xFFFF) != NULL))
        return TRUE;
    search->found = window;
    return FALSE;
}

HWND FindVisible(const char *name, bool messageBox, HWND ignore)
{
    DialogSearch search = { name, messageBox, ignore, NULL };
    EnumWindows(MatchDialog, (LPARAM)&search);
    return search.found;
}

DialogDriver::DialogDriver(Action action, void *context, HWND ignore, const char *name)
    : action_(action), context_(context), ignore_(ignore), name_(name), count_(0)
{
    stop_ = CreateEventA(NULL, TRUE, FALSE, NULL);
    thread_ = CreateThread(NULL, 0, Drive, this, 0, NULL);
}

DialogDriver::~DialogDriver()
{
    SetEvent(stop_);
    WaitForSingleObject(thread_, 10000);
    CloseHandle(thread_);
    CloseHandle(stop_);
}

DWORD WINAPI DialogDriver::Drive(void *parameter)
{
    DialogDriver *self = (DialogDriver *)parameter;
    while (WaitForSingleObject(self->stop_, 5) == WAIT_TIMEOUT) {
        HWND dialog = FindVisible(self->name_, false, self->ignore_);
        if (!dialog)
            continue;
        self->action_(dialog, self->context_);
        InterlockedIncrement(&self->count_);
        for (int i = 0; i < 1000 && IsWindow(dialog) && IsWindowVisible(dialog); i++)
            if (WaitForSingleObject(self->stop_, 5) != WAIT_TIMEOUT)
                break;
    }
    return 0;
}

BoxWatcher::BoxWatcher() : count_(0), owner_(NULL)
{
    text_[0] = 0;
    stop_ = CreateEventA(NULL, TRUE, FALSE, NULL);
    thread_ = CreateThread(NULL, 0, Watch, this, 0, NULL);
}

BoxWatcher::~BoxWatcher()
{
    SetEvent(stop_);
    WaitForSingleObject(thread_, 5000);
    CloseHandle(thread_);
    CloseHandle(stop_);
}

std::string BoxWatcher::LastText() const
{
    return text_;
}

DWORD WINAPI BoxWatcher::Watch(void *parameter)
{
    BoxWatcher *self = (BoxWatcher *)parameter;
    while (WaitForSingleObject(self->stop_, 10) == WAIT_TIMEOUT) {
        HWND box = FindVisible("#32770", true);
        if (!box)
            continue;
        GetDlgItemTextA(box, 0xFFFF, self->text_, sizeof(self->text_));
        self->owner_ = GetWindow(box, GW_OWNER);
        InterlockedIncrement(&self->count_);
        PostMessageA(box, WM_COMMAND, IDOK, 0);
        for (int i = 0; i < 300 && IsWindow(box) && IsWindowVisible(box); i++)
            Sleep(10);
    }
    return 0;
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
