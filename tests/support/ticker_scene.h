/* Test support: a ticker on screen. A top-level window stands for the
   browser frame, a child for the band's toolbar, and in it the real ticker
   window (child 4097), with the rendering thread attached to it. */
#ifndef VELMORA_TEST_TICKER_SCENE_H
#define VELMORA_TEST_TICKER_SCENE_H

#include "tests/support/ticker_rig.h"
#include "tests/standins/browser.h"

/* Puts window in front and keeps asking until it has stayed there a
   moment: under load Wine may still be handling the X focus events of a
   window that went before, and hand the foreground to the desktop after. */
void BringToFront(HWND window);

class TickerScene : public TickerRig {
public:
    TickerScene(int frameX = 0, int frameY = 0);
    ~TickerScene();
    /* Creates the windows for a second band; returns its toolbar. */
    HWND AddToolbar(int y);
    /* Starts the ticker on body, then presents it. */
    bool Show(const std::string &body);
    /* Puts the frame in front and attaches the ticker to a first band. */
    void Present();
    void Attach(HWND toolbar);
    HWND TickerWindow(HWND toolbar = NULL) const;
    /* Pixels of the ticker window's client area, 0x00RRGGBB per pixel. */
    std::vector<DWORD> Pixels(HWND toolbar = NULL, SIZE *size = NULL) const;
    int CountColor(COLORREF color, HWND toolbar = NULL) const;
    /* Puts the cursor in the middle of the visible part of item index's last
       drawn rectangle. */
    POINT PointAtItem(int index) const;
    /* Whether the window shows the string resource as its status text: black
       ink as wide as the string, centred at the top, white everywhere else. */
    bool ShowsStatusText(UINT id) const;
    bool WaitForHover(DWORD timeoutMs = 5000);
    /* Waits until some frames have been drawn. */
    void PumpFor(DWORD ms);

    HWND frame;
    HWND toolbar;
    StandInBrowser browser;
};

/* The visible tooltip window of this process, or null. */
HWND FindVisibleTooltip();
/* The rendering thread's tooltip, shown or not: the one of another thread. */
HWND FindRendererTooltip();

#endif
