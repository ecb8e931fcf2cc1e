#include "tests/support/ticker_scene.h"
#include "band/band.h"
#include <commctrl.h>

static const char FRAME_CLASS[] = "velmora test frame";

static void RegisterFrameClass()
{
    WNDCLASSA windowClass = {};
    windowClass.lpfnWndProc = DefWindowProcA;
    windowClass.hInstance = GetModuleHandleA(NULL);
    windowClass.hCursor = LoadCursor(NULL, IDC_ARROW);
    windowClass.hbrBackground = (HBRUSH)GetStockObject(GRAY_BRUSH);
    windowClass.lpszClassName = FRAME_CLASS;
    RegisterClassA(&windowClass);
}

TickerScene::TickerScene(int frameX, int frameY) : frame(NULL), toolbar(NULL)
{
    RegisterFrameClass();
    frame = CreateWindowExA(0, FRAME_CLASS, "velmora test browser", WS_POPUP | WS_VISIBLE,
                            frameX, frameY, 1060, 120, NULL, NULL, GetModuleHandleA(NULL), NULL);
    band.browser = browser.browser();
    processBandState = &band;
}

TickerScene::~TickerScene()
{
    /* As when a band leaves its site: the windows go before the ticker. */
    if (frame)
        DestroyWindow(frame);
    Stop();
    processBandState = NULL;
}

HWND TickerScene::AddToolbar(int y)
{
    HWND bar = CreateWindowExA(0, "STATIC", NULL, WS_CHILD | WS_VISIBLE, 0, y, 1050, 30, frame,
                               (HMENU)4096, GetModuleHandleA(NULL), NULL);
    CreateWindowExA(WS_EX_CLIENTEDGE, TICKER_WINDOW_CLASS, NULL,
                    WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS | WS_CLIPCHILDREN, 10, 2, 1024, 25, bar,
                    (HMENU)4097, moduleHandle, &band);
    return bar;
}

bool TickerScene::Show(const std::string &body)
{
    if (!Start(body) || !WaitLoaded())
        return false;
    Present();
    return true;
}

void BringToFront(HWND window)
{
    DWORD since = GetTickCount();
    PumpUntil([&] {
        if (GetForegroundWindow() != window) {
            SetForegroundWindow(window);
            since = GetTickCount();
        }
        return GetTickCount() - since >= 100;
    }, 3000);
}

void TickerScene::Present()
{
    toolbar = AddToolbar(0);
    band.topWindow = frame;
    BringToFront(frame);
    Attach(toolbar);
    PumpFor(200);
}

void TickerScene::Attach(HWND bar)
{
    band.bandWindow = bar;
    SetEvent(ticker()->targetEvent);
}

HWND TickerScene::TickerWindow(HWND bar) const
{
    return GetDlgItem(bar ? bar : toolbar, 4097);
}

std::vector<DWORD> TickerScene::Pixels(HWND bar, SIZE *size) const
{
    return WindowPixels(TickerWindow(bar), false, size);
}

static DWORD Rgb(COLORREF color)
{
    return (GetRValue(color) << 16) | (GetGValue(color) << 8) | GetBValue(color);
}

int TickerScene::CountColor(COLORREF color, HWND bar) const
{
    int count = 0;
    for (DWORD p : Pixels(bar))
        count += p == Rgb(color);
    return count;
}

POINT TickerScene::PointAtItem(int index) const
{
    /* The part of the item inside the window: a headline entering from the
       right may still stand half outside it. */
    RECT rect = ticker()->items[index].rect, client;
    GetClientRect(TickerWindow(), &client);
    IntersectRect(&rect, &rect, &client);
    POINT point = { (rect.left + rect.right) / 2, (rect.top + rect.bottom) / 2 };
    ClientToScreen(TickerWindow(), &point);
    SetCursorPos(point.x, point.y);
    return point;
}

bool TickerScene::ShowsStatusText(UINT id) const
{
    char text[256];
    LoadStringA(moduleHandle, id, text, sizeof(text));
    HWND window = TickerWindow();
    HDC dc = GetDC(window);
    HGDIOBJ oldFont = SelectObject(dc, ticker()->textFont);
    SIZE extent;
    GetTextExtentPoint32A(dc, text, lstrlenA(text), &extent);
    SelectObject(dc, oldFont);
    ReleaseDC(window, dc);

    SIZE size;
    std::vector<DWORD> pixels = Pixels(NULL, &size);
    LONG left = (size.cx - extent.cx) / 2;
    RECT box = { left - 2, 0, left + extent.cx + 2, extent.cy };
    LONG inkLeft = size.cx, inkRight = -1;
    for (LONG y = 0; y < size.cy; y++) {
        for (LONG x = 0; x < size.cx; x++) {
            DWORD p = pixels[y * size.cx + x];
            POINT at = { x, y };
            if (p != 0xFFFFFF && !PtInRect(&box, at))
                return false;
            if (p == 0) {
                inkLeft = x < inkLeft ? x : inkLeft;
                inkRight = x > inkRight ? x : inkRight;
            }
        }
    }
    return inkLeft <= left + 3 && inkRight >= left + extent.cx - 4;
}

bool TickerScene::WaitForHover(DWORD timeoutMs)
{
    TickerState *t = ticker();
    return PumpUntil([t] { return t->hoveredItem != NULL; }, timeoutMs);
}

void TickerScene::PumpFor(DWORD ms)
{
    DWORD start = GetTickCount();
    PumpUntil([&] { return GetTickCount() - start >= ms; }, ms + 1000);
}

struct TooltipSearch {
    bool rendererOnly;
    HWND found;
};

static BOOL CALLBACK FindTooltip(HWND window, LPARAM context)
{
    TooltipSearch *search = (TooltipSearch *)context;
    char name[64];
    DWORD process = 0;
    DWORD thread = GetWindowThreadProcessId(window, &process);
    if (process == GetCurrentProcessId() && GetClassNameA(window, name, sizeof(name)) &&
        lstrcmpiA(name, TOOLTIPS_CLASSA) == 0 &&
        (search->rendererOnly ? thread != GetCurrentThreadId() : IsWindowVisible(window) != 0)) {
        search->found = window;
        return FALSE;
    }
    return TRUE;
}

HWND FindVisibleTooltip()
{
    TooltipSearch search = { false, NULL };
    EnumWindows(FindTooltip, (LPARAM)&search);
    return search.found;
}

HWND FindRendererTooltip()
{
    TooltipSearch search = { true, NULL };
    EnumWindows(FindTooltip, (LPARAM)&search);
    return search.found;
}
