/* The band in the browser's keyboard cycle: IInputObject, and the site
   told of every change of the focus between the band and the browser.
   Tab moves through the band's stops (the menu button, the ticker, the
   feed combo box) and out to the browser after the last; a key goes to
   the band's window only when that window claims it through
   WM_GETDLGCODE, so the browser keeps every key the band does not use;
   Esc hands the focus back. Runs on the browser's apartment thread. */
#include "band/band.h"
#include "core/ids.h"
#include <commctrl.h>

/* The focus left a combo box; where it went is known only afterwards. */
#define BAND_FOCUS_LOOK 2

static const int focusStops[] = { TOOLBAR_ID, TICKER_ID, FEED_COMBO_ID };
#define FOCUS_STOP_COUNT ((int)(sizeof(focusStops) / sizeof(focusStops[0])))

static HWND FocusStop(const BandObject *band, int stop)
{
    HWND toolbar = band->view.bandWindow;
    return focusStops[stop] == TOOLBAR_ID ? toolbar : GetDlgItem(toolbar, focusStops[stop]);
}

static BOOL InBand(const BandObject *band, HWND window)
{
    HWND toolbar = band->view.bandWindow;
    return toolbar && window && (window == toolbar || IsChild(toolbar, window));
}

/* The stop that holds the focus, or -1. */
static int CurrentStop(const BandObject *band)
{
    HWND focus = GetFocus();
    for (int stop = 0; stop < FOCUS_STOP_COUNT; stop++) {
        HWND window = FocusStop(band, stop);
        /* The toolbar holds the other stops: only its own focus is its. */
        BOOL inside = focusStops[stop] != TOOLBAR_ID && IsChild(window, focus);
        if (window && (focus == window || inside))
            return stop;
    }
    return -1;
}

static void ReportFocus(BandObject *band, BOOL focused)
{
    if (band->focusReported == focused || !band->inputObjectSite)
        return;
    band->focusReported = focused;
    (void)IInputObjectSite_OnFocusChangeIS(band->inputObjectSite, (IUnknown *)&band->unknownEntry, focused);
}

/* Hears the band's windows through the toolbar: its own focus, the combo
   box's notifications and the ticker's WM_BAND_FOCUS. */
static LRESULT CALLBACK BandFocusProc(HWND toolbar, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR id,
                                      DWORD_PTR data)
{
    (void)data;
    BandObject *band = (BandObject *)id;
    switch (message) {
    case WM_BAND_FOCUS:
        ReportFocus(band, wParam == BAND_FOCUS_LOOK ? InBand(band, GetFocus()) : wParam != 0);
        return 0;
    case WM_SETFOCUS:
        ReportFocus(band, TRUE);
        break;
    case WM_KILLFOCUS:
        ReportFocus(band, InBand(band, (HWND)wParam));
        break;
    case WM_COMMAND:
        if (LOWORD(wParam) == FEED_COMBO_ID && HIWORD(wParam) == CBN_SETFOCUS)
            ReportFocus(band, TRUE);
        else if (LOWORD(wParam) == FEED_COMBO_ID && HIWORD(wParam) == CBN_KILLFOCUS)
            PostMessageA(toolbar, WM_BAND_FOCUS, BAND_FOCUS_LOOK, 0);
        break;
    case WM_NCDESTROY:
        RemoveWindowSubclass(toolbar, BandFocusProc, id);
        break;
    }
    return DefSubclassProc(toolbar, message, wParam, lParam);
}

void WatchBandFocus(BandObject *band)
{
    band->focusReported = FALSE;
    if (band->view.bandWindow)
        SetWindowSubclass(band->view.bandWindow, BandFocusProc, (UINT_PTR)band, 0);
}

void UnwatchBandFocus(BandObject *band)
{
    if (band->view.bandWindow)
        RemoveWindowSubclass(band->view.bandWindow, BandFocusProc, (UINT_PTR)band);
    band->focusReported = FALSE;
}

/* FALSE when the step leaves the band: the browser moves the focus on. */
static BOOL MoveFocus(BandObject *band, int direction)
{
    int stop = CurrentStop(band);
    if (stop < 0)
        return FALSE;
    for (stop += direction; stop >= 0 && stop < FOCUS_STOP_COUNT; stop += direction) {
        HWND window = FocusStop(band, stop);
        if (window && IsWindowVisible(window) && IsWindowEnabled(window)) {
            SetFocus(window);
            return TRUE;
        }
    }
    return FALSE;
}

static BOOL IsArrowKey(WPARAM key)
{
    return key == VK_LEFT || key == VK_RIGHT || key == VK_UP || key == VK_DOWN;
}

/* Keys a list-like control that takes the arrows also uses. */
static BOOL IsListKey(WPARAM key)
{
    return IsArrowKey(key) || key == VK_F4 || key == VK_HOME || key == VK_END || key == VK_PRIOR ||
           key == VK_NEXT;
}

/* Whether the window the key is for takes it, as a dialog would ask. */
static BOOL WindowWantsKey(MSG *msg)
{
    LRESULT code = SendMessageA(msg->hwnd, WM_GETDLGCODE, msg->wParam, (LPARAM)msg);
    if (code & (DLGC_WANTALLKEYS | DLGC_WANTMESSAGE))
        return TRUE;
    if (msg->message == WM_CHAR)
        return (code & DLGC_WANTCHARS) != 0;
    if (msg->message == WM_KEYDOWN || msg->message == WM_KEYUP)
        return (code & DLGC_WANTARROWS) && IsListKey(msg->wParam);
    return FALSE;
}

static BOOL IsShiftTab(const MSG *msg)
{
    return msg && msg->message == WM_KEYDOWN && msg->wParam == VK_TAB && GetKeyState(VK_SHIFT) < 0;
}

/* ---- IInputObject ---- */

/* Coming backwards with Shift+Tab the focus lands on the last stop. */
static HRESULT STDMETHODCALLTYPE InputObject_UIActivateIO(IInputObject *iface, BOOL activate, MSG *msg)
{
    BandObject *band = OwnerOf(iface);
    if (!activate || !band->view.bandWindow)
        return S_OK;
    HWND stop = FocusStop(band, IsShiftTab(msg) ? FOCUS_STOP_COUNT - 1 : 0);
    SetFocus(stop ? stop : band->view.bandWindow);
    ReportFocus(band, TRUE);
    return S_OK;
}

static HRESULT STDMETHODCALLTYPE InputObject_HasFocusIO(IInputObject *iface)
{
    return CurrentStop(OwnerOf(iface)) >= 0 ? S_OK : S_FALSE;
}

/* Ctrl and Alt keys stay the browser's (Ctrl+L, Alt+D ...), and so does
   anything for a window outside the band. */
static HRESULT STDMETHODCALLTYPE InputObject_TranslateAcceleratorIO(IInputObject *iface, MSG *msg)
{
    BandObject *band = OwnerOf(iface);
    if (!msg || msg->message < WM_KEYFIRST || msg->message > WM_KEYLAST || !InBand(band, msg->hwnd))
        return S_FALSE;
    if (GetKeyState(VK_CONTROL) < 0 || GetKeyState(VK_MENU) < 0)
        return S_FALSE;
    BOOL keyDown = msg->message == WM_KEYDOWN;
    if (keyDown && msg->wParam == VK_TAB)
        return MoveFocus(band, GetKeyState(VK_SHIFT) < 0 ? -1 : 1) ? S_OK : S_FALSE;
    if (msg->wParam == VK_TAB || msg->wParam == VK_F6 || (msg->message == WM_CHAR && msg->wParam == '\t'))
        return S_FALSE;
    if (WindowWantsKey(msg)) {
        TranslateMessage(msg);
        DispatchMessageA(msg);
        return S_OK;
    }
    if (keyDown && msg->wParam == VK_ESCAPE) {
        SetFocus(band->view.topWindow);
        ReportFocus(band, FALSE);
        return S_OK;
    }
    return S_FALSE;
}

const IInputObjectVtbl inputObjectTable = {
    BAND_UNKNOWN_SLOTS(IInputObject),
    InputObject_UIActivateIO,
    InputObject_HasFocusIO,
    InputObject_TranslateAcceleratorIO,
};
